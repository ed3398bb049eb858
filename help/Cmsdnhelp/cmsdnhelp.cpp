#include "cmsdnhelp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "catalogue.h"

namespace {

constexpr unsigned HH_DISPLAY_TOPIC = 0;
constexpr unsigned HH_KEYWORD_LOOKUP = 13;

// The record of a keyword lookup, laid out as HTML Help declares it (BOOL is a 32-bit int).
struct HH_AKLINK {
    int cbStruct;
    int fReserved;
    const char* pszKeywords;
    const char* pszUrl;
    const char* pszMsgText;
    const char* pszMsgTitle;
    const char* pszWindow;
    int fIndexOnFail;
};

constexpr auto kBook = "orbex-help.html";

}  // namespace

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

QUrl TCMSDNHelp::bookAddress(const QString& keyword) {
    const QDir programDir(QCoreApplication::applicationDirPath());
    QString book = programDir.filePath(kBook);
    if (!QFileInfo::exists(book)) book = programDir.filePath(QString("../share/orbcfg/") + kBook);
    if (!QFileInfo::exists(book)) return {};
    const bool section =
        keyword == "MAIN" || keyword == "FSAVE" || orbex::find(keyword.toStdString()).has_value();
    QUrl url = QUrl::fromLocalFile(QFileInfo(book).absoluteFilePath());
    url.setFragment(section ? keyword : QString("index"));
    return url;
}

void TCMSDNHelp::showBook(const QString& keyword) {
    if (const QUrl url = bookAddress(keyword); url.isValid()) QDesktopServices::openUrl(url);
}

void TCMSDNHelp::openAddress(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}
