// The file the editor shows, changed or removed by another program meanwhile: a save never
// overwrites that change unasked, and an editor without changes of its own offers the new
// file. A file that nobody else touched is saved without a question.
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <sstream>

#include "cli/cli.h"
#include "forms/Conf/diskcopy.h"
#include "forms/Conf/status.h"
#include "tests/gui/gui.h"

using namespace orbex;

namespace {

constexpr auto kOld = "USERN='old'\r\nAUTOSTART='on'\r\n";

// What orbcfg-cli makes of a set in place: another program's edit.
void toolSets(const QString& path, std::vector<std::string> assignments) {
    std::vector<std::string> args{"set", path.toStdString()};
    args.insert(args.end(), assignments.begin(), assignments.end());
    args.push_back("-i");
    std::istringstream in;
    std::ostringstream out, err;
    QCOMPARE(cli::run(args, in, out, err), 0);
}

QString question(const QString& path, const char* what) {
    return "Подтверждение | Файл\n" + QDir::toNativeSeparators(path) + "\n" + what +
           " другой программой после того, как был открыт.\nЗаписать в него настройки из окна, "
           "прочитать его заново или отменить сохранение? | Setup | question";
}

}  // namespace

class DiskTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;
    QTemporaryDir tmp;
    QString path;

    QLabel* diskLabel() const { return setup->findChild<QLabel*>("StatusDisk"); }

  private slots:
    void init() {
        path = tmp.path() + "/a.cfg";
        spit(path, kOld);
        setup = wholeEditor();
        setup->show();
        QVERIFY(setup->openFile(path));
    }
    void cleanup() { setup.reset(); }

    // Another program's set in place while the window holds a change of its own: each answer
    // to the question, and what the file and the window hold after it.
    void anotherWritersChangeIsNotOverwrittenUnasked_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("write the window's") << 0;
        QTest::newRow("read it again") << 1;
        QTest::newRow("cancel") << 2;
        QTest::newRow("box closed") << -1;
    }
    void anotherWritersChangeIsNotOverwrittenUnasked() {
        QFETCH(int, answer);
        setup->setText(idOf("MNAME"), "kassa01");
        toolSets(path, {"USERN=x", "TSERV=10.9.9.9"});
        const QByteArray theirs = slurp(path);
        Modals modals;
        modals.answer(answer);
        setup->findChild<QPushButton*>("Button1")->click();
        QCOMPARE(modals.unexpected, QStringList());
        QCOMPARE(modals.boxes.value(0), question(path, "изменен"));
        if (answer == 0) {
            QCOMPARE(modals.boxes.size(), 2);
            QVERIFY(modals.boxes[1].startsWith("Информация | Файл с настройками сохранен"));
            QVERIFY(slurp(path).contains("MNAME='kassa01'"));
            QVERIFY(!setup->status()->changed());
        } else {
            QCOMPARE(modals.boxes.size(), 1);
            QCOMPARE(slurp(path), theirs);
        }
        if (answer == 1) {
            QCOMPARE(setup->text(idOf("USERN")), "x");
            QCOMPARE(setup->text(idOf("TSERV")), "10.9.9.9");
            QVERIFY(!setup->status()->changed());
        } else if (answer != 0) {
            QCOMPARE(setup->text(idOf("MNAME")), "kassa01");
            QVERIFY(setup->status()->changed());
        }
        QCOMPARE(setup->banner()->text(), "a.cfg");
    }

    // Saved once after the other program's change, the file is the window's again: the next
    // save asks nothing.
    void aSaveMakesTheFileTheWindowsAgain() {
        Modals modals;
        QVERIFY(setup->openFile(path));
        setup->Button1Click();
        setup->setText(idOf("USERN"), "second");
        setup->Button1Click();
        QCOMPARE(modals.boxes.size(), 2);
        for (const QString& box : modals.boxes) QVERIFY(box.startsWith("Информация | "));
        QVERIFY(slurp(path).contains("USERN='second'"));
    }

    // Removed meanwhile: not made again unasked.
    void aRemovedFileIsNotMadeAgainUnasked() {
        setup->setText(idOf("USERN"), "new");
        QVERIFY(QFile::remove(path));
        Modals modals;
        modals.answer(2);
        setup->Button1Click();
        QCOMPARE(modals.boxes, QStringList{question(path, "удален")});
        QVERIFY(!QFile::exists(path));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

        modals.answer(0);
        setup->Button1Click();
        QVERIFY(slurp(path).contains("USERN='new'"));
    }

    // The watch: the status bar tells of the change; an editor without changes of its own
    // offers the file and reads it when asked to, one with changes only tells.
    void theWatchTellsAndOffers() {
        Modals modals;
        toolSets(path, {"USERN=x"});
        setup->disk()->check();
        QCOMPARE(diskLabel()->text(), "Изменён на диске");
        QVERIFY(diskLabel()->isVisibleTo(setup.get()));
        QCOMPARE(modals.unexpected, QStringList{"question: Подтверждение"});  // kept: -1
        QCOMPARE(setup->text(idOf("USERN")), "old");

        modals.unexpected.clear();
        setup->disk()->check();  // the same change is not offered twice
        QCOMPARE(modals.boxes.size(), 1);

        modals.answer(0);
        toolSets(path, {"USERN=y"});
        setup->disk()->check();
        QCOMPARE(modals.boxes.size(), 2);
        QCOMPARE(setup->text(idOf("USERN")), "y");
        QVERIFY(!diskLabel()->isVisibleTo(setup.get()));

        setup->setText(idOf("USERN"), "mine");
        toolSets(path, {"USERN=z"});
        setup->disk()->check();
        QCOMPARE(modals.boxes.size(), 2);
        QVERIFY(diskLabel()->isVisibleTo(setup.get()));
        QCOMPARE(setup->text(idOf("USERN")), "mine");

        QVERIFY(QFile::remove(path));
        setup->disk()->check();
        QCOMPARE(diskLabel()->text(), "Удалён с диска");
    }

    // The window's own save is no change on disk; a file reached through the event loop is
    // checked by the watch itself.
    void theWatchFollowsTheFileByItself() {
        Modals modals;
        setup->setText(idOf("USERN"), "mine");
        setup->Button1Click();
        QTest::qWait(400);
        QVERIFY(!diskLabel()->isVisibleTo(setup.get()));
        toolSets(path, {"USERN=x"});
        QTRY_VERIFY_WITH_TIMEOUT(diskLabel()->isVisibleTo(setup.get()), 5000);
    }

#ifndef _WIN32
    // Saved under a new name, a private file makes a private file.
    void aFileSavedUnderANewNameIsNoMoreOpenThanItsSource() {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(setup->openFile(path));
        Modals modals;
        modals.then([&](QDialog* d) {
            d->findChild<QLineEdit*>("Edit2")->setText(tmp.path() + "/b.cfg");
            d->findChild<QPushButton*>("Button1")->click();
        });
        setup->N14Click();
        const QFile::Permissions made = QFile::permissions(tmp.path() + "/b.cfg");
        QVERIFY(made & QFile::ReadOwner);
        QVERIFY(!(made &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)));
    }
#endif
};

QTEST_MAIN(DiskTest)
#include "disk_test.moc"
