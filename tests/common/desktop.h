// Catches the addresses that the program hands to the desktop, and answers modal boxes.
#pragma once

#include <QApplication>
#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <functional>

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

// Runs `act` on the next modal window once it is shown (e.g. to fill and confirm a dialog
// that the code under test opens with exec()).
inline void whenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* w = QApplication::activeModalWidget(); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start(5);
}
