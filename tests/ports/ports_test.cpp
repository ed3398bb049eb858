#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "forms/Com/coms.h"
#include "forms/Conf/setup.h"
#include "forms/application.h"
#include "forms/prompts.h"
#include "tests/common/desktop.h"

// The serial port dialog, opened from the "Настроить" buttons of the main window.
class PortsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;

    QLineEdit* edit(const char* key) { return setup->findChild<QLineEdit*>(key); }
    void setCom(int item) {
        auto* com = setup->findChild<QComboBox*>("COM");
        com->setCurrentIndex(item);
        emit com->activated(item);  // as the user's choice
    }

    struct Seen {
        QString caption, speed, parity, data, stop, timeout, timeoutHint;
        bool xonxoff = false, rtscts = false, local = false;
    };

    // Clicks "Настроить" of the port, records what the dialog shows, lets `edit` change it and
    // closes it with the button named `close` (or Esc for an empty name).
    Seen configure(int port, const QString& close,
                   const std::function<void(QWidget*)>& change = {}) {
        Seen seen;
        prompts::Script script;
        script.dialog([&](QDialog* d) {
            const auto list = [d](const char* name) {
                return d->findChild<QComboBox*>(name)->currentText();
            };
            const auto box = [d](const char* name) {
                return d->findChild<QCheckBox*>(name)->isChecked();
            };
            seen = {d->windowTitle(),
                    list("SPEED"),
                    list("CHET"),
                    list("DATA"),
                    list("STOP"),
                    list("CT"),
                    d->findChild<QComboBox*>("CT")->property("hint").toString(),
                    box("XONXOFF"),
                    box("RTSCTS"),
                    box("LOCAL")};
            if (change) change(d);
            if (close.isEmpty()) {
                QTest::keyClick(d, Qt::Key_Escape);
            } else {
                d->findChild<QPushButton*>(close)->click();
            }
        });
        setup->findChild<QPushButton*>(QString("Button%1").arg(5 + port))->click();
        return seen;
    }

  private slots:
    void init() {
        setup = orbex::createWindows();
        setup->completePages();
        setCom(2);  // "сервис"
    }
    void cleanup() { setup.reset(); }

    void refusedUnlessComIsService() {
        setCom(3);  // "вкл"
        prompts::Script script;
        setup->findChild<QPushButton*>("Button10")->click();
        QCOMPARE(script.messages.size(), 1);
        QVERIFY(script.messages.first().startsWith("Внимание! | "));
        QCOMPARE(script.dialogs, QStringList());
        QCOMPARE(edit("COM5")->text(), "По умолчанию");
    }

    void unsetPortOpensWithDefaultsAndSavesThem() {
        const Seen s = configure(5, "ok");
        QCOMPARE(s.caption, "Настройки порта COM5");
        QCOMPARE(QStringList({s.speed, s.parity, s.data, s.stop}),
                 QStringList({"9600", "NONE", "8DATABITS", "1STOPBIT"}));
        QVERIFY(!s.xonxoff && !s.rtscts && !s.local);
        QCOMPARE(s.timeout, "По умолчанию");
        QCOMPARE(s.timeoutHint, "CTIME5");
        QCOMPARE(edit("COM5")->text(), "9600 NONE 8DATABITS 1STOPBIT -XONXOFF -RTSCTS -LOCAL");
        QCOMPARE(edit("CTIME5")->text(), "По умолчанию");  // the timeout stays unset
    }

    void valuesAreParsedAndComposed_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("saved");
        const QString all = "19200 EVEN 7DATABITS 2STOPBITS XONXOFF RTSCTS LOCAL";
        QTest::newRow("every setting") << all << all;
        QTest::newRow("order free") << "LOCAL 115200"
                                    << "115200 NONE 8DATABITS 1STOPBIT -XONXOFF -RTSCTS LOCAL";
        QTest::newRow("later word wins") << "9600 19200"
                                         << "19200 NONE 8DATABITS 1STOPBIT -XONXOFF -RTSCTS -LOCAL";
        QTest::newRow("extra blanks")
            << "   19200    EVEN  7DATABITS 2STOPBITS XONXOFF RTSCTS LOCAL  " << all;
        QTest::newRow("unknown words dropped")
            << "57600bps 9600,NONE none -xonxoff ODD"
            << "9600 ODD 8DATABITS 1STOPBIT -XONXOFF -RTSCTS -LOCAL";
        QTest::newRow("tab after a word joins it")
            << "19200\tEVEN"
            << "9600 NONE 8DATABITS 1STOPBIT -XONXOFF -RTSCTS -LOCAL";
        QTest::newRow("tab after a blank is dropped")
            << "19200 \tEVEN"
            << "19200 EVEN 8DATABITS 1STOPBIT -XONXOFF -RTSCTS -LOCAL";
    }
    void valuesAreParsedAndComposed() {
        QFETCH(QString, value);
        QFETCH(QString, saved);
        edit("COM3")->setText(value);
        configure(3, "ok");
        QCOMPARE(edit("COM3")->text(), saved);
    }

    void cancelAndEscWriteNothing() {
        edit("COM2")->setText("LOCAL 115200");
        const auto change = [](QWidget* d) {
            d->findChild<QComboBox*>("SPEED")->setCurrentIndex(2);
            d->findChild<QComboBox*>("CT")->setEditText("600");
        };
        configure(2, "Can", change);
        configure(2, "", change);
        QCOMPARE(edit("COM2")->text(), "LOCAL 115200");
        QCOMPARE(edit("CTIME2")->text(), "По умолчанию");
    }

    void typedTimeoutIsWrittenAsTyped() {
        edit("CTIME7")->setText("300");
        const Seen s = configure(
            7, "ok", [](QWidget* d) { d->findChild<QComboBox*>("CT")->setEditText("450"); });
        QCOMPARE(s.timeout, "300");
        QCOMPARE(edit("CTIME7")->text(), "450");
    }

    void defaultButtonResetsTheListsOnly() {
        edit("COM4")->setText("19200 EVEN 7DATABITS 2STOPBITS XONXOFF RTSCTS LOCAL");
        configure(4, "ok", [](QWidget* d) {
            d->findChild<QComboBox*>("CT")->setEditText("150");
            d->findChild<QPushButton*>("Button1")->click();  // "По умолчанию"
        });
        QCOMPARE(edit("COM4")->text(), "9600 NONE 8DATABITS 1STOPBIT XONXOFF RTSCTS LOCAL");
        QCOMPARE(edit("CTIME4")->text(), "150");
    }

    void defaultButtonOfTheTimeoutMakesItUnset() {
        edit("CTIME6")->setText("600");
        configure(6, "ok",
                  [](QWidget* d) { d->findChild<QToolButton*>("SpeedButton152")->click(); });
        QCOMPARE(edit("CTIME6")->text(), "По умолчанию");
    }
};

QTEST_MAIN(PortsTest)
#include "ports_test.moc"
