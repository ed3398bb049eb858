#include "help/Cmsdnhelp/cmsdnhelp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "help/Cmsdnhelp/htmlhelp.h"
#include "help/Helpwin/helpwin.h"

using namespace htmlhelp;

TCMSDNHelp::TCMSDNHelp() : LibraryHandle("hhctrl.ocx"), startDirectory_(QDir::currentPath()) {}

TCMSDNHelp::~TCMSDNHelp() {
    if (LibraryHandle.isLoaded()) LibraryHandle.unload();
}

bool TCMSDNHelp::LoadHelpLibrary() {
    if (LibraryHandle.isLoaded() && HtmlHelpEntry) return true;
    if (!LibraryHandle.isLoaded() && !LibraryHandle.load()) return false;
    HtmlHelpEntry = reinterpret_cast<HtmlHelpProc>(LibraryHandle.resolve("HtmlHelpA"));
    return HtmlHelpEntry != nullptr;
}

bool TCMSDNHelp::ShowHelp(const QString& keyword, const QString& file) {
    if (!LoadHelpLibrary()) return false;
    const QByteArray path = QDir(startDirectory_).filePath(file).toLocal8Bit();
    const QByteArray key = keyword.toLocal8Bit();
    void* window;
    if (key.isEmpty()) {
        window = HtmlHelpEntry(nullptr, path.constData(), HH_DISPLAY_TOPIC, 0);
    } else {
        HH_AKLINK link{};
        link.cbStruct = sizeof link;
        link.pszKeywords = key.constData();
        link.fIndexOnFail = 1;
        window = HtmlHelpEntry(nullptr, path.constData(), HH_KEYWORD_LOOKUP,
                               reinterpret_cast<std::uintptr_t>(&link));
    }
    return window != nullptr;
}

void TCMSDNHelp::showBook(const QString& keyword) {
    if (!window_) window_ = std::make_unique<THelp>();
    window_->showKeyword(keyword);
}

void TCMSDNHelp::openAddress(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}
