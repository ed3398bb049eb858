#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "Cmsdnhelp/cmsdnhelp.h"
#include "Com/coms.h"
#include "Conf/setup.h"
#include "about/aboutbox.h"
#include "application.h"
#include "desktop.h"

// Without the HTML Help library: the help book and the web pages.
class WebTest : public QObject {
    Q_OBJECT

    static QLabel* labelWithHint(QWidget* window, const QString& hint) {
        for (auto* l : window->findChildren<QLabel*>())
            if (l->property("hint") == hint) return l;
        return nullptr;
    }

  private slots:
    void withoutTheLibraryHelpIsTheBook() {
        TCMSDNHelp help;
        QVERIFY(!help.LoadHelpLibrary());
        QVERIFY(!help.LoadHelpLibrary());  // tried again, still missing
        QVERIFY(!help.ShowHelp("KEYMAP", "orbex.chm"));
        const QString book =
            QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/orbex-help.html")
                .toString();
        QCOMPARE(TCMSDNHelp::bookAddress("KEYMAP").toString(), book + "#KEYMAP");
        QCOMPARE(TCMSDNHelp::bookAddress("FSAVE").toString(), book + "#FSAVE");
        QCOMPARE(TCMSDNHelp::bookAddress("nothing").toString(), book + "#index");
    }

    void labelsOpenTheirPages() {
        auto setup = orbex::createWindows();
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
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QTimer::singleShot(0,
                               [key] { QTest::keyClick(QApplication::activeModalWidget(), key); });
            QTimer::singleShot(2000, [] {  // a box that would not close fails the test
                if (auto* w = QApplication::activeModalWidget()) w->close();
            });
            QElapsedTimer clock;
            clock.start();
            setup->N12Click();
            QVERIFY(clock.elapsed() < 1500);
        }
    }
};

QTEST_MAIN(WebTest)
#include "web_test.moc"
