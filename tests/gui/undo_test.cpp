// "Отменить" and "Повторить" over the main window's configuration and its file; the status bar
// and the file dialogs after the commands that change the file shown; the keys of the window
// and the help book's list of them.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "forms/Conf/history.h"
#include "model/helpbook.h"
#include "tests/gui/gui.h"

using namespace orbex;

class UndoTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;
    QTemporaryDir dir;

    template <class T = QWidget>
    T* w(const QString& name) const {
        return setup->findChild<T*>(name);
    }
    QAction* action(const char* name) const { return w<QAction>(name); }
    void undo() const { action("N26")->trigger(); }
    void redo() const { action("N27")->trigger(); }
    QString banner() const { return w<QLabel>("StaticText2")->text(); }
    QString message() const { return setup->statusBar()->currentMessage(); }
    bool shown(const char* name) const { return w(name)->isVisibleTo(setup.get()); }
    bool modified() const { return shown("StatusModified"); }
    QToolButton* dButton(const QString& key) const {
        for (auto* b : setup->findChildren<QToolButton*>())
            if (b->text() == "D" && b->property("helpKeyword").toString() == key) return b;
        return nullptr;
    }
    QString file(const QString& name, const QByteArray& bytes) const {
        const QString path = dir.filePath(name);
        spit(path, bytes);
        return path;
    }
    // Typing as a user does: the focus in the edit, its text selected, keys into it.
    void type(const char* key, const QString& text) const {
        auto* edit = w<QLineEdit>(key);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

  private slots:
    void init() {
        setup = wholeEditor();
        setup->show();
        setup->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(setup.get()));
    }
    void cleanup() { setup.reset(); }

    void menuAndKeys() {
        QCOMPARE(w<QAction>("N25Item")->text(), "Правка");
        QCOMPARE(action("N26")->text(), "Отменить");
        QCOMPARE(action("N26")->shortcut(), QKeySequence("Ctrl+Z"));
        QCOMPARE(action("N27")->text(), "Повторить");
        QCOMPARE(action("N27")->shortcuts(),
                 (QList<QKeySequence>{QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")}));
        QCOMPARE(action("N28")->text(), "Сбросить параметр");
        QCOMPARE(action("N28")->shortcut(), QKeySequence("Ctrl+Shift+D"));
        QCOMPARE(dButton("USERN")->toolTip(), "Установить по умолчанию (Ctrl+Shift+D)");
        QVERIFY(!action("N26")->isEnabled() && !action("N27")->isEnabled());
    }

    // Typing in one field is one step; the keys work from inside the edit, where the edit's
    // own undo would otherwise take them.
    void typingInOneFieldIsOneStep() {
        type("USERN", "ivan");
        type("DOMAIN", "office");
        QVERIFY(modified());
        QCOMPARE(action("N26")->statusTip(), "Отменить: ввод DOMAIN");
        QTest::keyClick(w("DOMAIN"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(setParams(*setup), QStringList{"USERN=ivan"});
        QCOMPARE(message(), "Отменено: ввод DOMAIN");
        QTest::keyClick(w("DOMAIN"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(setParams(*setup), QStringList());
        QVERIFY(!modified());  // as the new file was
        QVERIFY(!action("N26")->isEnabled());
        QTest::keyClick(w("DOMAIN"), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(setParams(*setup), QStringList{"USERN=ivan"});
        QTest::keyClick(w("DOMAIN"), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(setParams(*setup), (QStringList{"USERN=ivan", "DOMAIN=office"}));
        QVERIFY(!action("N27")->isEnabled());

        // A new change drops what was taken back; a switch's click is a step of its own.
        undo();
        w<QCheckBox>("AUTOSTART")->click();
        QVERIFY(!action("N27")->isEnabled());
        QCOMPARE(setParams(*setup), (QStringList{"USERN=ivan", "AUTOSTART=on"}));
        undo();
        QCOMPARE(setParams(*setup), QStringList{"USERN=ivan"});
    }

    // Every command is a step, taken back whole; none of them asks anything.
    void commandsAreStepsAndActAtOnce() {
        Modals modals;
        type("USERN", "ivan");
        w<QCheckBox>("DHCP")->click();
        w<QCheckBox>("DHCP")->click();  // unchecked: the network rows are editable
        type("IP", "10.0.0.5");
        const QStringList typed = setParams(*setup);

        dButton("IP")->click();
        QCOMPARE(stateOf(*setup, idOf("IP")), QString());
        undo();
        QCOMPARE(setParams(*setup), typed);

        w("USERN")->setFocus();
        action("N28")->trigger();  // Ctrl+Shift+D
        QCOMPARE(stateOf(*setup, idOf("USERN")), QString());
        undo();
        QCOMPARE(setParams(*setup), typed);

        action("N8")->trigger();  // Ctrl+D
        QCOMPARE(setParams(*setup), QStringList());
        QCOMPARE(message(), QString());
        undo();
        QCOMPARE(setParams(*setup), typed);
        QVERIFY(w("IP")->isEnabled());  // the rules follow the values taken back
        QCOMPARE(message(), "Отменено: сброс всех параметров");

        action("N31")->trigger();  // "Наибольший комфорт" starts anew
        QVERIFY(setParams(*setup).contains("RAZR=10"));
        undo();
        QCOMPARE(setParams(*setup), typed);
        redo();
        QVERIFY(setParams(*setup).contains("RAZR=10"));
        QVERIFY(w("COM3")->isEnabled());

        // The port dialog's "Сохранить".
        const QStringList comfort = setParams(*setup);
        modals.then([](QDialog* d) {
            d->findChild<QComboBox*>("SPEED")->setCurrentIndex(3);
            d->findChild<QPushButton*>("ok")->click();
        });
        w<QPushButton>("Button8")->click();
        QVERIFY(!stateOf(*setup, idOf("COM3")).isEmpty());
        undo();
        QCOMPARE(setParams(*setup), comfort);
        QCOMPARE(message(), "Отменено: настройка порта COM3");
        QCOMPARE(modals.boxes, QStringList());
        QCOMPARE(modals.unexpected, QStringList());
    }

    // "Новый" and "Открыть" are taken back with their file: its name, its path, its ignored
    // lines, and whether the window differs from it.
    void newAndOpenComeBackWithTheirFile() {
        const QString a = file("a.cfg", "USERN='anna'\njunk\n");
        const QString b = file("b.cfg", "USERN='boris'\n");
        QVERIFY(setup->openFile(a));
        type("DOMAIN", "office");
        QVERIFY(modified());
        action("N16")->trigger();
        QCOMPARE(banner(), "Новый файл");
        QVERIFY(!modified());

        undo();
        QCOMPARE(banner(), "a.cfg");
        QCOMPARE(w<QLabel>("StatusPath")->text(), QDir::toNativeSeparators(a));
        QCOMPARE(setParams(*setup), (QStringList{"USERN=anna", "DOMAIN=office"}));
        QCOMPARE(message(), "Отменено: новый файл; снова открыт файл a.cfg");
        QVERIFY(modified());
        QVERIFY(shown("StatusDropped"));
        QCOMPARE(w<QToolButton>("StatusDropped")->text(), "Пропущено строк: 1");

        QVERIFY(setup->openFile(b));
        QCOMPARE(setParams(*setup), QStringList{"USERN=boris"});
        QCOMPARE(w<QToolButton>("StatusDropped")->text(), "Пропущено строк: 0");
        undo();
        QCOMPARE(message(), "Отменено: открытие файла b.cfg; снова открыт файл a.cfg");
        QCOMPARE(banner(), "a.cfg");
        QCOMPARE(setParams(*setup), (QStringList{"USERN=anna", "DOMAIN=office"}));
        undo();
        undo();  // before the first open
        QCOMPARE(banner(), "Новый файл");
        QCOMPARE(w<QLabel>("StatusPath")->text(), "Новый файл");
        QVERIFY(!shown("StatusDropped"));
        QVERIFY(!modified());
        QCOMPARE(message(), "Отменено: открытие файла a.cfg; снова новый файл");
        redo();
        redo();
        redo();
        QCOMPARE(banner(), "b.cfg");
        QCOMPARE(message(), "Повторено: открытие файла b.cfg");
        QVERIFY(!modified());

        // The file taken back is saved where it is, as read, without a question.
        undo();
        Modals modals;
        w<QPushButton>("Button1")->click();
        QCOMPARE(modals.unexpected, QStringList());
        QVERIFY(slurp(a).contains("DOMAIN='office'"));
        QCOMPARE(slurp(b), QByteArray("USERN='boris'\n"));
    }

    // Unsaved changes are the window against its file: a save counts for every step, so that
    // taking back what was saved leaves the window changed.
    void unsavedChangesFollowTheFileNotTheSteps() {
        const QString a = file("a.cfg", "USERN='anna'\n");
        QVERIFY(setup->openFile(a));
        type("USERN", "x");
        QVERIFY(modified());
        {
            Modals modals;
            w<QPushButton>("Button1")->click();
        }
        QVERIFY(!modified());
        undo();
        QCOMPARE(stateOf(*setup, idOf("USERN")), "anna");
        QVERIFY(modified());
        redo();
        QVERIFY(!modified());
        // Typed back to what the file holds: nothing to save.
        type("USERN", "anna");
        QVERIFY(modified());
        type("USERN", "x");
        QVERIFY(!modified());
    }

    void stepsAreBounded() {
        auto* box = w<QCheckBox>("AUTOSTART");
        for (std::size_t i = 0; i < History::kLimit + 20; ++i) box->click();
        QCOMPARE(setup->history()->steps(), History::kLimit);
        for (std::size_t i = 0; i < History::kLimit; ++i) undo();
        QVERIFY(!action("N26")->isEnabled());
        QCOMPARE(box->checkState(), Qt::Unchecked);  // 20 clicks in: an even number
    }

    // The lines that reading ignored belong to the file as read: "Новый" and "Сбросить по
    // умолчанию" take them from the status bar, and "Отменить" brings them back.
    void ignoredLinesGoWithTheFileAsRead() {
        const QString a = file("a.cfg", "USERN='anna'\njunk\n");
        QVERIFY(setup->openFile(a));
        QVERIFY(shown("StatusDropped"));
        action("N8")->trigger();
        QVERIFY(!shown("StatusDropped"));
        undo();
        QVERIFY(shown("StatusDropped"));
        action("N16")->trigger();
        QVERIFY(!shown("StatusDropped"));
    }

    // A port value the window is given shows from its start, in the port rows as in the rest.
    void longValuesShowTheirStart() {
        const QString a = file("a.cfg",
                               "COM='ser'\nCOM1='115200 8 n 1 xonxoff rtscts local'\n"
                               "TSERV='10.0.0.1 10.0.0.2 10.0.0.3 10.0.0.4 10.0.0.5'\n");
        QVERIFY(setup->openFile(a));
        QCOMPARE(w<QLineEdit>("COM1")->cursorPosition(), 0);
        QCOMPARE(w<QLineEdit>("TSERV")->cursorPosition(), 0);
        Modals modals;
        modals.then([](QDialog* d) { d->findChild<QPushButton*>("ok")->click(); });
        w<QPushButton>("Button7")->click();  // port 2
        QVERIFY(!stateOf(*setup, idOf("COM2")).isEmpty());
        QCOMPARE(w<QLineEdit>("COM2")->cursorPosition(), 0);
    }

    // The open and the save dialogs start in the folder of the file shown.
    void fileDialogsStartInTheShownFilesFolder() {
        QTemporaryDir other;
        const QString a = QDir(other.path()).filePath("a.cfg");
        spit(a, "USERN='anna'\n");
        QVERIFY(setup->openFile(a));
        const QString before = QDir::currentPath();
        QString openedIn, savedIn;
        Modals modals;
        modals.then(
            [&](QDialog* d) { openedIn = static_cast<QFileDialog*>(d)->directory().path(); });
        action("N2")->trigger();
        QCOMPARE(openedIn, other.path());
        QCOMPARE(QDir::currentPath(), before);

        // "Сохранить как...": the save-target dialog, then its file dialog.
        modals
            .then([](QDialog* d) {
                d->findChild<QAbstractButton*>("RadioButton4")->click();
                d->findChild<QPushButton*>("Button1")->click();
            })
            .then([&](QDialog* d) { savedIn = static_cast<QFileDialog*>(d)->directory().path(); });
        action("N14")->trigger();
        QCOMPARE(savedIn, other.path());
        QCOMPARE(QDir::currentPath(), before);
    }

    // A file opened at the start (orbcfg FILE) makes no rows but the first page's: the other
    // pages' rows take its values when they are made, as if they had been there all along.
    void anOpenAtTheStartMakesTheFirstPageAlone() {
        const QString a = file("a.cfg",
                               "USERN='anna'\nDHCP='off'\nIP='10.0.0.5'\nRAZR='1280x1024'\n"
                               "COM='ser'\nCOM2='9600 8 n 1'\nKEYMAP='zz'\nIP='10.0.0.999'\n");
        QVERIFY(setup->openFile(a));
        const QStringList whole = setParams(*setup);
        auto lazy = orbex::createWindows();
        lazy->show();
        QVERIFY(lazy->openFile(a));
        QVERIFY(!lazy->pagesComplete());
        QVERIFY(!lazy->findChild<QWidget*>("IP"));
        QVERIFY(!lazy->findChild<QWidget*>("StatusModified")->isVisibleTo(lazy.get()));
        QVERIFY(!lazy->history()->modified());
        lazy->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
        QVERIFY(lazy->pagesComplete());
        QCOMPARE(setParams(*lazy), whole);
        QVERIFY(lazy->findChild<QWidget*>("IP")->isEnabled());
        QVERIFY(lazy->findChild<QWidget*>("COM2")->isEnabled());
        QVERIFY(!lazy->history()->modified());
        // Undo of the open, with rows made since.
        lazy->findChild<QAction*>("N26")->trigger();
        QCOMPARE(setParams(*lazy), QStringList());
    }

    // Every key of the window is in the help book.
    void helpBookListsEveryKey() {
        const QString book = qs(helpBook());
        QStringList keys;
        for (const QAction* a : setup->findChildren<QAction*>())
            for (const QKeySequence& k : a->shortcuts()) keys << k.toString();
        for (const QShortcut* s : setup->findChildren<QShortcut*>())
            if (s->key() != QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab))
                keys << s->key().toString();
        QVERIFY(keys.size() > 15);
        for (const QString& k : keys) {
            const QRegularExpression listed("[>\\s]" + QRegularExpression::escape(k) + "[,;<]");
            QVERIFY2(book.contains(listed), qPrintable(k));
        }
    }
};

QTEST_MAIN(UndoTest)
#include "undo_test.moc"
