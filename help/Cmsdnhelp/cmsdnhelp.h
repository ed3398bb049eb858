// Context help: the Windows HTML Help library, loaded at the first request, opens orbex.chm at
// a keyword. Where it cannot be loaded the program's own help window shows the help book.
#pragma once

#include <QLibrary>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <memory>

class THelp;

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

    // The program's help window at the keyword's section (its contents for an unknown one);
    // one window, made at the first request.
    void showBook(const QString& keyword);
    THelp* helpWindow() const { return window_.get(); }
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
    std::unique_ptr<THelp> window_;
};
