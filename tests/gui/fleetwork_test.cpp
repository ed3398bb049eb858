// The fleet window at work, over real files: its findings and refusals in Russian, rows picked
// by finding, the keyboard, an import with a template, the Excel form of the export, the
// folder its dialogs start in, its size on the screen, its help, and the TFTP server's log read
// against the folder.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <sstream>

#include "cli/cli.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/prompts.h"
#include "help/Helpwin/helpwin.h"
#include "tests/gui/gui.h"

using namespace orbex;

namespace {

int runTool(const std::vector<std::string>& args, std::string* output = nullptr) {
    std::istringstream in;
    std::ostringstream out, err;
    const int code = cli::run(args, in, out, err);
    if (output) *output = out.str();
    return code;
}

// The preview's text, then its "Записать" or "Отмена".
std::function<void(QDialog*)> preview(QString& text, const char* button = "FleetPreviewWrite") {
    return [&text, button](QDialog* d) {
        text = d->findChild<QPlainTextEdit*>("FleetPreviewText")->toPlainText();
        d->findChild<QPushButton*>(button)->click();
    };
}

}  // namespace

class FleetWorkTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;
    std::unique_ptr<QTemporaryDir> tmp;
    QString dir;
    TFleet* fleet = nullptr;

    QAbstractItemModel* shown() const { return fleet->grid()->model(); }
    FleetModel* model() const { return fleet->model(); }
    QModelIndex cell(const QString& file, int column = 0) const {
        auto* proxy = static_cast<QSortFilterProxyModel*>(shown());
        return proxy->mapFromSource(model()->index(model()->rowOf(file), column));
    }
    QString tip(const QString& file) const { return cell(file).data(Qt::ToolTipRole).toString(); }
    QStringList shownFiles() const {
        QStringList files;
        for (int r = 0; r < shown()->rowCount(); ++r)
            files << shown()->index(r, FleetModel::File).data().toString();
        return files;
    }
    void select(const QStringList& files) {
        auto* selection = fleet->grid()->selectionModel();
        selection->clearSelection();
        for (const QString& f : files)
            selection->select(cell(f), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    template <typename T>
    T* child(const char* name) const {
        T* w = fleet->findChild<T*>(name);
        if (!w) qFatal("no %s", name);
        return w;
    }
    QString status() const { return child<QLabel>("FleetStatus")->text(); }

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
        QTRY_VERIFY_WITH_TIMEOUT(!model()->loading(), 5000);
    }
    void cleanup() {
        setup.reset();
        tmp.reset();
    }

    // Each finding in Russian, made from its code and what it names; the column of findings
    // by short names; the rows picked by a finding.
    void findingsInRussianAndPickedByKind() {
        QVERIFY2(tip("term03.cfg").contains("'10.0.0.012' задан также в AA^BB^CC^DD^EE^02.cfg"),
                 qPrintable(tip("term03.cfg")));
        QVERIFY(tip("AA^BB^CC^DD^EE^05.cfg")
                    .contains("'yes' — не on и не off; переключатель остается «По умолчанию»"));
        QVERIFY(tip("term06.cfg")
                    .contains("'loud' — не целое число; при сохранении значение будет сброшено"));
        QVERIFY(!kTwin ||
                tip("AA^BB^CC^DD^EE^01.cfg")
                    .contains("MAC AA^BB^CC^DD^EE^01 назван также в aa^bb^cc^dd^ee^01.cfg"));
        QVERIFY(tip("AA^BB^CC^DD^EE.cfg").contains("в имени есть ^"));
        for (const QString& f : model()->files().empty() ? QStringList() : shownFiles())
            QVERIFY2(!tip(f).contains(" is "), qPrintable(tip(f)));
        QCOMPARE(cell("AA^BB^CC^DD^EE^05.cfg", FleetModel::Findings).data().toString(),
                 QString("строка пропущена"));
        QCOMPARE(cell("AA^BB^CC^DD^EE^01.cfg", FleetModel::Findings).data().toString(),
                 QString(kTwin ? "дубль MAC" : ""));

        auto* kinds = child<QComboBox>("FleetFindingFilter");
        const auto pick = [&](const QString& text) {
            const int i = kinds->findText(text);
            QVERIFY2(i >= 0, qPrintable(text));
            kinds->setCurrentIndex(i);
        };
        pick("дубль IP");
        QCOMPARE(shownFiles(), (QStringList{"AA^BB^CC^DD^EE^02.cfg", "term03.cfg"}));
        QCOMPARE(
            status(),
            QString("Показано 2 из %1, выбрано 0; с замечаниями: %2").arg(kFiles).arg(kFlagged));
        pick("значение сброшено");
        QCOMPARE(shownFiles(), QStringList{"term06.cfg"});
        // With the text filter too.
        child<QLineEdit>("FleetFilter")->setText("kassa");
        pick("дубль имени");
        QCOMPARE(shownFiles(), (QStringList{"AA^BB^CC^DD^EE^04.cfg", "kassa.cfg"}));
        child<QLineEdit>("FleetFilter")->clear();
        pick("С замечаниями");
        QCOMPARE(shown()->rowCount(), kFlagged);
        QVERIFY(!shownFiles().contains("default.cfg"));
        // A file that cannot be read has a kind of its own.
        QFile big(dir + "/broken.cfg");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(17 * 1024 * 1024));  // past the bound of a terminal configuration
        big.close();
        pick("не читается");
        QTRY_COMPARE_WITH_TIMEOUT(shownFiles(), QStringList{"broken.cfg"}, 2000);
        pick("Все файлы");
        QCOMPARE(shown()->rowCount(), kFiles + 1);
    }

    // The import's refusals in Russian, each from its code and what it names.
    void refusalsInRussian() {
        const QString csv = tmp->path() + "/devices.csv";
        spit(csv,
             "file,IP,AUTOSTART\nkassa.cfg,10.0.5.300,\nnew.cfg,,yes\nnew.cfg,,\n"
             "x.txt,,\n");
        QString text;
        prompts::Script script;
        script.path(csv).answer(0).dialog(preview(text));
        child<QPushButton>("FleetImport")->click();
        QCOMPARE(script.unexpected, QStringList());
        QVERIFY2(text.startsWith("строка 2, столбец 2 (IP): IP: '10.0.5.300' — не IPv4-адрес\n"
                                 "строка 3, столбец 3 (AUTOSTART): AUTOSTART принимает только on "
                                 "или off\n"
                                 "строка 4, столбец 1 (file): new.cfg — файл и строки 3\n"
                                 "строка 5, столбец 1 (file): 'x.txt' — не имя файла с "
                                 "расширением .cfg\n"),
                 qPrintable(text));
        // A bulk edit's refusal names its file once.
        select({"kassa.cfg"});
        prompts::Script edit;
        edit.dialog([](QDialog* editor) {
                auto* keys = editor->findChild<QComboBox*>("FleetEditKey");
                keys->setCurrentIndex(keys->findData(idOf("IP")));
                editor->findChild<QPushButton*>("FleetEditAdd")->click();
                editor->findChild<QLineEdit*>("IP")->setText("10.0..1");
                editor->findChild<QPushButton*>("FleetEditNext")->click();
            })
            .dialog(preview(text, "FleetPreviewCancel"));
        child<QPushButton>("FleetEdit")->click();
        QCOMPARE(text, QString("kassa.cfg: отказ — IP: '10.0..1' — не IPv4-адрес\n"));
    }

    // Enter and Return open the row in the editor; the status line counts the rows shown and
    // selected; a column added keeps the selection.
    void keyboardStatusAndSelection() {
        QSignalSpy opened(fleet, &TFleet::openRequested);
        select({"term03.cfg"});
        fleet->grid()->setCurrentIndex(cell("term03.cfg"));
        QTest::keyClick(fleet->grid(), Qt::Key_Return);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0][0].toString(), QDir(dir).filePath("term03.cfg"));
        QCOMPARE(setup->findChild<QLabel*>("StaticText2")->text(), QString("term03.cfg"));
        fleet->grid()->setCurrentIndex(cell("kassa.cfg"));
        QTest::keyClick(fleet->grid(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[1][0].toString(), QDir(dir).filePath("kassa.cfg"));

        select({"kassa.cfg", "term03.cfg", "term06.cfg"});
        QCOMPARE(
            status(),
            QString("Показано %1 из %1, выбрано 3; с замечаниями: %2").arg(kFiles).arg(kFlagged));
        child<QLineEdit>("FleetFilter")->setText("term06");
        QCOMPARE(
            status(),
            QString("Показано 1 из %1, выбрано 1; с замечаниями: %2").arg(kFiles).arg(kFlagged));
        child<QLineEdit>("FleetFilter")->clear();
        select({"kassa.cfg", "term06.cfg"});
        fleet->grid()->selectionModel()->setCurrentIndex(cell("term06.cfg"),
                                                         QItemSelectionModel::NoUpdate);
        fleet->findChild<QAction*>("FleetColumn_USERN")->setChecked(true);
        QCOMPARE(shown()->columnCount(), FleetModel::Keys + 1);
        QCOMPARE(fleet->selectedFiles(), (std::vector<std::string>{"kassa.cfg", "term06.cfg"}));
        QCOMPARE(fleet->grid()->currentIndex().row(), cell("term06.cfg").row());
        QCOMPARE(
            status(),
            QString("Показано %1 из %1, выбрано 2; с замечаниями: %2").arg(kFiles).arg(kFlagged));
    }

    // "Отмена" in the preview goes back to the bulk edit's editor, its choices kept.
    void bulkEditPreviewCancelGoesBack() {
        select({"kassa.cfg", "term06.cfg"});
        QString first, second, kept;
        prompts::Script script;
        script
            .dialog([](QDialog* editor) {
                auto* keys = editor->findChild<QComboBox*>("FleetEditKey");
                keys->setCurrentIndex(keys->findData(idOf("USERN")));
                editor->findChild<QPushButton*>("FleetEditAdd")->click();
                editor->findChild<QLineEdit*>("USERN")->setText("first");
                editor->findChild<QPushButton*>("FleetEditNext")->click();
            })
            .dialog(preview(first, "FleetPreviewCancel"))
            .dialog([&](QDialog* editor) {
                auto* usern = editor->findChild<QLineEdit*>("USERN");
                QVERIFY(usern);
                kept = usern->text();
                usern->setText("second");
                editor->findChild<QPushButton*>("FleetEditNext")->click();
            })
            .dialog(preview(second));
        child<QPushButton>("FleetEdit")->click();
        QCOMPARE(script.unexpected, QStringList());
        QCOMPARE(script.dialogs,
                 (QStringList{"FleetEditor", "FleetPreview", "FleetEditor", "FleetPreview"}));
        QCOMPARE(kept, QString("first"));
        QVERIFY(first.contains("+USERN='first'"));
        QVERIFY(second.contains("+USERN='second'"));
        QVERIFY(slurp(dir + "/kassa.cfg").contains("USERN='second'"));
        QVERIFY(slurp(dir + "/term06.cfg").contains("USERN='second'"));
    }

    // The import asks for a template, as import --template takes one: the new files get its
    // values, the preview shows them, and the files are what the tool writes. Its dialogs
    // start in the fleet's folder.
    void importWithTemplate() {
        const QString csv = tmp->path() + "/devices.csv";
        spit(csv, "mac,MNAME,IP\n00-1a-2b-3c-4d-01,kassa01,10.0.5.11\n");
        const QString templ = tmp->path() + "/shop.cfg";
        spit(templ, "USERN='shop'\r\nTSERV='10.0.0.2'\r\nVOLUME='loud'\r\nMNAME='none'\r\n");
        // Cancelled at the question: nothing is read or written.
        const auto before = QDir(dir).entryList(QDir::Files);
        prompts::Script cancelled;
        cancelled.path(csv).answer(2);
        child<QPushButton>("FleetImport")->click();
        QCOMPARE(cancelled.unexpected, QStringList());
        QCOMPARE(cancelled.dialogs, QStringList());
        QCOMPARE(QDir(dir).entryList(QDir::Files), before);
        QCOMPARE(fleet->findChild<QFileDialog*>("FleetImportDialog")->directory().absolutePath(),
                 dir);

        QString text;
        prompts::Script script;
        script.path(csv).answer(1).path(templ).dialog(preview(text));
        child<QPushButton>("FleetImport")->click();
        QCOMPARE(script.unexpected, QStringList());
        QCOMPARE(fleet->findChild<QFileDialog*>("FleetTemplateDialog")->directory().absolutePath(),
                 dir);
        QVERIFY2(text.contains("В шаблоне сброшены неверные значения: VOLUME"), qPrintable(text));
        QVERIFY2(text.contains("новый        00^1A^2B^3C^4D^01.cfg\n"), qPrintable(text));
        QVERIFY(text.contains("    +USERN='shop'\n"));
        QVERIFY(text.contains("    +TSERV='10.0.0.2'\n"));
        QVERIFY(text.contains("    +MNAME='kassa01'\n"));
        QVERIFY(!text.contains("VOLUME='loud'"));

        const QString other = tmp->path() + "/other";
        QDir().mkpath(other);
        QCOMPARE(runTool({"import", csv.toStdString(), "-d", other.toStdString(), "--template",
                          templ.toStdString()}),
                 0);
        QCOMPARE(slurp(dir + "/00^1A^2B^3C^4D^01.cfg"), slurp(other + "/00^1A^2B^3C^4D^01.cfg"));
    }

    // "для Excel" beside RFC 4180: what export --excel writes, imported back as it was.
    void exportForExcel() {
        const QString out = tmp->path() + "/excel.csv";
        prompts::Script first;
        first.path(QString());  // cancelled: the dialog is made
        child<QPushButton>("FleetExport")->click();
        auto* dialog = fleet->findChild<QFileDialog*>("FleetExportDialog");
        QCOMPARE(dialog->directory().absolutePath(), dir);
        QCOMPARE(dialog->nameFilters().size(), 2);
        QVERIFY(dialog->nameFilters()[1].contains("для Excel"));
        dialog->selectNameFilter(dialog->nameFilters()[1]);
        prompts::Script script;
        script.path(out);
        child<QPushButton>("FleetExport")->click();
        std::string expected;
        QCOMPARE(runTool({"export", dir.toStdString(), "--excel"}, &expected), 0);
        const QByteArray written = slurp(out);
        QCOMPARE(written, QByteArray::fromStdString(expected));
        QVERIFY(
            written.startsWith("\xEF\xBB\xBF"
                               "file;"));
        QVERIFY(written.contains("\r\n"));

        // Imported into an empty folder: the files the folder's own export describes.
        const QString copy = tmp->path() + "/copy";
        QDir().mkpath(copy);
        QCOMPARE(runTool({"import", out.toStdString(), "-d", copy.toStdString()}), 0);
        std::string again;
        QCOMPARE(runTool({"export", copy.toStdString(), "--excel"}, &again), 0);
        QCOMPARE(QByteArray::fromStdString(again), written);
    }

    // Within the screen's available area, wherever it was put before.
    void opensWithinTheScreen() {
        const QRect area = fleet->screen()->availableGeometry();
        QVERIFY2(area.contains(fleet->frameGeometry()),
                 qPrintable(QString("%1x%2 in %3x%4")
                                .arg(fleet->frameGeometry().width())
                                .arg(fleet->frameGeometry().height())
                                .arg(area.width())
                                .arg(area.height())));
        TFleet other;
        other.resize(area.width() * 2, area.height() * 2);
        other.move(area.right() - 10, area.bottom() - 10);
        other.show();
        QVERIFY(area.contains(other.frameGeometry()));
    }

    // F1: the help at the fleet's section, or at the section of the control in focus.
    void f1OpensTheFleetsHelp() {
        QSignalSpy asked(fleet, &TFleet::helpRequested);
        fleet->activateWindow();
        fleet->grid()->setFocus();
        QTest::keyClick(fleet->grid(), Qt::Key_F1);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0][0].toString(), QString("FLEET"));
        QWidget* help = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "Help" && w->isVisible()) help = w;
        QVERIFY(help);
        child<QPushButton>("FleetExport")->setFocus();
        QTest::keyClick(child<QPushButton>("FleetExport"), Qt::Key_F1);
        QCOMPARE(asked.last()[0].toString(), QString("FEXPORT"));
        child<QPushButton>("FleetLog")->setFocus();
        QTest::keyClick(child<QPushButton>("FleetLog"), Qt::Key_F1);
        QCOMPARE(asked.last()[0].toString(), QString("FLOG"));
        QCOMPARE(THelp::sectionOf("FLOG"), QString("FLOG"));
        // In the import's preview: the import's section.
        const QString csv = tmp->path() + "/devices.csv";
        spit(csv, "file,MNAME\nnew.cfg,a\n");
        prompts::Script script;
        script.path(csv).answer(0).dialog([](QDialog* d) {
            QTest::keyClick(d->findChild<QPlainTextEdit*>("FleetPreviewText"), Qt::Key_F1);
        });
        child<QPushButton>("FleetImport")->click();
        QCOMPARE(asked.last()[0].toString(), QString("FIMPORT"));
        QCOMPARE(THelp::sectionOf("FIMPORT"), QString("FIMPORT"));
    }

    // A server's log: each file's last request and its terminal, the terminal that got
    // default.cfg although its MAC file is there in another case, the files nobody asked for
    // picked by the filter; a log that cannot be read changes nothing.
    void tftpLogAgainstTheFolder() {
        const QString log = tmp->path() + "/syslog";
        spit(log,
             "2026-12-09T10:15:26.000+00:00 tftp in.tftpd[100]: RRQ from 10.0.0.2 filename "
             "AA^BB^CC^DD^EE^02.cfg\n"
             "2026-12-09T10:16:00.000+00:00 tftp in.tftpd[101]: RRQ from 10.0.0.7 filename "
             "aa^bb^cc^dd^ee^01.cfg\n"
             "2026-12-09T10:16:00.100+00:00 tftp in.tftpd[101]: sending NAK (1, File not found) "
             "to 10.0.0.7\n"
             "2026-12-09T10:16:01.000+00:00 tftp in.tftpd[102]: RRQ from 10.0.0.7 filename "
             "default.cfg\n"
             "2026-12-09T10:17:00.000+00:00 tftp cron[5]: (root) CMD (true)\n");
        // The log's columns show once one is read, a key column added meanwhile or not.
        QVERIFY(fleet->grid()->isColumnHidden(FleetModel::Requested));
        child<QAction>("FleetColumn_USERN")->trigger();
        QVERIFY(fleet->grid()->isColumnHidden(FleetModel::By));
        QVERIFY(fleet->grid()->isColumnHidden(FleetModel::Groups));
        prompts::Script script;
        script.path(log);
        child<QPushButton>("FleetLog")->click();
        QVERIFY(!fleet->grid()->isColumnHidden(FleetModel::Requested));
        QVERIFY(!fleet->grid()->isColumnHidden(FleetModel::By));
        QCOMPARE(script.unexpected, QStringList());
        const auto at = [&](const char* file, int column) {
            return cell(file, column).data().toString();
        };
        QCOMPARE(at("AA^BB^CC^DD^EE^02.cfg", FleetModel::Requested),
                 QString("2026-12-09 10:15:26"));
        QCOMPARE(at("AA^BB^CC^DD^EE^02.cfg", FleetModel::By), QString("10.0.0.2"));
        QCOMPARE(at("default.cfg", FleetModel::By), QString("10.0.0.7"));
        QCOMPARE(at("AA^BB^CC^DD^EE^01.cfg", FleetModel::Requested), QString("не запрашивался"));
        const QString own =
            cell("AA^BB^CC^DD^EE^01.cfg", FleetModel::Requested).data(Qt::ToolTipRole).toString();
        QVERIFY2(own.contains("Не получил этот файл: 10.0.0.7 (MAC AA^BB^CC^DD^EE^01), получил "
                              "default.cfg"),
                 qPrintable(own));
        const QString summary = child<QLabel>("FleetLogSummary")->text();
        QVERIFY2(summary.contains("запросов файлов конфигурации: 3, терминалов: 2"),
                 qPrintable(summary));
        QVERIFY2(summary.contains("терминал 10.0.0.7 (MAC AA^BB^CC^DD^EE^01) получил "
                                  "default.cfg, хотя его файл в папке — AA^BB^CC^DD^EE^01.cfg"),
                 qPrintable(summary));
        QVERIFY(summary.contains("in.tftpd не записал ни одного отказа") == false);

        auto* filter = child<QComboBox>("FleetFindingFilter");
        filter->setCurrentIndex(filter->findText("не запрашивались"));
        QStringList never{"AA^BB^CC^DD^EE^01.cfg",
                          "AA^BB^CC^DD^EE^04.cfg",
                          "AA^BB^CC^DD^EE^05.cfg",
                          "kassa.cfg",
                          "term03.cfg",
                          "term06.cfg"};
        QStringList files = shownFiles();
        files.sort();
        QCOMPARE(files, never);
        filter->setCurrentIndex(filter->findText("терминал взял другой файл"));
        QCOMPARE(shownFiles(), QStringList{"AA^BB^CC^DD^EE^01.cfg"});
        filter->setCurrentIndex(0);

        // A corrupt gzip log: the error names it, and what was read stays.
        const QString bad = tmp->path() + "/syslog.1.gz";
        spit(bad, QByteArray("\x1f\x8b\x08\x00garbage", 11));  // a header cut short
        prompts::Script failed;
        failed.path(bad);
        child<QPushButton>("FleetLog")->click();
        QCOMPARE(failed.messages.size(), 1);
        QVERIFY2(failed.messages[0].startsWith("Ошибка | Невозможно прочитать журнал!\n" +
                                               QDir::toNativeSeparators(bad) + "\n"),
                 qPrintable(failed.messages[0]));
        QCOMPARE(at("AA^BB^CC^DD^EE^02.cfg", FleetModel::By), QString("10.0.0.2"));

        // Another folder: the log read against this one is forgotten.
        QVERIFY(fleet->openFolder(dir));
        QTRY_VERIFY_WITH_TIMEOUT(!model()->loading(), 5000);
        QVERIFY(!child<QLabel>("FleetLogSummary")->isVisible());
        QCOMPARE(at("AA^BB^CC^DD^EE^02.cfg", FleetModel::By), QString());
    }
};

QTEST_MAIN(FleetWorkTest)
#include "fleetwork_test.moc"
