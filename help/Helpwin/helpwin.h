// The program's own help window: the help book, shown where HTML Help is not at hand. One
// window, reused; it opens at the section of a keyword and needs neither a browser nor a
// network.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

class THelp : public QWidget {
    Q_OBJECT
  public:
    explicit THelp(QWidget* parent = nullptr);

    // Shows the window at the keyword's section: a key, "MAIN" or "FSAVE"; any other keyword
    // shows the book's contents.
    void showKeyword(const QString& keyword);
    // The anchor that a keyword opens.
    static QString sectionOf(const QString& keyword);

  private:
    QTextBrowser* HelpBrowser = nullptr;
};
