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

  private slots:
    void init() { QFile::remove(qEnvironmentVariable("HHCTRL_LOG")); }

    void loadsOnceAndLooksUpKeywords() {
        const QString chm = QDir::current().filePath("orbex.chm");
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
        QCOMPARE(log(), "load\nfree 0 " + QDir::current().filePath("orbex.chm") + " data=0\n");
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
        QVERIFY(log().contains(" " + QDir(start).filePath("orbex.chm") + " DNS "));
    }
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
