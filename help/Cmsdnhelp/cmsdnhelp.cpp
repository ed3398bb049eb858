#include "help/Cmsdnhelp/cmsdnhelp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "help/Cmsdnhelp/htmlhelp.h"
#include "help/Helpwin/helpwin.h"
#include "model/helpbook.h"

using namespace htmlhelp;

TCMSDNHelp::TCMSDNHelp() : startDirectory_(QDir::currentPath()) {}

TCMSDNHelp::~TCMSDNHelp() = default;

bool TCMSDNHelp::LoadHelpLibrary() {
    return LibraryHandle.load();
}

bool TCMSDNHelp::ShowHelp(const QString& keyword, const QString& file) {
    if (!LoadHelpLibrary()) return false;
    const auto HtmlHelpA = LibraryHandle.entry();
    const QByteArray path =
        QDir::toNativeSeparators(QDir(startDirectory_).filePath(file)).toLocal8Bit();
    const QByteArray key = keyword.toLocal8Bit();
    if (key.isEmpty()) {
        lastServed_ = Served::Page;
        return HtmlHelpA(nullptr, path.constData(), HH_DISPLAY_TOPIC, 0) != nullptr;
    }
    HH_AKLINK link{};
    link.cbStruct = sizeof link;
    link.pszKeywords = key.constData();
    link.fIndexOnFail = 1;
    lastServed_ = Served::Lookup;
    if (HtmlHelpA(nullptr, path.constData(), HH_KEYWORD_LOOKUP,
                  reinterpret_cast<std::uintptr_t>(&link)))
        return true;
    // The page the help project writes for the keyword.
    const QByteArray page =
        path + "::/" + QByteArray::fromStdString(orbex::helpPageName(keyword.toStdString()));
    lastServed_ = Served::Page;
    return HtmlHelpA(nullptr, page.constData(), HH_DISPLAY_TOPIC, 0) != nullptr;
}

TCMSDNHelp::Served TCMSDNHelp::help(const QString& keyword) {
    if (ShowHelp(keyword, "orbex.chm")) return lastServed_;
    showBook(keyword);
    return Served::Book;
}

void TCMSDNHelp::showBook(const QString& keyword) {
    if (!window_) window_ = std::make_unique<THelp>();
    window_->showKeyword(keyword);
}

void TCMSDNHelp::openAddress(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}
