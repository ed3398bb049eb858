#include "help/Helpwin/helpwin.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "model/catalogue.h"
#include "model/helpbook.h"
#include "model/helpfleet.h"

THelp::THelp(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Help");
    setWindowTitle("Справка — Менеджер конфигураций ORBEX");
    HelpBrowser = new QTextBrowser(this);
    HelpBrowser->setObjectName("HelpBrowser");
    HelpBrowser->setOpenExternalLinks(true);  // the site's pages go to the browser
    const std::string book = orbex::helpBook();
    HelpBrowser->setHtml(QString::fromUtf8(book.data(), static_cast<qsizetype>(book.size())));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(HelpBrowser);
    const QSize text = fontMetrics().size(0, QString(72, QChar('x')));
    resize(text.width(), text.height() * 36);
}

QString THelp::sectionOf(const QString& keyword) {
    const bool known = keyword == "MAIN" || keyword == "FSAVE" ||
                       orbex::isFleetHelpKeyword(keyword.toStdString()) ||
                       orbex::find(keyword.toStdString()).has_value();
    return known ? keyword : QString("index");
}

void THelp::showKeyword(const QString& keyword) {
    show();
    raise();
    activateWindow();
    HelpBrowser->scrollToAnchor(sectionOf(keyword));
}
