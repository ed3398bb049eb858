// The fleet window's layered source: opening it, its layers in the table and in a menu, and
// building the folder from it, each build shown before anything is written.
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

#include "fileio/fileio.h"
#include "forms/Fleet/fleettexts.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/Fleet/folderwatcher.h"
#include "forms/prompts.h"
#include "forms/qtext.h"

using namespace orbex;
using namespace orbex::layers;
using namespace fleettexts;
namespace fl = orbex::fleet;

QHBoxLayout* TFleet::makeSourceRow() {
    QPushButton* open = makeButton("FleetOpenSource", "Открыть источник...",
                                   "Открыть папку источника (default.cfg, groups, devices.csv), "
                                   "из которого собирается эта папка",
                                   &TFleet::FleetOpenSourceClick);
    FleetLayersButton = new QPushButton("Слои", this);
    FleetLayersButton->setObjectName("FleetLayers");
    FleetLayersButton->setAutoDefault(false);
    FleetLayersButton->setToolTip("Открыть default.cfg или файл группы источника в основном окне");
    FleetLayersButton->setMenu(new QMenu(FleetLayersButton));
    FleetLayersButton->menu()->setObjectName("FleetLayersMenu");
    FleetBuildButton = makeButton("FleetBuild", "Собрать", "Собрать файлы этой папки из источника",
                                  &TFleet::FleetBuildClick);
    for (QPushButton* b : {open, FleetLayersButton, FleetBuildButton})
        b->setProperty("helpKeyword", "FSOURCE");
    FleetSourceLabel = new QLabel(this);
    FleetSourceLabel->setObjectName("FleetSourceLabel");
    auto* row = new QHBoxLayout;
    row->addWidget(open);
    row->addWidget(FleetLayersButton);
    row->addWidget(FleetBuildButton);
    row->addWidget(FleetSourceLabel, 1);
    closeSource();
    return row;
}

void TFleet::closeSource() {
    source_.close();
    model_->setSource(nullptr);
    FleetGrid->setColumnHidden(FleetModel::Groups, true);
    FleetBuildButton->setEnabled(false);
    FleetLayersButton->setEnabled(false);
    FleetSourceLabel->setText("Источник не открыт");
}

void TFleet::showSource() {
    surveySource(false);
    model_->setSource(&source_);
    FleetGrid->setColumnHidden(FleetModel::Groups, false);
    FleetBuildButton->setEnabled(true);
    FleetLayersButton->setEnabled(true);
    FleetSourceLabel->setText(QString("Источник: %1 (терминалов: %2)")
                                  .arg(QDir::toNativeSeparators(source_.folder()))
                                  .arg(source_.source().devices.size()));
    buildLayersMenu();
}

void TFleet::buildLayersMenu() {
    QMenu* menu = FleetLayersButton->menu();
    menu->clear();
    const QDir source(source_.folder());
    for (const QString& path : source_.layerPaths()) {
        const QString file = source.relativeFilePath(path);
        QAction* a = menu->addAction(file);
        a->setObjectName("FleetLayer_" + file);
        connect(a, &QAction::triggered, this, [this, path] { emit openRequested(path); });
    }
}

void TFleet::surveySource(bool quiet) {
    if (!source_.isOpen()) return;
    QString message;
    if (!source_.survey(model_->folder(), message) && !quiet)
        prompts::warn(this, "Ошибка", message);
    model_->layersChanged();
    updateStatus();  // the files marked count among those with findings
}

void TFleet::FleetOpenSourceClick() {
    if (model_->folder().isEmpty()) {
        prompts::inform(this, "Информация",
                        "Папка TFTP не открыта: источник собирает открытую папку.");
        return;
    }
    const QString start =
        source_.isOpen() ? source_.folder() : QFileInfo(model_->folder()).absolutePath();
    const QString dir = prompts::folder(this, "Открыть источник", start);
    if (dir.isEmpty()) return;
    QString message;
    if (!source_.open(QDir(dir).absolutePath(), model_->folder(), message)) {
        prompts::warn(this, "Ошибка", message);
        return;
    }
    showSource();
}

void TFleet::sourceSaved() {
    QString message;
    if (!source_.reload(model_->folder(), message)) {
        prompts::warn(this, "Ошибка", message + "\nПоказаны слои, прочитанные раньше.");
        return;
    }
    showSource();
    buildSource(true);
}

void TFleet::FleetBuildClick() {
    buildSource(false);
}

namespace {

// A line's status, in a column of its own.
QString statusColumn(Status status) {
    return statusText(status).leftJustified(17);
}

struct PlanText {
    QString text;
    int toWrite = 0;    // files written
    int terminals = 0;  // of them, terminals' files
    int drifts = 0;     // of them, edited by hand since the last build or written by none
};

void appendDrift(PlanText& out, const fl::Target& t, const Built& b) {
    out.text += statusColumn(Status::Drift) + qs(t.file) +
                (b.foreign ? " (записан не сборкой)" : "") +
                "\n    будет перезаписан; строки «-» — сейчас в файле, «+» — после сборки:\n";
    const QString lines = qs(b.lines);
    for (const QString& line : lines.split('\n', Qt::SkipEmptyParts))
        out.text += "    " + line + "\n";
    if (lines.isEmpty()) out.text += "    (те же параметры, другие байты)\n";
}

// Each target of the plan with what changes in it, then the orphans; `changesOnly`: the files
// that stay as they are only counted.
PlanText planText(const BuildPlan& plan, bool changesOnly) {
    PlanText out;
    out.text = sourceRefusals(plan.write.refusals, plan.write.moreRefusals);
    if (!out.text.isEmpty()) out.text += "\n";
    int same = 0;
    for (std::size_t k = 0; k < plan.write.targets.size(); ++k) {
        const fl::Target& t = plan.write.targets[k];
        const Built& b = plan.built[k];
        if (b.status == Status::Same) {
            ++same;
            if (!changesOnly) out.text += statusColumn(b.status) + qs(t.file) + "\n";
            continue;
        }
        ++out.toWrite;
        out.terminals += t.row > 0 ? 1 : 0;
        if (b.status == Status::Drift) {
            ++out.drifts;
            appendDrift(out, t, b);
            continue;
        }
        out.text += statusColumn(b.status) + qs(t.file) + "\n" +
                    diffLines(t.old.value_or(std::string()), t.bytes);
    }
    if (changesOnly && same > 0) out.text += QString("без изменений: файлов %1\n").arg(same);
    for (const Orphan& o : plan.orphans)
        out.text += statusColumn(Status::Orphan) + qs(o.file) +
                    " — ни одна строка devices.csv его не собирает; файл не удаляется\n";
    return out;
}

QString planSummary(const BuildPlan& plan, const PlanText& t, bool saved) {
    if (!plan.write.refusals.empty() || plan.write.moreRefusals > 0)
        return QString("Сборка невозможна: ничего не будет записано (отказов: %1).")
            .arg(plan.write.refusals.size() + plan.write.moreRefusals);
    QString s = saved ? QString("Изменятся файлы терминалов: %1.").arg(t.terminals)
                      : QString("Будет записано файлов: %1.").arg(t.toWrite);
    if (saved && t.toWrite > t.terminals) s += " Изменится и default.cfg.";
    if (t.drifts > 0)
        s += QString(
                 " Изменены вручную после последней сборки: %1 — перед записью будет "
                 "задан вопрос.")
                 .arg(t.drifts);
    if (!plan.orphans.empty())
        s += QString(" Лишних файлов: %1 (не удаляются).").arg(plan.orphans.size());
    return s;
}

}  // namespace

void TFleet::buildSource(bool saved) {
    if (!source_.isOpen()) return;
    QString message;
    const auto manifest = source_.manifest(message);
    if (!manifest) return prompts::warn(this, "Ошибка", message);
    // Drift is shown and written only once the user chose to overwrite it (overwriteDrift).
    BuildOptions options;
    options.force = true;
    const BuildPlan plan = planBuild(source_.source(), model_->folder().toStdString(), *manifest,
                                     readBounded, options);
    const PlanText text = planText(plan, saved);
    const bool refused = !plan.write.refusals.empty() || plan.write.moreRefusals > 0;
    if (saved && !refused && text.toWrite == 0) return;  // the saved layer changes no file
    const bool writable = !refused && (text.toWrite > 0 || plan.manifestChanged);
    if (!confirm(planSummary(plan, text, saved), text.text, writable, "FSOURCE",
                 saved ? "Собрать" : "Записать"))
        return;
    if (text.drifts > 0 && !overwriteDrift(plan)) return;
    writeBuilt(plan, text.toWrite);
}

bool TFleet::overwriteDrift(const BuildPlan& plan) {
    QString files;
    for (std::size_t k = 0; k < plan.built.size(); ++k)
        if (plan.built[k].status == Status::Drift) files += "\n" + qs(plan.write.targets[k].file);
    return prompts::ask(this, "Сборка",
                        "Эти файлы изменены вручную после последней сборки (или записаны не "
                        "сборкой). Сборка перезапишет их, и изменения пропадут:" +
                            files,
                        {"Перезаписать", "Отмена"}) == 0;
}

void TFleet::writeBuilt(const BuildPlan& plan, int toWrite) {
    const BuildWriters writers{
        replaceAsPlanned, replaceAsPlanned,
        [](const std::string& path, std::string_view bytes, std::string& error) {
            fileio::Error e;
            if (fileio::replaceFile(path, bytes, e)) return true;
            error = fileio::russianReason(e);
            return false;
        }};
    std::string error;
    const bool ok = writeBuild(plan, model_->folder().toStdString(), source_.folder().toStdString(),
                               readBounded, writers, error);
    for (const fl::Target& t : plan.write.targets) watcher_->markDirty(qs(t.file));
    refreshNow();
    if (!ok) {
        prompts::warn(this, "Ошибка", "Сборка не выполнена.\n" + qs(error));
        return;
    }
    prompts::inform(this, "Информация", QString("Собрано файлов: %1").arg(toWrite));
}
