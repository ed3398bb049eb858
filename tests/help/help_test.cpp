#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "forms/Com/coms.h"
#include "forms/Conf/setup.h"
#include "forms/Save/sv.h"
#include "forms/about/aboutbox.h"
#include "forms/application.h"
#include "help/Cmsdnhelp/cmsdnhelp.h"
#include "help/Helpwin/helpwin.h"
#include "tests/common/desktop.h"

// With a recording HTML Help library on the library path.
class HelpTest : public QObject {
    Q_OBJECT

    QString log() const {
        QFile f(qEnvironmentVariable("HHCTRL_LOG"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QToolButton* helpButton(QWidget* window, const QString& keyword) {
        for (auto* b : window->findChildren<QToolButton*>())
            if (b->text() == "?" && b->property("helpKeyword") == keyword) return b;
        return nullptr;
    }

    // The help file in the start directory, as the library is given it: with the system's
    // separators ("\\" on Windows).
    static QString chmPath() {
        return QDir::toNativeSeparators(QDir::current().filePath("orbex.chm"));
    }

  private slots:
    void init() { QFile::remove(qEnvironmentVariable("HHCTRL_LOG")); }

    void loadsOnceAndLooksUpKeywords() {
        const QString chm = chmPath();
        {
            auto setup = orbex::createWindows();
            setup->completePages();
            QCOMPARE(log(), QString());  // nothing is loaded at start
            helpButton(setup.get(), "KEYMAP")->click();
            helpButton(setup.get(), "COM1")->click();
            setup->N10Click();
            QCOMPARE(log(), "load\nfree 13 " + chm +
                                " KEYMAP size=" + QString::number(sizeof(void*) == 8 ? 56 : 32) +
                                " index=1 other=0\nfree 13 " + chm +
                                " COM1 size=" + QString::number(sizeof(void*) == 8 ? 56 : 32) +
                                " index=1 other=0\nfree 13 " + chm +
                                " MAIN size=" + QString::number(sizeof(void*) == 8 ? 56 : 32) +
                                " index=1 other=0\n");
        }
        QVERIFY(log().endsWith("unload\n"));  // freed once, with the main window
        QCOMPARE(log().count("unload"), 1);
    }

    void everyPortRowAsksForTheFirstPort() {
        auto setup = orbex::createWindows();
        setup->completePages();
        QList<QToolButton*> ports;
        for (auto* b : setup->findChildren<QToolButton*>())
            if (b->text() == "?" && b->property("helpKeyword") == "COM1") ports << b;
        QCOMPARE(ports.size(), 13);
        ports.last()->click();  // the row of COM13
        QVERIFY(log().contains(" COM1 size="));
    }

    void dialogsAskThroughTheMainWindow() {
        auto setup = orbex::createWindows();
        setup->completePages();
        setup->SV()->findChild<QToolButton*>("SpeedButton4")->click();
        setup->coms()->findChild<QToolButton*>("SpeedButton151")->click();
        QVERIFY(log().contains(" FSAVE size="));
        QVERIFY(log().contains(" CTIME1 size="));
    }

    void emptyKeywordOpensTheDefaultTopic() {
        TCMSDNHelp help;
        QVERIFY(help.ShowHelp(QString(), "orbex.chm"));
        QCOMPARE(log(), "load\nfree 0 " + chmPath() + " data=0\n");
    }

    // A library without the keyword lookup (Wine's) opens the keyword's own page; one that
    // opens neither leaves the help to the program's own window.
    void aKeywordFallsBackToItsPageThenToTheHelpWindow() {
        const QString chm = chmPath();
        const QString size = QString::number(sizeof(void*) == 8 ? 56 : 32);
        using Served = TCMSDNHelp::Served;
        TCMSDNHelp help;
        QCOMPARE(help.help("KEYMAP"), Served::Lookup);
        QVERIFY(!help.helpWindow());
        qputenv("HHCTRL_NO_WINDOW", "13");
        QCOMPARE(help.help("COM1"), Served::Page);  // the page of a device name has its "_"
        QCOMPARE(log(), "load\nfree 13 " + chm + " KEYMAP size=" + size +
                            " index=1 other=0\nfree 13 " + chm + " COM1 size=" + size +
                            " index=1 other=0\nfree 0 " + chm + "::/COM1_.htm data=0\n");
        QVERIFY(!help.helpWindow());
        qputenv("HHCTRL_NO_WINDOW", "13 0");
        QCOMPARE(help.help("DNS"), Served::Book);
        qunsetenv("HHCTRL_NO_WINDOW");
        QVERIFY(help.helpWindow() && help.helpWindow()->isVisible());
        QVERIFY(log().endsWith("free 0 " + chm + "::/DNS.htm data=0\n"));
    }

    void theWindowsHelpFallsBackAsWell() {
        auto setup = orbex::createWindows();
        setup->completePages();
        qputenv("HHCTRL_NO_WINDOW", "13");
        helpButton(setup.get(), "KEYMAP")->click();
        QVERIFY(log().endsWith("free 0 " + chmPath() + "::/KEYMAP.htm data=0\n"));
        qputenv("HHCTRL_NO_WINDOW", "13 0");
        setup->N10Click();
        qunsetenv("HHCTRL_NO_WINDOW");
        bool shown = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            shown = shown || (qobject_cast<THelp*>(w) && w->isVisible());
        QVERIFY(shown);
    }

    void helpFileStaysInTheStartDirectory() {
        const QString start = QDir::currentPath();
        auto setup = orbex::createWindows();
        setup->completePages();
        QTemporaryDir elsewhere;
        QFile file(elsewhere.filePath("a.cfg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("USERN='x'\n");
        file.close();
        QVERIFY(setup->openFile(file.fileName()));
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        helpButton(setup.get(), "DNS")->click();
        QDir::setCurrent(start);
        QVERIFY(log().contains(" " + QDir::toNativeSeparators(QDir(start).filePath("orbex.chm")) +
                               " DNS "));
    }
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
