// Context help: the Windows HTML Help library, loaded at the first request, opens orbex.chm at
// a keyword. Where it cannot be loaded the program's own help book opens in the browser.
#pragma once

#include <QLibrary>
#include <QString>
#include <QUrl>
#include <cstdint>

class TCMSDNHelp {
  public:
    TCMSDNHelp();  // remembers the start directory, where orbex.chm is looked for
    ~TCMSDNHelp();
    TCMSDNHelp(const TCMSDNHelp&) = delete;
    TCMSDNHelp& operator=(const TCMSDNHelp&) = delete;

    // True when the entry point HtmlHelpA is at hand; a failed load is tried again next time.
    bool LoadHelpLibrary();
    // The keyword's topic in the help file (the default topic for an empty keyword); true when
    // HTML Help returned a window.
    bool ShowHelp(const QString& keyword, const QString& file);

    // The help book installed with the program, at the keyword's section or at its index;
    // empty when the book is not there.
    static QUrl bookAddress(const QString& keyword);
    static void showBook(const QString& keyword);
    // A web or mail address in the user's programs; failures stay silent.
    static void openAddress(const QString& address);

  private:
#ifdef _WIN32
    using HtmlHelpProc = void*(__stdcall*)(void*, const char*, unsigned, std::uintptr_t);
#else
    using HtmlHelpProc = void* (*)(void*, const char*, unsigned, std::uintptr_t);
#endif
    QLibrary LibraryHandle;
    HtmlHelpProc HtmlHelpEntry = nullptr;
    QString startDirectory_;
};
