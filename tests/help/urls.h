// Catches the addresses that the program hands to the desktop, and answers modal boxes.
#pragma once

#include <QApplication>
#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>

class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    UrlCatcher() {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QStringList take() { return std::exchange(urls, {}); }

  public slots:
    void open(const QUrl& url) { urls << url.toString(); }

  private:
    QStringList urls;
};

// Closes the next modal window that appears and remembers its title; empty when none did.
class ModalWatch : public QObject {
    Q_OBJECT
  public:
    ModalWatch() {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                titles << w->windowTitle();
                w->close();
            }
        });
        timer.start(10);
    }
    QStringList titles;

  private:
    QTimer timer;
};
