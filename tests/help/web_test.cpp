#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>

#include "forms/Com/coms.h"
#include "forms/Conf/setup.h"
#include "forms/Save/sv.h"
#include "forms/about/aboutbox.h"
#include "forms/application.h"
#include "forms/prompts.h"
#include "help/Cmsdnhelp/cmsdnhelp.h"
#include "help/Helpwin/helpwin.h"
#include "tests/common/desktop.h"

// Without the HTML Help library: the help window and the web pages.
class WebTest : public QObject {
    Q_OBJECT

    static QWidget* topLevel(const QString& name) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name) return w;
        return nullptr;
    }

    static QLabel* labelWithHint(QWidget* window, const QString& hint) {
        for (auto* l : window->findChildren<QLabel*>())
            if (l->property("hint") == hint) return l;
        return nullptr;
    }

  private slots:
    // The first line of the help window's page that shows at its top.
    static QString topLine(THelp* window) {
        auto* browser = window->findChild<QTextBrowser*>("HelpBrowser");
        return browser->cursorForPosition(QPoint(4, 4)).block().text();
    }

    void withoutTheLibraryHelpIsTheWindowAtTheKeyword() {
        {
            TCMSDNHelp help;
            QVERIFY(!help.LoadHelpLibrary());
            QVERIFY(!help.LoadHelpLibrary());  // tried again, still missing
            QVERIFY(!help.ShowHelp("KEYMAP", "orbex.chm"));
        }
        auto setup = orbex::createWindows();
        setup->completePages();
        UrlCatcher urls;
        for (auto* b : setup->findChildren<QToolButton*>()) {
            if (b->text() == "?" && b->property("helpKeyword") == "KEYMAP") {
                b->click();
                break;
            }
        }
        auto* help = qobject_cast<THelp*>(topLevel("Help"));
        QVERIFY(help && help->isVisible());
        QVERIFY2(topLine(help).startsWith("KEYMAP"), qPrintable(topLine(help)));

        setup->N10Click();  // F1: the same window, now at the program's section
        QCOMPARE(qobject_cast<THelp*>(topLevel("Help")), help);
        QVERIFY2(topLine(help).startsWith("Менеджер конфигураций"), qPrintable(topLine(help)));
        setup->SV()->findChild<QToolButton*>("SpeedButton4")->click();
        QVERIFY2(topLine(help).startsWith("Параметры сохранения"), qPrintable(topLine(help)));
        setup->coms()->findChild<QToolButton*>("SpeedButton151")->click();
        QVERIFY2(topLine(help).startsWith("CTIME1"), qPrintable(topLine(help)));
        QCOMPARE(urls.take(), QStringList());  // no browser involved
        QCOMPARE(THelp::sectionOf("nothing"), "index");
    }

    void labelsOpenTheirPages() {
        auto setup = orbex::createWindows();
        setup->completePages();
        UrlCatcher urls;
        QTest::mouseClick(labelWithHint(setup.get(), "RAZR"), Qt::LeftButton);
        QTest::mouseClick(labelWithHint(setup.get(), "DNS"), Qt::LeftButton);
        QTest::mouseClick(setup->findChild<QLabel*>("Label35"), Qt::LeftButton);
        setup->N23Click();
        QTest::mouseClick(setup->coms()->findChild<QLabel*>("Label40"), Qt::LeftButton);
        QCOMPARE(urls.take(),
                 QStringList({"http://orbex.example/conf.html#RAZR",
                              "http://orbex.example/conf.html#DNS", "http://orbex.example",
                              "http://orbex.example", "http://orbex.example/conf.html#CTIME1"}));
    }

    void aboutBoxLinks() {
        auto setup = orbex::createWindows();
        setup->completePages();
        UrlCatcher urls;
        TAboutBox* about = setup->AboutBox();
        about->show();
        auto* site = about->findChild<QLabel*>("Label35");
        auto* contact = about->findChild<QLabel*>("Label4");
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QApplication::sendEvent(site, &enter);
        QVERIFY(site->font().underline());
        QApplication::sendEvent(site, &leave);
        QVERIFY(!site->font().underline());
        QApplication::sendEvent(contact, &enter);
        QVERIFY(!contact->font().underline());

        QTest::mouseClick(site, Qt::LeftButton);
        QTest::mouseClick(about->findChild<QLabel*>("Label2"), Qt::LeftButton);
        QTest::mouseClick(about->findChild<QLabel*>("ProgramIcon"), Qt::LeftButton);
        QTest::mouseClick(contact, Qt::LeftButton);
        QCOMPARE(urls.take(), QStringList({"http://orbex.example", "mailto:support@orbex.example",
                                           "http://orbex.example"}));
        QCOMPARE(about->findChild<QLabel*>("Version")->text(), "Версия: 1.6.8-28.2");
    }

    void aboutBoxClosesOnEnterAndEsc() {
        auto setup = orbex::createWindows();
        setup->completePages();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            prompts::Script script;
            bool closed = false;
            script.dialog([&](QDialog* d) {
                QTest::keyClick(d, key);
                closed = !d->isVisible();
            });
            setup->N12Click();
            QVERIFY(closed);
            QCOMPARE(script.dialogs, QStringList{"AboutBox"});
        }
    }
};

QTEST_MAIN(WebTest)
#include "web_test.moc"
