// The fleet window's tables: an import with an optional template, shown before it is
// written, and an export in either form of CSV.
#include <QDir>
#include <QFileDialog>

#include "fileio/fileio.h"
#include "forms/Fleet/fleettexts.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/Fleet/folderwatcher.h"
#include "forms/prompts.h"
#include "forms/qtext.h"
#include "model/fleet_disk.h"
#include "model/reader.h"
#include "model/review.h"

using namespace orbex;
using namespace fleettexts;
namespace fl = orbex::fleet;

namespace {

// The preview of an import: its refusals, then each row's file and what changes in it.
QString importText(const fl::ImportPlan& plan, int& toWrite) {
    QString text;
    for (const fl::Refusal& r : plan.refusals) {
        text += qs(fl::placeText(r, kRussianPlace)) + ": " + refusalText(r) + "\n";
    }
    if (plan.moreRefusals > 0) text += QString("и ещё отказов: %1\n").arg(plan.moreRefusals);
    if (!plan.refusals.empty()) text += "\n";
    toWrite = 0;
    for (const fl::Target& t : plan.targets) {
        switch (t.status) {
            case fl::Status::New:
                ++toWrite;
                text += "новый        " + qs(t.file) + "\n" + diffLines({}, t.bytes);
                break;
            case fl::Status::Changed:
                ++toWrite;
                text += "изменится    " + qs(t.file) + "\n" + diffLines(*t.old, t.bytes);
                break;
            case fl::Status::Same:
                text += "без изменений " + qs(t.file) + "\n";
                break;
        }
    }
    return text;
}

}  // namespace

bool TFleet::askTemplate(std::optional<MemoryStore>& base, QString& note) {
    const int answer = prompts::ask(
        this, "Импорт CSV",
        "Новые файлы можно создать по шаблону: файлу конфигурации, чьи параметры получит каждая "
        "строка таблицы, кроме заданных в ней. Без шаблона новый файл получает только "
        "параметры из таблицы.",
        {"Без шаблона", "Выбрать шаблон...", "Отмена"});
    if (answer == 0) return true;
    if (answer != 1) return false;
    const QString path =
        prompts::filePath(fileDialog(templateDialog_, "FleetTemplateDialog", "Шаблон для импорта",
                                     "Файлы конфигурации (*.cfg);;Все файлы (*)", false));
    if (path.isEmpty()) return false;
    std::string error;
    const auto bytes = readBounded(path.toStdString(), error);
    if (!bytes) {
        prompts::warn(this, "Ошибка", "Невозможно открыть файл!\n" + path + "\n" + qs(error));
        return false;
    }
    base.emplace();
    readConfig(*bytes, *base);
    QStringList reset;
    BuildReviewTable(*base, [&](Id id) { reset << qs(param(id).key); });
    note = "Шаблон: " + QDir::toNativeSeparators(path) + "\n";
    if (!reset.isEmpty())
        note += "В шаблоне сброшены неверные значения: " + reset.join(", ") + "\n";
    note += "\n";
    return true;
}

void TFleet::FleetImportClick() {
    const QString path =
        prompts::filePath(fileDialog(importDialog_, "FleetImportDialog", "Импорт CSV",
                                     "Таблицы CSV (*.csv);;Все файлы (*)", false));
    if (path.isEmpty()) return;
    fileio::Error e;
    const auto csv = fileio::readFile(path.toStdString(), e);
    if (!csv) {
        const QString why = e.kind == fileio::Kind::TooLarge
                                ? "файл больше " + qs(fileio::inputLimitText(true)) +
                                      ": слишком большая таблица для импорта"
                                : qs(fileio::russianReason(e));
        prompts::warn(this, "Ошибка", "Невозможно открыть файл!\n" + path + "\n" + why);
        return;
    }
    std::optional<MemoryStore> base;
    QString note;
    if (!askTemplate(base, note)) return;
    const std::string dir = model_->folder().toStdString();
    fl::ImportOptions options;
    options.force = true;  // the preview shows every file that changes before it is written
    options.base = base ? &*base : nullptr;
    const fl::ImportPlan plan = fl::planImport(*csv, dir, readBounded, options);
    int toWrite = 0;
    const QString text = note + importText(plan, toWrite);
    const QString summary =
        !plan.refusals.empty()
            ? QString("Импорт невозможен: ничего не будет записано (отказов: %1).")
                  .arg(plan.refusals.size() + plan.moreRefusals)
            : QString("Строк: %1, будет записано файлов: %2.")
                  .arg(plan.targets.size())
                  .arg(toWrite);
    if (!confirm(summary, text, plan.refusals.empty() && toWrite > 0, "FIMPORT")) return;

    std::string error;
    const bool ok = fl::writeImport(plan, dir, replaceAsPlanned, replaceAsPlanned, error);
    for (const fl::Target& t : plan.targets) watcher_->markDirty(qs(t.file));
    refreshNow();
    if (!ok) {
        prompts::warn(this, "Ошибка",
                      "Импорт не выполнен, записанные файлы возвращены как были.\n" + qs(error));
        return;
    }
    prompts::inform(this, "Информация", QString("Записано файлов: %1").arg(toWrite));
}

namespace {

// The export dialog's filters: the first the default, the second what a Russian spreadsheet
// opens in columns.
const QString kRfcFilter = "Таблицы CSV, RFC 4180: через запятую (*.csv)";
const QString kExcelFilter = "Таблицы CSV для Excel: через точку с запятой (*.csv)";

}  // namespace

void TFleet::FleetExportClick() {
    // A file that cannot be read would be an empty row, and importing it would empty the file:
    // as with orbcfg-cli export, nothing is exported then.
    const std::vector<fl::Record> records = model_->records();
    for (const fl::Record& r : records) {
        if (r.error.empty()) continue;
        prompts::warn(this, "Ошибка",
                      "Невозможно открыть файл!\n" + pathOf(r.file) + "\n" + qs(r.error) +
                          "\nЭкспорт не выполнен.");
        return;
    }
    QFileDialog* dialog = fileDialog(exportDialog_, "FleetExportDialog", "Экспорт CSV",
                                     kRfcFilter + ";;" + kExcelFilter, true);
    dialog->setDefaultSuffix("csv");
    const QString path = prompts::filePath(dialog);
    if (path.isEmpty()) return;
    const bool excel = dialog->selectedNameFilter() == kExcelFilter;
    const std::string csv =
        fl::exportCsv(records, excel ? fl::CsvStyle::Excel : fl::CsvStyle::Rfc4180);
    // A new table is no more open than the files it is made from, and private when it holds a
    // password, as orbcfg-cli export makes it.
    const std::size_t secrets = fl::secretCells(records);
    const std::string dir = model_->folder().toStdString();
    std::vector<std::string> sources;
    sources.reserve(records.size());
    for (const fl::Record& r : records) sources.push_back(fl::pathInFolder(dir, r.file));
    fileio::ReplaceOptions options;
    options.newFileMode = fileio::newFileMode(sources, secrets > 0);
    fileio::Error e;
    if (!fileio::replaceFile(path.toStdString(), csv, e, options)) {
        prompts::warn(this, "Ошибка",
                      "Файл не сохранен!\n" + path + "\n" + qs(fileio::russianReason(e)));
        return;
    }
    QString saved = "Таблица парка сохранена в файл\n" + path;
    if (secrets > 0) saved += QString("\nПаролей в таблице: %1").arg(secrets);
    prompts::inform(this, "Информация", saved);
}
