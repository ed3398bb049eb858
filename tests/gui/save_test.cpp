// Saves and opens that fail, through the file library's seam and on real files: the old file
// survives, the "Ошибка" box names the file and the reason, and the banner keeps what it
// showed. The window and orbcfg-cli save the same bytes for every fixture file.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <sstream>

#include "cli/cli.h"
#include "fileio/fileio.h"
#include "forms/application.h"
#include "tests/gui/gui.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

using namespace orbex;
using orbex::fileio::seam::Step;

namespace {

constexpr auto kOld = "USERN='old'\r\nAUTOSTART='on'\r\n";

QStringList names(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

struct Hooked {
    explicit Hooked(fileio::seam::Hook hook) { fileio::seam::setHook(std::move(hook)); }
    ~Hooked() { fileio::seam::setHook({}); }
};

QString errorBox(const char* first, const QString& path, const QString& reason,
                 const char* icon = "warning") {
    return QString("Ошибка | %1\n%2\n%3 | Setup | %4").arg(first, path, reason, icon);
}

// What orbcfg-cli normalize writes for the file.
QByteArray toolSaves(const QString& path) {
    std::istringstream in;
    std::ostringstream out, err;
    if (cli::run({"normalize", path.toStdString()}, in, out, err) != 0) return "tool failed";
    return QByteArray::fromStdString(out.str());
}

}  // namespace

class SaveTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;
    QTemporaryDir tmp;
    QString home, out;

    QString file(const QString& name) const { return out + "/" + name; }
    QString banner() const { return setup->banner()->text(); }
    QString target() const { return setup->banner()->property("hint").toString(); }

  private slots:
    void init() {
        home = QDir::currentPath();
        out = tmp.path() + "/out";
        QDir(tmp.path()).removeRecursively();
        QVERIFY(QDir().mkpath(out));
        QDir::setCurrent(tmp.path());
        setup = wholeEditor();
    }
    void cleanup() {
        setup.reset();
        QDir::setCurrent(home);
    }

    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << int(Step::Write) << ENOSPC << "нет места на диске";
        QTest::newRow("flush fails") << int(Step::Sync) << EIO << "ошибка ввода-вывода";
        QTest::newRow("rename refused") << int(Step::Rename) << EACCES << "нет прав доступа";
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(int, step);
        QFETCH(int, code);
        QFETCH(QString, reason);
        spit(file("a.cfg"), kOld);
        QVERIFY(setup->openFile(file("a.cfg")));
        setup->setText(idOf("USERN"), "new");
        Modals modals;
        {
            Hooked hooked([&](Step s, std::size_t&) { return int(s) == step ? code : 0; });
            setup->findChild<QPushButton*>("Button1")->click();
        }
        const QString path = QDir::toNativeSeparators(file("a.cfg"));
        QCOMPARE(modals.boxes, QStringList{errorBox("Файл не сохранен!", path, reason)});
        QCOMPARE(slurp(file("a.cfg")), QByteArray(kOld));
        QCOMPARE(names(out), QStringList{"a.cfg"});
        QCOMPARE(banner(), "a.cfg");
        QCOMPARE(target(), path);
    }

    // Root too: the mode decides.
    void readOnlyTargetIsRefused() {
        spit(file("ro.cfg"), kOld);
        QVERIFY(QFile::setPermissions(file("ro.cfg"),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(setup->openFile(file("ro.cfg")));
        setup->setText(idOf("USERN"), "new");
        Modals modals;
        setup->Button1Click();
        QCOMPARE(modals.boxes, QStringList{errorBox("Не могу открыть файл для записи!",
                                                    QDir::toNativeSeparators(file("ro.cfg")),
                                                    "файл только для чтения")});
        QCOMPARE(slurp(file("ro.cfg")), QByteArray(kOld));
        QCOMPARE(names(out), QStringList{"ro.cfg"});
    }

    // A target chosen for this save that cannot be written: the banner shows what it showed.
    void bannerKeepsWhatItShowed() {
        Modals modals;
        modals.then([&](QDialog* d) {
            d->findChild<QLineEdit*>("Edit2")->setText(file("none/t.cfg"));
            d->findChild<QPushButton*>("Button1")->click();
        });
        setup->Button1Click();
        QCOMPARE(modals.dialogs, QStringList{"SV"});
        QCOMPARE(modals.boxes, QStringList{errorBox("Не могу открыть файл для записи!",
                                                    file("none/t.cfg"), "нет такой папки")});
        QCOMPARE(banner(), "Новый файл");
        QCOMPARE(target(), "");
        QCOMPARE(names(out), QStringList());
    }

    void tooLargeFileIsNotOpened() {
        spit(file("a.cfg"), kOld);
        QVERIFY(setup->openFile(file("a.cfg")));
        QByteArray big(int(fileio::kInputLimit) + 1, '\n');
        spit(file("big.cfg"), big);
        const QStringList before = setParams(*setup);
        QStringList paths{file("big.cfg")};
#ifndef _WIN32
        paths << "/dev/zero";
#endif
        for (const QString& path : paths) {
            Modals modals;
            QVERIFY(!setup->openFile(path));
            QCOMPARE(modals.boxes,
                     QStringList{errorBox("Невозможно открыть файл!", path,
                                          "файл больше 16 МиБ: это не файл конфигурации терминала",
                                          "critical")});
            QCOMPARE(setParams(*setup), before);
            QCOMPARE(banner(), "a.cfg");
        }
    }

    // Every fixture opened in the window and saved gives the bytes the tool gives; values
    // longer than an edit box holds by default stay whole.
    void windowAndToolSaveTheSameBytes() {
        const QStringList fixtures = QDir(ORBCFG_TEST_DATA).entryList({"*.cfg"}, QDir::Files);
        QVERIFY(fixtures.size() >= 20);
        QVERIFY(fixtures.contains("long-value.cfg"));
        for (const QString& name : fixtures) {
            const QString source = QString(ORBCFG_TEST_DATA) + "/" + name;
            QVERIFY(QFile::copy(source, file(name)));
            Modals modals;  // the review's warnings are answered
            QVERIFY2(setup->openFile(file(name)), qPrintable(name));
            if (name == "long-value.cfg") {
                QCOMPARE(setup->text(idOf("USERN")).size(), std::size_t(60000));  // 40,000 chars
                QCOMPARE(setup->text(idOf("KEYMAP")).size(), std::size_t(35000));
            }
            setup->findChild<QPushButton*>("Button1")->click();
            QVERIFY2(modals.boxes.last().startsWith("Информация | "), qPrintable(name));
            QVERIFY2(slurp(file(name)) == toolSaves(source), qPrintable(name));
        }
    }

#ifndef _WIN32
    // A real full file system, where the machine lets a tmpfs be mounted.
    void fullFileSystem() {
        const QString mnt = tmp.path() + "/small";
        QVERIFY(QDir().mkpath(mnt));
        if (::mount("tmpfs", mnt.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("cannot mount a tmpfs here; needs root and the right to mount");
        struct Unmount {
            QByteArray at;
            ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
        } unmount{mnt.toLocal8Bit()};
        spit(mnt + "/a.cfg", kOld);
        QVERIFY(setup->openFile(mnt + "/a.cfg"));
        {
            const int fd =
                ::open((mnt + "/filler").toLocal8Bit().constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            const QByteArray block(4096, 'f');
            while (::write(fd, block.constData(), block.size()) > 0) {
            }
            ::close(fd);
        }
        setup->setText(idOf("USERN"), std::string(100000, 'u'));
        Modals modals;
        setup->Button1Click();
        QCOMPARE(modals.boxes,
                 QStringList{errorBox("Файл не сохранен!", mnt + "/a.cfg", "нет места на диске")});
        QCOMPARE(slurp(mnt + "/a.cfg"), QByteArray(kOld));
        QCOMPARE(names(mnt), (QStringList{"a.cfg", "filler"}));
    }
#endif
};

QTEST_MAIN(SaveTest)
#include "save_test.moc"
