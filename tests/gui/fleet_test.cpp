// The fleet window over real files: its rows and findings, the values that depart from
// default.cfg, which file a terminal loads, a bulk edit that writes what orbcfg-cli set writes,
// an import refused as a whole, and rows that follow the folder.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cerrno>
#include <sstream>

#include "cli/cli.h"
#include "fileio/fileio.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/application.h"
#include "forms/prompts.h"
#include "tests/gui/gui.h"

using namespace orbex;

namespace {

// Every file of the folder with its bytes.
QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(dir).entryList(QDir::Files))
        files[name] = slurp(dir + "/" + name);
    return files;
}

int runTool(const std::vector<std::string>& args, std::string* output = nullptr) {
    std::istringstream in;
    std::ostringstream out, err;
    const int code = cli::run(args, in, out, err);
    if (output) *output = out.str();
    return code;
}

// The bulk editor's answer: USERN set to `value`, then on to the preview.
std::function<void(QDialog*)> setsUsern(const QString& value) {
    return [value](QDialog* editor) {
        auto* keys = editor->findChild<QComboBox*>("FleetEditKey");
        keys->setCurrentIndex(keys->findData(idOf("USERN")));
        editor->findChild<QPushButton*>("FleetEditAdd")->click();
        editor->findChild<QLineEdit*>("USERN")->setText(value);
        editor->findChild<QPushButton*>("FleetEditNext")->click();
    };
}

}  // namespace

class FleetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;
    std::unique_ptr<QTemporaryDir> tmp;
    QString dir;
    TFleet* fleet = nullptr;

    QAbstractItemModel* shown() const { return fleet->grid()->model(); }
    FleetModel* model() const { return fleet->model(); }
    // The cell of the file's row as the table shows it (after sorting and filtering).
    QModelIndex cell(const QString& file, int column) const {
        const int row = model()->rowOf(file);
        if (row < 0) return {};
        auto* proxy = static_cast<QSortFilterProxyModel*>(shown());
        return proxy->mapFromSource(model()->index(row, column));
    }
    QString text(const QString& file, int column, int role = Qt::DisplayRole) const {
        return cell(file, column).data(role).toString();
    }
    template <typename T>
    T* child(const char* name) const {
        T* w = fleet->findChild<T*>(name);
        if (!w) qFatal("no %s", name);
        return w;
    }

  private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        dir = tmp->path() + "/tftp";
        QDir().mkpath(dir);
        const QDir data(QString(ORBCFG_TEST_DATA) + "/fleet/terminals");
        for (const QString& name : data.entryList(QDir::Files))
            QFile::copy(data.filePath(name), dir + "/" + name);
        if (kTwin) spit(dir + "/aa^bb^cc^dd^ee^01.cfg", "USERN='twin'\r\n");
        setup = wholeEditor();
        fleet = setup->showFleet(dir);
        QVERIFY(fleet);
        // Every row is there at once, by its name; what the files set comes a moment later.
        QCOMPARE(model()->rowCount(), kFiles);
        QTRY_VERIFY_WITH_TIMEOUT(!model()->loading(), 5000);
    }
    void cleanup() {
        setup.reset();
        tmp.reset();
    }

    void rowsAndFindings() {
        QCOMPARE(fleet->objectName(), QString("Fleet"));
        QVERIFY(fleet->isVisible());
        QCOMPARE(shown()->rowCount(), kFiles);
        QCOMPARE(text("default.cfg", FleetModel::Kind), QString("общий"));
        QCOMPARE(text("kassa.cfg", FleetModel::Kind), QString("имя"));
        QCOMPARE(text("AA^BB^CC^DD^EE^02.cfg", FleetModel::Kind), QString("MAC"));
        if (kTwin)
            QCOMPARE(text("aa^bb^cc^dd^ee^01.cfg", FleetModel::Mac), QString("AA^BB^CC^DD^EE^01"));
        QCOMPARE(text("AA^BB^CC^DD^EE^02.cfg", FleetModel::Name), QString("term02"));
        QCOMPARE(text("term03.cfg", FleetModel::Ip), QString("10.0.0.012"));
        // The findings of orbcfg-cli lint, per file, across files included.
        QCOMPARE(text("default.cfg", FleetModel::Findings), QString());
        QCOMPARE(text("term06.cfg", FleetModel::Findings), QString("значение сброшено"));
        QVERIFY(text("term06.cfg", FleetModel::Findings, Qt::ToolTipRole)
                    .contains("строка 4, VOLUME — значение сбросится при сохранении"));
        QVERIFY(text("term03.cfg", FleetModel::File, Qt::ToolTipRole)
                    .contains("duplicate-ip): '10.0.0.012' задан также в AA^BB^CC^DD^EE^02.cfg"));
        QVERIFY(
            text("AA^BB^CC^DD^EE.cfg", FleetModel::File, Qt::ToolTipRole).contains("bad-mac-name"));
        QVERIFY(!cell("term03.cfg", FleetModel::File).data(Qt::DecorationRole).isNull());
        QVERIFY(cell("default.cfg", FleetModel::File).data(Qt::DecorationRole).isNull());
        int findings = 0;
        for (int r = 0; r < shown()->rowCount(); ++r)
            findings += shown()->index(r, FleetModel::Findings).data(FleetModel::kSortRole).toInt();
        QCOMPARE(findings, kFlagged);  // the lines of lint.txt, two of them the twin's
        QCOMPARE(
            child<QLabel>("FleetStatus")->text(),
            QString("Показано %1 из %1, выбрано 0; с замечаниями: %2").arg(kFiles).arg(kFlagged));

        // Sorted by the number of findings, most first; filtered over every cell.
        fleet->grid()->sortByColumn(FleetModel::Findings, Qt::DescendingOrder);
        QCOMPARE(shown()->index(9, FleetModel::Findings).data().toString(), QString());
        child<QLineEdit>("FleetFilter")->setText("kassa");
        QCOMPARE(shown()->rowCount(), 2);  // kassa.cfg, and the file of MNAME KASSA
        child<QLineEdit>("FleetFilter")->setText("10.0.0.1");
        QCOMPARE(shown()->rowCount(), 7);  // not term03.cfg: 10.0.0.012 as the file spells it
        child<QLineEdit>("FleetFilter")->clear();
        QCOMPARE(shown()->rowCount(), kFiles);
    }

    void unreadableFileIsARowWithItsReason() {
        QFile big(dir + "/huge.cfg");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(17 * 1024 * 1024));  // past the bound of a terminal configuration
        big.close();
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowOf("huge.cfg") >= 0, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(text("huge.cfg", FleetModel::Findings), QString("не читается"),
                                  1000);
        QVERIFY(text("huge.cfg", FleetModel::File, Qt::ToolTipRole).contains("Файл не читается: "));
        QVERIFY(!cell("huge.cfg", FleetModel::File).data(Qt::DecorationRole).isNull());
        // Its row would be empty in a CSV, and an import of it would empty the file: as the
        // tool does, the export refuses, before asking where to write.
        prompts::Script script;
        child<QPushButton>("FleetExport")->click();
        QCOMPARE(script.messages.size(), 1);
        QVERIFY(script.messages[0].startsWith("Ошибка | Невозможно открыть файл!\n" + dir +
                                              "/huge.cfg\n"));
        QVERIFY(script.messages[0].contains("Экспорт не выполнен."));
        QCOMPARE(script.unexpected, QStringList());
    }

    void departingValuesAreMarked() {
        QAction* column = fleet->findChild<QAction*>("FleetColumn_TSERV");
        QVERIFY(column);
        column->trigger();
        const int tserv = FleetModel::Keys;
        QCOMPARE(shown()->headerData(tserv, Qt::Horizontal).toString(), QString("TSERV"));
        // default.cfg sets TSERV='10.0.0.2'; kassa.cfg leaves it unset, term03.cfg agrees.
        QCOMPARE(cell("kassa.cfg", tserv).data(FleetModel::kDepartsRole).toBool(), true);
        QCOMPARE(cell("kassa.cfg", tserv).data(Qt::FontRole).value<QFont>().bold(), true);
        QVERIFY(text("kassa.cfg", tserv, Qt::ToolTipRole).contains("В default.cfg: '10.0.0.2'"));
        QCOMPARE(cell("term03.cfg", tserv).data(FleetModel::kDepartsRole).toBool(), false);
        QCOMPARE(text("term03.cfg", tserv), QString("10.0.0.2"));
        QCOMPARE(cell("default.cfg", tserv).data(FleetModel::kDepartsRole).toBool(), false);
        // A key that default.cfg leaves unset: only the files that set it depart.
        fleet->findChild<QAction*>("FleetColumn_AUTOSTART")->trigger();
        const int autostart = FleetModel::Keys + 1;
        QCOMPARE(text("AA^BB^CC^DD^EE^01.cfg", autostart), QString("on"));
        QCOMPARE(cell("AA^BB^CC^DD^EE^01.cfg", autostart).data(FleetModel::kDepartsRole).toBool(),
                 true);
        QVERIFY(text("AA^BB^CC^DD^EE^01.cfg", autostart, Qt::ToolTipRole)
                    .contains("В default.cfg не задан"));
        QCOMPARE(cell("kassa.cfg", autostart).data(FleetModel::kDepartsRole).toBool(), false);
        // default.cfg sets no MNAME: each terminal's own name is no departure.
        QCOMPARE(cell("kassa.cfg", FleetModel::Name).data(FleetModel::kDepartsRole).toBool(),
                 false);
        column->trigger();  // off again
        QCOMPARE(shown()->headerData(FleetModel::Keys, Qt::Horizontal).toString(),
                 QString("AUTOSTART"));
    }

    void whichFileForAMacInThreeSpellings() {
        auto* which = child<QLineEdit>("FleetWhich");
        auto* answer = child<QLabel>("FleetAnswer");
        for (const char* mac : {"aa:bb:cc:dd:ee:02", "AA-BB-CC-DD-EE-02", "aabb.ccdd.ee02"}) {
            which->setText(mac);
            child<QPushButton>("FleetWhichButton")->click();
            QVERIFY2(answer->text().contains("загрузит файл AA^BB^CC^DD^EE^02.cfg"), mac);
            const QModelIndexList rows = fleet->grid()->selectionModel()->selectedRows();
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows.first().data().toString(), QString("AA^BB^CC^DD^EE^02.cfg"));
        }
        // A row hidden by the filter is shown again to be selected.
        child<QLineEdit>("FleetFilter")->setText("kassa");
        which->setText("aa:bb:cc:dd:ee:02");
        child<QPushButton>("FleetWhichButton")->click();
        QCOMPARE(child<QLineEdit>("FleetFilter")->text(), QString());
        QCOMPARE(fleet->grid()->selectionModel()->selectedRows().value(0).data().toString(),
                 QString("AA^BB^CC^DD^EE^02.cfg"));
        // A name, an unknown MAC (default.cfg), and nothing at all once default.cfg is gone.
        which->setText("kassa");
        child<QPushButton>("FleetWhichButton")->click();
        QVERIFY(answer->text().contains("загрузит файл kassa.cfg"));
        which->setText("00:11:22:33:44:55");
        child<QPushButton>("FleetWhichButton")->click();
        QVERIFY(answer->text().contains("общий файл default.cfg"));
        QCOMPARE(fleet->grid()->selectionModel()->selectedRows().value(0).data().toString(),
                 QString("default.cfg"));
        QVERIFY(QFile::remove(dir + "/default.cfg"));
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowOf("default.cfg"), -1, 2000);
        child<QPushButton>("FleetWhichButton")->click();
        QVERIFY(answer->text().contains("не получит настроек"));
    }

    void bulkEditWritesWhatTheToolSets() {
        const QStringList files{"kassa.cfg", "term03.cfg", "term06.cfg"};
        // What orbcfg-cli set writes for each, from copies of the files as they are now.
        QDir().mkpath(tmp->path() + "/ref");
        QMap<QString, QByteArray> expected;
        for (const QString& f : files) {
            const QString in = tmp->path() + "/ref/" + f;
            QVERIFY(QFile::copy(dir + "/" + f, in));
            QCOMPARE(
                runTool({"set", in.toStdString(), "USERN=bulk", "AUTOSTART=on", "-u", "IP", "-i"}),
                0);
            expected[f] = slurp(in);
        }
        const auto before = snapshot(dir);
        auto* selection = fleet->grid()->selectionModel();
        for (const QString& f : files)
            selection->select(cell(f, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

        prompts::Script script;
        QString previewText;
        script
            .dialog([](QDialog* editor) {
                auto* keys = editor->findChild<QComboBox*>("FleetEditKey");
                auto* add = editor->findChild<QPushButton*>("FleetEditAdd");
                for (const char* key : {"USERN", "AUTOSTART", "IP"}) {
                    keys->setCurrentIndex(keys->findData(idOf(key)));
                    add->click();
                }
                editor->findChild<QLineEdit*>("USERN")->setText("bulk");
                editor->findChild<QCheckBox*>("AUTOSTART")->click();  // grayed -> checked
                // IP stays "По умолчанию": it is unset.
                QCOMPARE(editor->findChild<QLineEdit*>("IP")->text(), qs(kUnset));
                editor->findChild<QPushButton*>("FleetEditNext")->click();
            })
            .dialog([&](QDialog* preview) {
                previewText =
                    preview->findChild<QPlainTextEdit*>("FleetPreviewText")->toPlainText();
                preview->findChild<QPushButton*>("FleetPreviewWrite")->click();
            });
        child<QPushButton>("FleetEdit")->click();
        QCOMPARE(script.unexpected, QStringList());
        QCOMPARE(script.dialogs, (QStringList{"FleetEditor", "FleetPreview"}));
        QCOMPARE(script.messages,
                 QStringList{"Информация | Изменено файлов: 3 | Fleet | information"});
        // Each file's changed lines, as orbcfg-cli diff shows them.
        QVERIFY(previewText.contains("term06.cfg\n    -USERN='user6'\n    +USERN='bulk'\n"));
        QVERIFY(previewText.contains("    -IP='10.0.0.17'\n"));
        QVERIFY(previewText.contains("    +AUTOSTART='on'\n"));
        for (const QString& f : files) QCOMPARE(slurp(dir + "/" + f), expected[f]);
        // Nothing else changed, and the rows show the new values.
        for (const QString& f : before.keys())
            if (!files.contains(f)) QCOMPARE(slurp(dir + "/" + f), before[f]);
        QCOMPARE(text("term06.cfg", FleetModel::Ip), QString());
        QCOMPARE(text("term03.cfg", FleetModel::Findings), QString());  // its twin address gone
    }

    void failedBulkEditNamesTheFileAndThoseWritten() {
        // The second file cannot take its place (the disk is full by then): the first stays
        // written, the third is not tried, and the box names the second and the first.
        const QStringList files{"kassa.cfg", "term03.cfg", "term06.cfg"};
        auto* selection = fleet->grid()->selectionModel();
        for (const QString& f : files)
            selection->select(cell(f, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const auto before = snapshot(dir);
        int renames = 0;
        fileio::seam::setHook([&](fileio::seam::Step step, std::size_t&) {
            return step == fileio::seam::Step::Rename && ++renames == 2 ? ENOSPC : 0;
        });
        prompts::Script script;
        script.dialog(setsUsern("x")).dialog([](QDialog* preview) {
            preview->findChild<QPushButton*>("FleetPreviewWrite")->click();
        });
        child<QPushButton>("FleetEdit")->click();
        fileio::seam::setHook({});
        QCOMPARE(renames, 2);
        QCOMPARE(script.messages,
                 QStringList{"Ошибка | Файл не сохранен!\n" +
                             QDir::toNativeSeparators(dir + "/term03.cfg") +
                             "\nнет места на диске\nУже записаны:\nkassa.cfg | Fleet | "
                             "warning"});
        QVERIFY(slurp(dir + "/kassa.cfg").contains("USERN='x'"));
        QCOMPARE(slurp(dir + "/term03.cfg"), before["term03.cfg"]);
        QCOMPARE(slurp(dir + "/term06.cfg"), before["term06.cfg"]);
        QCOMPARE(QDir(dir).entryList(QDir::Files).size(), before.size());  // nothing left over
    }

    // Between the preview and its "Записать" another program changes one file and removes
    // another: both are left as that program left them (the removed one not made again), the
    // third is written, and the box names the two.
    void bulkEditSkipsFilesChangedOrRemovedAfterThePreview() {
        const QStringList files{"kassa.cfg", "term03.cfg", "term06.cfg"};
        auto* selection = fleet->grid()->selectionModel();
        for (const QString& f : files)
            selection->select(cell(f, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString kassa = dir + "/kassa.cfg";
        prompts::Script script;
        script.dialog(setsUsern("bulk")).dialog([&](QDialog* preview) {
            QCOMPARE(runTool({"set", kassa.toStdString(), "TSERV=10.9.9.9", "-i"}), 0);
            QVERIFY(QFile::remove(dir + "/term03.cfg"));
            preview->findChild<QPushButton*>("FleetPreviewWrite")->click();
        });
        child<QPushButton>("FleetEdit")->click();
        QCOMPARE(script.unexpected, QStringList());
        QCOMPARE(script.messages,
                 QStringList{"Внимание | Изменено файлов: 1\nНе записаны: другая программа "
                             "изменила или удалила их после просмотра:\nkassa.cfg\nterm03.cfg | "
                             "Fleet | warning"});
        QVERIFY(slurp(kassa).contains("TSERV='10.9.9.9'"));
        QVERIFY(!slurp(kassa).contains("USERN='bulk'"));
        QVERIFY(!QFile::exists(dir + "/term03.cfg"));
        QVERIFY(slurp(dir + "/term06.cfg").contains("USERN='bulk'"));
    }

    void refusedImportLeavesTheFolderUnchanged() {
        const QString csv = tmp->path() + "/devices.csv";
        spit(csv,
             "mac,MNAME,IP\n00-1a-2b-3c-4d-01,kassa01,10.0.5.11\n001a.2b3c.4d02,kassa02,10.0.5."
             "300\n");
        const auto before = snapshot(dir);
        prompts::Script script;
        QString previewText;
        bool writable = true;
        script.path(csv).answer(0).dialog([&](QDialog* preview) {
            previewText = preview->findChild<QPlainTextEdit*>("FleetPreviewText")->toPlainText();
            writable = preview->findChild<QPushButton*>("FleetPreviewWrite")->isEnabled();
            preview->findChild<QPushButton*>("FleetPreviewWrite")->click();
        });
        child<QPushButton>("FleetImport")->click();
        QCOMPARE(script.unexpected, QStringList());
        QVERIFY(!writable);
        QVERIFY2(previewText.startsWith("строка 3, столбец 3 (IP): IP: '10.0.5.300'"),
                 qPrintable(previewText));
        QVERIFY(previewText.contains("новый        00^1A^2B^3C^4D^01.cfg"));
        QCOMPARE(snapshot(dir), before);

        // The same list without the bad address: previewed, then written.
        spit(csv, "file,MNAME\n00-1a-2b-3c-4d-01.cfg,a\nkassa.cfg,kassa\n");
        prompts::Script again;
        again.path(csv).answer(0).dialog([&](QDialog* preview) {
            previewText = preview->findChild<QPlainTextEdit*>("FleetPreviewText")->toPlainText();
            preview->findChild<QPushButton*>("FleetPreviewWrite")->click();
        });
        child<QPushButton>("FleetImport")->click();
        QVERIFY2(previewText.contains("изменится    kassa.cfg\n"), qPrintable(previewText));
        QVERIFY(previewText.contains("    -IP='10.0.0.15'\n"));
        QCOMPARE(again.messages.size(), 2);  // the question of a template, then the answer
        QCOMPARE(again.messages[1], "Информация | Записано файлов: 2 | Fleet | information");
        QVERIFY(model()->rowOf("00-1a-2b-3c-4d-01.cfg") >= 0);
    }

    // Between the preview and its "Записать" another program makes one of the new files and
    // changes one that would change: the import writes nothing over either, and what it had
    // written is put back.
    void importNeverWritesOverAnotherProgramsFile() {
        const QString csv = tmp->path() + "/devices.csv";
        spit(csv, "file,MNAME\nnew1.cfg,a\nkassa.cfg,kassa2\nnew2.cfg,b\n");
        const QByteArray theirs = "USERN='theirs'\r\n";
        for (const char* made : {"new2.cfg", "kassa.cfg"}) {
            const auto before = snapshot(dir);
            prompts::Script script;
            script.path(csv).answer(0).dialog([&](QDialog* preview) {
                spit(dir + "/" + made, theirs);
                preview->findChild<QPushButton*>("FleetPreviewWrite")->click();
            });
            child<QPushButton>("FleetImport")->click();
            QCOMPARE(script.messages.size(), 2);
            QVERIFY2(script.messages[1].startsWith("Ошибка | Импорт не выполнен"),
                     qPrintable(script.messages[1]));
            QVERIFY2(script.messages[1].contains(made), qPrintable(script.messages[1]));
            QCOMPARE(slurp(dir + "/" + made), theirs);
            auto after = snapshot(dir);
            after.remove(made);
            auto expected = before;
            expected.remove(made);
            QCOMPARE(after, expected);
            QFile::remove(dir + "/new2.cfg");
        }
    }

    void exportIsTheToolsExport() {
        const QString out = tmp->path() + "/fleet.csv";
        // One file of the folder is its owner's alone: so is a new table, as the tool makes it.
        const QString own = dir + "/term03.cfg";
        const auto mode = QFile::permissions(own);
        QVERIFY(QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        prompts::Script script;
        script.path(out);
        child<QPushButton>("FleetExport")->click();
        QCOMPARE(script.messages.size(), 1);
        std::string expected;
        runTool({"export", dir.toStdString()}, &expected);
        QCOMPARE(slurp(out), QByteArray::fromStdString(expected));
        const QString tool = tmp->path() + "/tool.csv";
        QCOMPARE(runTool({"export", dir.toStdString(), "-o", tool.toStdString()}), 0);
        QCOMPARE(QFile::permissions(out), QFile::permissions(tool));
#ifndef Q_OS_WIN
        QVERIFY(!(QFile::permissions(out) & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
#endif
        QVERIFY(QFile::setPermissions(own, mode));
    }

    void rowsFollowTheFolder() {
        // Written in place, added, removed: each seen within a second.
        spit(dir + "/term06.cfg", "USERN='user6'\r\nMNAME='renamed'\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(text("term06.cfg", FleetModel::Name), QString("renamed"), 1000);
        QCOMPARE(text("term06.cfg", FleetModel::Findings), QString());
        spit(dir + "/new.cfg", "MNAME='term02'\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowOf("new.cfg") >= 0, 1000);
        // Its name is term02's too: both rows get the finding (term02's next to its address).
        QTRY_COMPARE_WITH_TIMEOUT(text("new.cfg", FleetModel::Findings), QString("дубль имени"),
                                  1000);
        QCOMPARE(text("AA^BB^CC^DD^EE^02.cfg", FleetModel::Findings),
                 QString("дубль IP, дубль имени"));
        QVERIFY(QFile::remove(dir + "/kassa.cfg"));
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowOf("kassa.cfg"), -1, 1000);
        // A file saved by the main editor.
        QVERIFY(setup->openFile(dir + "/term03.cfg"));
        setup->setText(idOf("MNAME"), "saved");
        spit(dir + "/term03.cfg", "MNAME='saved'\r\n");
        emit setup->fileSaved(dir + "/term03.cfg");
        QTRY_COMPARE_WITH_TIMEOUT(text("term03.cfg", FleetModel::Name), QString("saved"), 1000);
    }

    // The filter and the order follow what the files set now, and the columns shown.
    void filterAndOrderFollowTheRows() {
        auto* filter = child<QLineEdit>("FleetFilter");
        filter->setText("RENAMED");
        QCOMPARE(shown()->rowCount(), 0);
        spit(dir + "/term06.cfg", "USERN='user6'\r\nMNAME='Renamed'\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(shown()->rowCount(), 1, 1000);
        spit(dir + "/term06.cfg", "USERN='user6'\r\nMNAME='other'\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(shown()->rowCount(), 0, 1000);
        // A value is found once its column is shown.
        filter->setText("user6");
        QCOMPARE(shown()->rowCount(), 0);
        fleet->findChild<QAction*>("FleetColumn_USERN")->setChecked(true);
        QCOMPARE(shown()->rowCount(), 1);
        QCOMPARE(shown()->index(0, FleetModel::File).data().toString(), QString("term06.cfg"));
        filter->clear();
        QCOMPARE(shown()->rowCount(), kFiles);

        // A new file gives an unchanged row a second finding: that row moves to the top.
        fleet->grid()->sortByColumn(FleetModel::Findings, Qt::DescendingOrder);
        spit(dir + "/new.cfg", "MNAME='term02'\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(shown()->rowCount(), kFiles + 1, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(shown()->index(0, FleetModel::File).data().toString(),
                                  QString("AA^BB^CC^DD^EE^02.cfg"), 1000);
    }

    // A large folder is watched by several watchers: a file written in place follows in any
    // of them.
    void everyFileOfALargeFolderIsWatched() {
        for (int i = 0; i < 2100; ++i)
            spit(dir + QString("/m%1.cfg").arg(i, 4, 10, QChar('0')), "USERN='many'\r\n");
        QVERIFY(fleet->openFolder(dir));
        QTRY_VERIFY_WITH_TIMEOUT(!model()->loading(), 5000);
        const auto watched = [this] {
            qsizetype n = 0;
            for (const QFileSystemWatcher* w : fleet->findChildren<QFileSystemWatcher*>())
                n += w->files().size();
            return n;
        };
        QTRY_COMPARE_WITH_TIMEOUT(watched(), qsizetype(2100 + kFiles), 5000);
        QVERIFY(fleet->findChildren<QFileSystemWatcher*>().size() > 2);
        for (const char* name : {"m0000.cfg", "m2099.cfg"}) {
            spit(dir + "/" + name, "MNAME='written'\r\n");
            QTRY_COMPARE_WITH_TIMEOUT(text(name, FleetModel::Name), QString("written"), 1000);
        }
    }

    void doubleClickOpensTheFileInTheEditor() {
        const QModelIndex at = cell("kassa.cfg", FleetModel::Ip);
        fleet->FleetGridDblClick(at);
        QCOMPARE(setup->banner()->text(), QString("kassa.cfg"));
        QCOMPARE(stateOf(*setup, idOf("MNAME")), QString("kassa"));
        QVERIFY(setup->isVisible());
    }

    void menuItemAsksForTheFolder() {
        QAction* item = setup->findChild<QAction*>("N24");
        QVERIFY(item);
        QCOMPARE(item->text(), QString("Парк терминалов..."));
        const QString other = tmp->path() + "/other";
        QDir().mkpath(other);
        spit(other + "/x.cfg", "USERN='x'\r\n");
        prompts::Script script;
        script.path(other);
        item->trigger();
        QCOMPARE(setup->fleet(), fleet);  // one window
        QCOMPARE(model()->rowCount(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!model()->loading(), 5000);
        QCOMPARE(text("x.cfg", FleetModel::Findings), QString());
        // A folder that cannot be read: the error box, the rows kept.
        script.path(tmp->path() + "/none");
        item->trigger();
        QCOMPARE(script.messages.size(), 1);
        QVERIFY(script.messages[0].startsWith("Ошибка | Невозможно открыть папку!\n"));
        QCOMPARE(model()->rowCount(), 1);
    }

    void commandLine() {
        const CommandLine c = parseCommandLine({"orbcfg", "--fleet", "/srv/tftp", "a.cfg"});
        QCOMPARE(c.fleet, QString("/srv/tftp"));
        QCOMPARE(c.file, QString("a.cfg"));
        QCOMPARE(parseCommandLine({"orbcfg", "--fleet=/x"}).fleet, QString("/x"));
        QCOMPARE(parseCommandLine({"orbcfg", "--fleet"}).exitCode, 2);
    }

    // The preview's answer: its text kept in `text`, then "Записать".
    static std::function<void(QDialog*)> writeAfterPreview(QString& text) {
        return [&text](QDialog* preview) {
            text = preview->findChild<QPlainTextEdit*>("FleetPreviewText")->toPlainText();
            preview->findChild<QPushButton*>("FleetPreviewWrite")->click();
        };
    }

    // What the user types into a bulk edit's field that shows "По умолчанию" replaces the
    // marker, the field entered by a click or by the focus it gets when its row is added; a
    // list's item is written as the file stores it, an editable list's own text as typed, and
    // a row whose "D" was pressed is unset.
    void bulkEditWritesWhatIsTypedOverTheDefaultMarker() {
        fleet->grid()->selectionModel()->select(
            cell("term06.cfg", 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        prompts::Script script;
        QString previewText;
        script
            .dialog([](QDialog* editor) {
                auto* keys = editor->findChild<QComboBox*>("FleetEditKey");
                const auto add = [&](const char* key) {
                    keys->setCurrentIndex(keys->findData(idOf(key)));
                    editor->findChild<QPushButton*>("FleetEditAdd")->click();
                };
                add("IP");
                auto* ip = editor->findChild<QLineEdit*>("IP");
                QTest::mouseClick(ip, Qt::LeftButton);
                QTest::keyClicks(ip, "10.0.7.2");
                add("USERN");  // the new row's field has the focus
                QTRY_VERIFY(editor->findChild<QLineEdit*>("USERN")->hasSelectedText());
                QTest::keyClicks(QApplication::focusWidget(), "kassa7");
                add("RAZR");
                editor->findChild<QComboBox*>("RAZR")->setCurrentIndex(4);
                add("KEYMAP");  // a layout code of its own, typed over the marker
                QLineEdit* keymap = editor->findChild<QComboBox*>("KEYMAP")->lineEdit();
                QTest::mouseClick(keymap, Qt::LeftButton);
                QTest::keyClicks(keymap, "41D");
                add("CHIPSET");  // chosen, then back to "По умолчанию" by its "D"
                editor->findChild<QComboBox*>("CHIPSET")->setCurrentIndex(2);
                editor->findChild<QToolButton*>("D_CHIPSET")->click();
                editor->findChild<QPushButton*>("FleetEditNext")->click();
            })
            .dialog(writeAfterPreview(previewText));
        child<QPushButton>("FleetEdit")->click();
        QCOMPARE(script.unexpected, QStringList());
        QVERIFY2(!previewText.contains(qs(kUnset)), qPrintable(previewText));
        const QByteArray written = slurp(dir + "/term06.cfg");
        QVERIFY2(written.contains("IP='10.0.7.2'\r\n"), written.constData());
        QVERIFY2(written.contains("USERN='kassa7'\r\n"), written.constData());
        const std::string razr(param(idOf("RAZR")).table[3].value);
        QVERIFY(written.contains(("RAZR='" + razr + "'\r\n").c_str()));
        QVERIFY(written.contains("KEYMAP='41D'\r\n"));
        QVERIFY(!written.contains("CHIPSET="));
    }
};

QTEST_MAIN(FleetTest)
#include "fleet_test.moc"
