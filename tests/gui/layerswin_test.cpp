// The fleet window over a layered source, through the real window: the groups and each cell's
// layer in the table, a build previewed and written, a file edited by hand asked about before
// it is overwritten, a group saved in the editor previewing exactly the files it changes, and
// sources that are refused.
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <sstream>

#include "cli/cli.h"
#include "forms/Fleet/fleettexts.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/prompts.h"
#include "model/layers.h"
#include "tests/gui/gui.h"

using namespace orbex;

namespace {

const QByteArray kUtf8Bom = "\xEF\xBB\xBF";

// default.cfg, a group over it, a second group over both, and rows that set their own value,
// unset one with "-", or take everything from their layers.
void makeSource(const QString& src) {
    QDir().mkpath(src + "/groups");
    spit(src + "/default.cfg",
         kUtf8Bom + "USERN='guest'\r\nTSERV='10.0.0.1'\r\nVOLUME='50'\r\nAUTOSTART='on'\r\n");
    spit(src + "/groups/kassa.cfg", kUtf8Bom + "USERN='kassa'\r\nVOLUME='60'\r\n");
    spit(src + "/groups/floor2.cfg", kUtf8Bom + "TSERV='10.0.2.1'\r\nVOLUME='70'\r\n");
    spit(src + "/devices.csv",
         "file,groups,MNAME,IP,USERN,AUTOSTART\r\n"
         "t1.cfg,kassa floor2,t1,10.0.5.11,,\r\n"
         "t2.cfg,kassa,t2,10.0.5.12,boss,-\r\n"
         "t3.cfg,,t3,10.0.5.13,,\r\n");
}

// Every file of a folder with its bytes.
std::map<QString, QByteArray> files(const QString& dir) {
    std::map<QString, QByteArray> out;
    for (const QString& f : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        out[f] = slurp(dir + "/" + f);
    return out;
}

// What a build of the source would write now, file by file.
std::map<QString, QByteArray> planned(const QString& src, const QString& tftp) {
    const layers::Loaded loaded = layers::loadSource(src.toStdString(), fleettexts::readBounded);
    std::string error;
    const auto manifest = layers::readManifest(src.toStdString(), fleettexts::readBounded, error);
    layers::BuildOptions options;
    options.force = true;
    const layers::BuildPlan plan = layers::planBuild(loaded.source, tftp.toStdString(), *manifest,
                                                     fleettexts::readBounded, options);
    std::map<QString, QByteArray> out;
    for (const fleet::Target& t : plan.write.targets)
        out[qs(t.file)] = QByteArray::fromStdString(t.bytes);
    return out;
}

// The status the preview gives a file: "новый", "изменится"; empty when it names none.
QString statusOf(const QString& text, const QString& file) {
    // A file's line: its status, two blanks or more, its name; the lines below it indented.
    static const QRegularExpression line("^(\\S+(?: \\S+)?) {2,}(\\S+)",
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(text); it.hasNext();)
        if (const auto m = it.next(); m.captured(2) == file) return m.captured(1);
    return {};
}

struct Preview {
    QString summary, text, accept;
};

// Reads the preview, then presses its button (writing, or cancelling).
std::function<void(QDialog*)> readPreview(Preview& p, const char* button) {
    return [&p, button](QDialog* d) {
        p.summary = d->findChild<QLabel*>("FleetPreviewSummary")->text();
        p.text = d->findChild<QPlainTextEdit*>("FleetPreviewText")->toPlainText();
        auto* write = d->findChild<QPushButton*>("FleetPreviewWrite");
        p.accept = write->text();
        d->findChild<QPushButton*>(button)->click();
    };
}

}  // namespace

class LayersWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSetup> setup;
    std::unique_ptr<QTemporaryDir> tmp;
    QString src, tftp;
    TFleet* fleet = nullptr;

    FleetModel* model() const { return fleet->model(); }
    QModelIndex cell(const QString& file, int column) const {
        auto* proxy = static_cast<QSortFilterProxyModel*>(fleet->grid()->model());
        return proxy->mapFromSource(model()->index(model()->rowOf(file), column));
    }
    QVariant data(const QString& file, int column, int role = Qt::DisplayRole) const {
        return cell(file, column).data(role);
    }
    // The key column of `key`, shown for the test.
    int column(const char* key) const {
        const auto& keys = model()->keys();
        const auto at = std::find(keys.begin(), keys.end(), idOf(key));
        return FleetModel::Keys + static_cast<int>(at - keys.begin());
    }
    QString tip(const QString& file, const char* key) const {
        const int c = std::string_view(key) == "MNAME" ? int(FleetModel::Name)
                      : std::string_view(key) == "IP"  ? int(FleetModel::Ip)
                                                       : column(key);
        return data(file, c, Qt::ToolTipRole).toString();
    }
    QFont font(const QString& file, const char* key) const {
        return data(file, column(key), Qt::FontRole).value<QFont>();
    }
    template <typename T>
    T* child(const char* name) const {
        T* w = fleet->findChild<T*>(name);
        if (!w) qFatal("no %s", name);
        return w;
    }
    // Opens `dir` as the source through the window's button.
    void openSource(const QString& dir) {
        prompts::Script script;
        script.path(dir);
        child<QPushButton>("FleetOpenSource")->click();
        QVERIFY2(script.messages.isEmpty(), qPrintable(script.messages.join("\n")));
    }
    // The folder built by the tool, then read by the window, with the source open.
    void builtByTheTool() {
        std::istringstream in;
        std::ostringstream out, err;
        QCOMPARE(cli::run({"build", src.toStdString(), "-d", tftp.toStdString()}, in, out, err), 0);
        QVERIFY(fleet->openFolder(tftp));
        QTRY_VERIFY_WITH_TIMEOUT(!model()->loading() && fleet->settled(), 5000);
        openSource(src);
        QVERIFY(fleet->source().isOpen());
    }

  private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        src = tmp->path() + "/src";
        tftp = tmp->path() + "/tftp";
        makeSource(src);
        QDir().mkpath(tftp);
        spit(tftp + "/stray.cfg", "USERN='stray'\r\n");
        setup = wholeEditor();
        fleet = setup->showFleet(tftp);
        QVERIFY(fleet);
        QTRY_VERIFY_WITH_TIMEOUT(!model()->loading(), 5000);
        model()->setKeys({idOf("USERN"), idOf("TSERV"), idOf("VOLUME"), idOf("AUTOSTART")});
    }
    void cleanup() {
        setup.reset();
        tmp.reset();
    }

    // A build through the window: the preview names each file new and the stray one as left
    // alone, "Записать" writes what the model plans; built again, nothing is written.
    void buildWritesThePlan() {
        QVERIFY(!child<QPushButton>("FleetBuild")->isEnabled());
        QVERIFY(fleet->grid()->isColumnHidden(FleetModel::Groups));
        openSource(src);
        QVERIFY(child<QPushButton>("FleetBuild")->isEnabled());
        QVERIFY(!fleet->grid()->isColumnHidden(FleetModel::Groups));
        QCOMPARE(data("stray.cfg", FleetModel::Findings).toString(), QString("лишний"));

        const auto expected = planned(src, tftp);
        QCOMPARE(expected.size(), std::size_t(4));  // default.cfg and the three terminals
        Preview p;
        prompts::Script script;
        script.dialog(readPreview(p, "FleetPreviewWrite"));
        child<QPushButton>("FleetBuild")->click();
        QCOMPARE(p.summary.left(24), QString("Будет записано файлов: 4"));
        for (const char* f : {"default.cfg", "t1.cfg", "t2.cfg", "t3.cfg"})
            QVERIFY2(statusOf(p.text, f) == "новый", qPrintable(p.text));
        QCOMPARE(statusOf(p.text, "stray.cfg"), QString("лишний"));
        QVERIFY(p.text.contains("+VOLUME='70'"));
        QCOMPARE(script.messages.last(), QString("Информация | Собрано файлов: 4 | Fleet | "
                                                 "information"));
        for (const auto& [file, bytes] : expected) QCOMPARE(slurp(tftp + "/" + file), bytes);
        QCOMPARE(slurp(tftp + "/stray.cfg"), QByteArray("USERN='stray'\r\n"));  // not removed

        // Built again: nothing changes, and nothing is written.
        prompts::Script again;
        again.dialog(readPreview(p, "FleetPreviewWrite"));
        const auto before = files(tftp);
        child<QPushButton>("FleetBuild")->click();
        QCOMPARE(statusOf(p.text, "t1.cfg"), QString("без изменений"));
        QCOMPARE(files(tftp), before);
    }

    // Each file's groups, each cell's layer and what it overrides, and its marking by layer.
    void layersInTheTable() {
        builtByTheTool();
        QCOMPARE(data("t1.cfg", FleetModel::Groups).toString(), QString("kassa, floor2"));
        QCOMPARE(data("t2.cfg", FleetModel::Groups).toString(), QString("kassa"));
        QCOMPARE(data("t3.cfg", FleetModel::Groups).toString(), QString());
        QCOMPARE(data("stray.cfg", FleetModel::Groups).toString(), QString());

        QVERIFY(tip("t3.cfg", "USERN").endsWith("\nИз default.cfg"));
        QVERIFY2(tip("t1.cfg", "USERN")
                     .endsWith("\nИз группы kassa (перекрывает default.cfg: "
                               "'guest')"),
                 qPrintable(tip("t1.cfg", "USERN")));
        QVERIFY(tip("t1.cfg", "VOLUME")
                    .endsWith("Из группы floor2 (перекрывает группу kassa: '60', default.cfg: "
                              "'50')"));
        QVERIFY(tip("t2.cfg", "USERN")
                    .endsWith("Своё значение терминала (перекрывает группу kassa: 'kassa', "
                              "default.cfg: 'guest')"));
        QVERIFY(tip("t2.cfg", "AUTOSTART")
                    .endsWith("Сброшено строкой терминала ('-') (перекрывает default.cfg: "
                              "'on')"));
        QVERIFY(tip("t3.cfg", "MNAME").endsWith("\nСвоё значение терминала"));
        QVERIFY(!tip("stray.cfg", "USERN").contains("Из "));
        QVERIFY(data("stray.cfg", FleetModel::File, Qt::ToolTipRole).toString().contains("лишний"));

        // The device's own value bold, a group's italic, default.cfg's plain.
        QVERIFY(font("t2.cfg", "USERN").bold() && !font("t2.cfg", "USERN").italic());
        QVERIFY(font("t1.cfg", "USERN").italic() && !font("t1.cfg", "USERN").bold());
        QVERIFY(!font("t3.cfg", "USERN").bold() && !font("t3.cfg", "USERN").italic());
        QVERIFY(data("t3.cfg", FleetModel::Name, Qt::FontRole).value<QFont>().bold());
    }

    // A file edited by hand is marked and picked by the finding filter; a build shows its
    // lines, and asks before overwriting it: "Отмена" leaves every file as it was, byte for
    // byte, "Перезаписать" writes the build.
    void driftAskedBeforeOverwriting() {
        builtByTheTool();
        QVERIFY(!data("t2.cfg", FleetModel::File, Qt::BackgroundRole).isValid());
        spit(tftp + "/t2.cfg", slurp(tftp + "/t2.cfg") + "VOLUME='99'\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(data("t2.cfg", FleetModel::Findings).toString(),
                                  QString("изменён вручную"), 2000);
        QVERIFY(data("t2.cfg", FleetModel::Ip, Qt::BackgroundRole).isValid());
        QVERIFY(child<QLabel>("FleetStatus")->text().endsWith("с замечаниями: 2"));  // and stray
        QVERIFY(!data("t1.cfg", FleetModel::File, Qt::BackgroundRole).isValid());
        auto* kinds = child<QComboBox>("FleetFindingFilter");
        kinds->setCurrentIndex(kinds->findText("изменён вручную"));
        QCOMPARE(fleet->grid()->model()->rowCount(), 1);
        kinds->setCurrentIndex(0);

        const auto before = files(tftp);
        const auto manifest = slurp(src + "/.build/manifest");
        Preview p;
        {
            prompts::Script script;
            script.dialog(readPreview(p, "FleetPreviewWrite")).answer(1);
            child<QPushButton>("FleetBuild")->click();
            QVERIFY2(statusOf(p.text, "t2.cfg") == "изменён вручную", qPrintable(p.text));
            QVERIFY(p.text.contains("-VOLUME='99'"));
            QVERIFY(p.summary.contains("Изменены вручную после последней сборки: 1"));
            QCOMPARE(script.messages.size(), 1);
            QVERIFY(script.messages[0].contains("t2.cfg"));
            QVERIFY(script.messages[0].endsWith("question"));
        }
        QCOMPARE(files(tftp), before);
        QCOMPARE(slurp(src + "/.build/manifest"), manifest);
        // "Отмена" in the preview asks nothing.
        {
            prompts::Script script;
            script.dialog(readPreview(p, "FleetPreviewCancel"));
            child<QPushButton>("FleetBuild")->click();
            QVERIFY(script.messages.isEmpty());
            QVERIFY(script.unexpected.isEmpty());
        }
        QCOMPARE(files(tftp), before);

        const auto expected = planned(src, tftp);
        prompts::Script script;
        script.dialog(readPreview(p, "FleetPreviewWrite")).answer(0);
        child<QPushButton>("FleetBuild")->click();
        QCOMPARE(slurp(tftp + "/t2.cfg"), expected.at("t2.cfg"));
        QTRY_COMPARE_WITH_TIMEOUT(data("t2.cfg", FleetModel::Findings).toString(), QString(), 2000);
    }

    // A group saved in the editor: the preview lists exactly the terminals whose files change,
    // with "Собрать"; "Отмена" writes nothing, "Собрать" writes the build.
    void savedGroupPreviewsTheFilesItChanges() {
        builtByTheTool();
        QSignalSpy opened(fleet, &TFleet::openRequested);
        QMenu* menu = child<QPushButton>("FleetLayers")->menu();
        QStringList items;
        for (QAction* a : menu->actions()) items << a->text();
        QCOMPARE(items, QStringList({"default.cfg", "groups/floor2.cfg", "groups/kassa.cfg"}));
        const QString group = src + "/groups/floor2.cfg";
        menu->actions()[1]->trigger();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0][0].toString(), group);
        QCOMPARE(stateOf(*setup, idOf("TSERV")), QString("10.0.2.1"));  // shown in the editor

        const auto before = files(tftp);
        Preview p;
        {
            prompts::Script script;
            script.dialog(readPreview(p, "FleetPreviewCancel"));
            setup->setText(idOf("TSERV"), "10.0.2.9");
            setup->Button1Click();
            QVERIFY(slurp(group).contains("TSERV='10.0.2.9'"));
            QCOMPARE(script.dialogs, QStringList({"FleetPreview"}));
        }
        QCOMPARE(p.summary, QString("Изменятся файлы терминалов: 1. Лишних файлов: 1 (не "
                                    "удаляются)."));
        QCOMPARE(p.accept, QString("Собрать"));
        QVERIFY(p.text.startsWith("изменится"));
        QCOMPARE(statusOf(p.text, "t1.cfg"), QString("изменится"));
        QVERIFY(p.text.contains("+TSERV='10.0.2.9'"));
        QVERIFY(!p.text.contains("t2.cfg") && !p.text.contains("t3.cfg"));
        QVERIFY(p.text.contains("без изменений: файлов 3"));
        QCOMPARE(files(tftp), before);

        // Saved again by another way, and built this time.
        spit(src + "/groups/kassa.cfg", kUtf8Bom + "USERN='kassa2'\r\nVOLUME='60'\r\n");
        const auto expected = planned(src, tftp);  // a plan holds the bytes of changes only
        prompts::Script script;
        script.dialog(readPreview(p, "FleetPreviewWrite"));
        fleet->fileSaved(src + "/groups/kassa.cfg");
        QVERIFY(p.summary.startsWith("Изменятся файлы терминалов: 1."));  // t2 keeps its own
        QCOMPARE(statusOf(p.text, "t1.cfg"), QString("изменится"));
        QVERIFY(!p.text.contains("t2.cfg"));
        QCOMPARE(slurp(tftp + "/t1.cfg"), expected.at("t1.cfg"));
        QVERIFY(slurp(tftp + "/t1.cfg").contains("USERN='kassa2'"));
        // A save that changes no built file shows nothing.
        prompts::Script quiet;
        fleet->fileSaved(src + "/groups/kassa.cfg");
        QVERIFY(quiet.dialogs.isEmpty());
    }

    // What is no source, or a source in error, is refused with its reasons, and nothing is
    // built; F1 on the source's buttons opens its help.
    void refusedSources() {
        {
            prompts::Script script;
            script.path(tmp->path());
            child<QPushButton>("FleetOpenSource")->click();
            QCOMPARE(script.messages.size(), 1);
            QVERIFY(script.messages[0].contains("В папке нет devices.csv: это не источник."));
        }
        spit(src + "/devices.csv", "file,groups\r\nt1.cfg,kassa nosuch\r\nt2.cfg,kassa kassa\r\n");
        {
            prompts::Script script;
            script.path(src);
            child<QPushButton>("FleetOpenSource")->click();
            QCOMPARE(script.messages.size(), 1);
            const QString& m = script.messages[0];
            QVERIFY2(m.contains("devices.csv, строка 2, столбец 2 (groups): нет группы 'nosuch' "
                                "(нет файла groups/nosuch.cfg)"),
                     qPrintable(m));
            QVERIFY(m.contains("группа 'kassa' названа дважды"));
            QVERIFY(m.contains(QDir::toNativeSeparators(src)));
        }
        QVERIFY(!fleet->source().isOpen());
        QVERIFY(!child<QPushButton>("FleetBuild")->isEnabled());
        {
            prompts::Script script;
            script.path(tftp + "/inner");
            QDir().mkpath(tftp + "/inner");
            spit(tftp + "/inner/devices.csv", "file\r\nx.cfg\r\n");
            child<QPushButton>("FleetOpenSource")->click();
            QVERIFY(script.messages.value(0).contains("не должны лежать одна в другой"));
        }
        QVERIFY(!QFile::exists(tftp + "/x.cfg"));

        QSignalSpy asked(fleet, &TFleet::helpRequested);
        fleet->activateWindow();
        child<QPushButton>("FleetOpenSource")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0][0].toString(), QString("FSOURCE"));
        QVERIFY(QFile::exists(src + "/devices.csv"));

        // Without a TFTP folder there is nothing to build into.
        TFleet alone;
        prompts::Script script;
        alone.findChild<QPushButton*>("FleetOpenSource")->click();
        QVERIFY(script.messages.value(0).contains("Папка TFTP не открыта"));
    }
};

QTEST_MAIN(LayersWindowTest)
#include "layerswin_test.moc"
