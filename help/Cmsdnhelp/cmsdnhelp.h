// Context help: the Windows HTML Help library, loaded at the first request, opens orbex.chm at
// a keyword: by the keyword index, else at the keyword's own page (a library that has no
// keyword lookup, as Wine's, opens no window for it). Where neither opens a window, or the
// library cannot be loaded, the program's own help window shows the help book.
#pragma once

#include <QString>
#include <QUrl>
#include <memory>

#include "help/Cmsdnhelp/helplibrary.h"

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
    // HTML Help returned a window, from the keyword lookup or from the keyword's page.
    bool ShowHelp(const QString& keyword, const QString& file);

    // What showed the help of a keyword.
    enum class Served { Lookup, Page, Book };
    // The keyword's help from orbex.chm in the start directory, else the help window.
    Served help(const QString& keyword);

    // The program's help window at the keyword's section (its contents for an unknown one);
    // one window, made at the first request.
    void showBook(const QString& keyword);
    THelp* helpWindow() const { return window_.get(); }
    // A web or mail address in the user's programs; failures stay silent.
    static void openAddress(const QString& address);

  private:
    HelpLibrary LibraryHandle;
    Served lastServed_ = Served::Book;
    QString startDirectory_;
    std::unique_ptr<THelp> window_;
};
