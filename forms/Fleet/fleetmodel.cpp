#include "forms/Fleet/fleetmodel.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QStyle>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <memory>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "forms/Fleet/fleetlog.h"
#include "forms/Fleet/fleetsource.h"
#include "forms/Fleet/fleettexts.h"
#include "forms/qtext.h"
#include "model/text.h"

using namespace orbex;
using namespace fleettexts;
namespace fl = orbex::fleet;

namespace {

// A file's time and size as the system has them now, by one lookup of its entry and no
// conversion; a file that is gone has size -1.
struct Stamp {
    qint64 time = 0, size = -1;
};

Stamp stampOf(const QString& path) {
    Stamp s;
#ifdef _WIN32
    namespace fs = std::filesystem;
    const fs::path p(path.toStdU16String());
    std::error_code ec;
    const auto time = fs::last_write_time(p, ec);
    if (ec) return s;
    const auto size = fs::file_size(p, ec);
    if (ec) return s;
    s.time = static_cast<qint64>(time.time_since_epoch().count());
    s.size = static_cast<qint64>(size);
#else
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return s;
    s.time = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.size = qint64(st.st_size);
#endif
    return s;
}

bool byFileThenLine(const fl::Finding& a, const fl::Finding& b) {
    return a.line < b.line;
}

}  // namespace

FleetModel::FleetModel(QObject* parent) : QAbstractTableModel(parent) {}

FleetModel::Row FleetModel::readRow(std::string file) const {
    fl::Options options;
    options.settings = true;
    Row row;
    const Stamp stamp = stampOf(QDir(dir_).filePath(qs(file)));
    row.stamp = stamp.time;
    row.size = stamp.size;
    row.record = fl::loadRecord(dir_.toStdString(), std::move(file), readBounded, options);
    return row;
}

FleetModel::~FleetModel() {
    if (reader_) reader_->wait();
}

bool FleetModel::load(const QString& dir, QString& error) {
    std::string why;
    auto files = fl::listFiles(dir.toStdString(), false, why);
    if (!files) {
        error = qs(why);
        return false;
    }
    if (reader_) {  // a folder still being read: its rows are dropped when it ends
        reader_->disconnect(this);
        connect(reader_, &QThread::finished, reader_, &QObject::deleteLater);
        reader_ = nullptr;
    }
    beginResetModel();
    dir_ = dir;
    rows_.clear();
    rows_.resize(files->size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i].record.file = (*files)[i];
        rows_[i].record.name = fl::classify((*files)[i]);
    }
    hasCommon_ = false;
    common_.clear();
    endResetModel();

    auto result = std::make_shared<std::vector<Row>>();
    reader_ = QThread::create(
        [result, dir, files = std::move(*files)] { *result = readAll(dir, files); });
    QThread* reader = reader_;
    connect(reader_, &QThread::finished, this, [this, reader, result] {
        reader->deleteLater();
        if (reader_ != reader) return;
        reader_ = nullptr;
        finishLoad(std::move(*result));
        emit loaded();
    });
    reader_->start();
    return true;
}

std::vector<FleetModel::Row> FleetModel::readAll(const QString& dir,
                                                 const std::vector<std::string>& files) {
    // Each file's time and size before it is read: a change after that is read again.
    std::vector<Stamp> stamps(files.size());
    const QDir folder(dir);
    for (std::size_t i = 0; i < files.size(); ++i)
        stamps[i] = stampOf(folder.filePath(qs(files[i])));
    fl::Options options;
    options.settings = true;
    std::string error;
    auto fleet = fl::load(dir.toStdString(), readBounded, options, error);
    if (!fleet) return {};
    // The folder may have changed since it was listed: rows by name.
    std::vector<Row> rows(fleet->records.size());
    std::size_t j = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].record = std::move(fleet->records[i]);
        while (j < files.size() && files[j] < rows[i].record.file) ++j;
        if (j < files.size() && files[j] == rows[i].record.file) {
            rows[i].stamp = stamps[j].time;
            rows[i].size = stamps[j].size;
        }
    }
    return rows;
}

void FleetModel::finishLoad(std::vector<Row> rows) {
    const bool same =
        rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(),
                   [](const Row& a, const Row& b) { return a.record.file == b.record.file; });
    if (!same) beginResetModel();
    rows_ = std::move(rows);
    crossCheck();
    if (!same) {
        endResetModel();
    } else if (!rows_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

void FleetModel::refresh(const QSet<QString>& dirty) {
    if (loading()) return;
    std::string why;
    const auto listed = fl::listFiles(dir_.toStdString(), false, why);
    if (!listed) return;  // the folder is gone for now: the rows stay as they were
    // Files gone, from the last row up.
    bool moved = false;  // rows removed or inserted
    for (int i = static_cast<int>(rows_.size()) - 1; i >= 0; --i) {
        if (std::binary_search(listed->begin(), listed->end(), rows_[std::size_t(i)].record.file))
            continue;
        moved = true;
        beginRemoveRows({}, i, i);
        rows_.erase(rows_.begin() + i);
        endRemoveRows();
    }
    // New files in their places, changed ones read again. The files come in the rows' order,
    // so a row's place stays as it is while later ones are inserted.
    std::vector<int> reread;
    const QDir folder(dir_);
    for (const std::string& file : *listed) {
        const auto at =
            std::lower_bound(rows_.begin(), rows_.end(), file,
                             [](const Row& r, const std::string& f) { return r.record.file < f; });
        const int i = static_cast<int>(at - rows_.begin());
        if (at == rows_.end() || at->record.file != file) {
            Row row = readRow(file);
            moved = true;
            beginInsertRows({}, i, i);
            rows_.insert(rows_.begin() + i, std::move(row));
            endInsertRows();
            continue;
        }
        const QString name = qs(file);
        const Stamp stamp = stampOf(folder.filePath(name));
        if (dirty.contains(name) || stamp.time != at->stamp || stamp.size != at->size) {
            *at = readRow(file);
            reread.push_back(i);
        }
    }
    if (!moved && reread.empty()) return;  // the findings across files are as they were
    std::vector<bool> changed(rows_.size());
    for (int i : reread) changed[std::size_t(i)] = true;
    if (crossCheck(&changed)) std::fill(changed.begin(), changed.end(), true);
    // The rows that changed, a run of them at a time: the others keep their place in the
    // sorted and filtered table without being looked at again.
    const int last = columnCount() - 1;
    for (int i = 0, n = rowCount(); i < n; ++i) {
        if (!changed[std::size_t(i)]) continue;
        int j = i;
        while (j + 1 < n && changed[std::size_t(j) + 1]) ++j;
        emit dataChanged(index(i, 0), index(j, last));
        i = j;
    }
}

bool FleetModel::crossCheck(std::vector<bool>* changed) {
    std::vector<fl::Record> records;
    records.reserve(rows_.size());
    const bool hadCommon = hasCommon_;
    fl::Settings common = std::move(common_);
    hasCommon_ = false;
    common_.clear();
    std::vector<std::vector<fl::Finding>> before(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Row& row = rows_[i];
        before[i] = std::move(row.findings);
        row.findings = row.record.findings;
        if (row.record.name.kind == fl::FileKind::Common && row.record.error.empty()) {
            hasCommon_ = true;
            common_ = row.record.settings;
        }
    }
    // crossFindings needs only the names, addresses and computer names of the records.
    for (const Row& row : rows_) {
        fl::Record r;
        r.file = row.record.file;
        r.name = row.record.name;
        r.error = row.record.error;
        r.ip = row.record.ip;
        r.mname = row.record.mname;
        r.ipLine = row.record.ipLine;
        r.mnameLine = row.record.mnameLine;
        records.push_back(std::move(r));
    }
    fl::Cross cross = fl::crossFindings(records);
    groups_ = std::move(cross.groups);
    for (fl::Finding& f : cross.findings) {
        const int i = indexOf(f.file);
        if (i >= 0) rows_[std::size_t(i)].findings.push_back(std::move(f));
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Row& row = rows_[i];
        std::stable_sort(row.findings.begin(), row.findings.end(), byFileThenLine);
        if (row.findings == before[i]) continue;
        row.folded = false;  // the count of findings is shown
        row.sortColumn = -1;
        if (changed) (*changed)[i] = true;
    }
    return hasCommon_ != hadCommon || common_ != common;
}

int FleetModel::rowOf(const QString& file) const {
    return indexOf(file.toStdString());
}

int FleetModel::indexOf(const std::string& f) const {
    const auto at = std::lower_bound(
        rows_.begin(), rows_.end(), f,
        [](const Row& r, const std::string& name) { return r.record.file < name; });
    return at != rows_.end() && at->record.file == f ? static_cast<int>(at - rows_.begin()) : -1;
}

std::vector<std::string> FleetModel::files() const {
    std::vector<std::string> out;
    out.reserve(rows_.size());
    for (const Row& r : rows_) out.push_back(r.record.file);
    return out;
}

std::vector<fl::Record> FleetModel::records() const {
    std::vector<fl::Record> out;
    out.reserve(rows_.size());
    for (const Row& r : rows_) out.push_back(r.record);
    return out;
}

int FleetModel::withFindings() const {
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(),
                                          [this](const Row& r) { return problems(r) > 0; }));
}

bool FleetModel::shows(int row, const QString& folded) const {
    const Row& r = rows_[std::size_t(row)];
    const int columns = columnCount();
    // The cells are joined by line ends: a text holding one is looked for cell by cell.
    if (folded.contains(u'\n')) {
        for (int c = 0; c < columns; ++c)
            if (text(r, c).toCaseFolded().contains(folded)) return true;
        return false;
    }
    if (!r.folded) {
        r.shown.clear();
        for (int c = 0; c < columns; ++c) {
            if (c) r.shown += u'\n';
            r.shown += text(r, c);
        }
        r.shown = std::move(r.shown).toCaseFolded();
        r.folded = true;
    }
    return r.shown.contains(folded);
}

const QString& FleetModel::sortText(int row, int column) const {
    const Row& r = rows_[std::size_t(row)];
    if (r.sortColumn != column) {
        r.sortText = text(r, column);
        r.sortColumn = column;
    }
    return r.sortText;
}

void FleetModel::setLog(const FleetLog* log) {
    log_ = log;
    layersChanged();  // the same cells' texts anew, the columns as they were
}

void FleetModel::setSource(const FleetSource* source) {
    source_ = source;
    layersChanged();
}

void FleetModel::layersChanged() {
    for (const Row& r : rows_) r.folded = false, r.sortColumn = -1;
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

const FleetSource::FileLayers* FleetModel::layersOf(const Row& row) const {
    return source_ ? source_->of(row.record.file) : nullptr;
}

void FleetModel::setKeys(const std::vector<Id>& keys) {
    beginResetModel();
    keys_ = keys;
    for (const Row& r : rows_) r.folded = false, r.sortColumn = -1;
    endResetModel();
}

int FleetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FleetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Keys + static_cast<int>(keys_.size());
}

std::optional<Id> FleetModel::keyOf(int column) const {
    if (column == Name) return idOf("MNAME");
    if (column == Ip) return idOf("IP");
    if (column >= Keys) return keys_[std::size_t(column - Keys)];
    return std::nullopt;
}

QString FleetModel::text(const Row& row, int column) const {
    const fl::Record& r = row.record;
    switch (column) {
        case File:
            return qs(r.file);
        case Kind:
            return kindText(r);
        case Mac:
            return qs(r.name.mac);
        case Findings:
            return findingNames(row);
        case Requested:
            return requestedText(row);
        case By: {
            const auto* use = log_ ? log_->use(r.file) : nullptr;
            return use && use->lastAsked ? qs(text::printable(use->lastAddress)) : QString();
        }
        case Groups: {
            const auto* layers = layersOf(row);
            return layers ? layers->groups : QString();
        }
        default:
            break;
    }
    const std::string* value = fl::valueOf(r.settings, *keyOf(column));
    if (value == nullptr) return QString();
    return value->empty() ? QString("''") : qs(*value);
}

QString FleetModel::findingNames(const Row& row) const {
    QStringList names;
    if (!row.record.error.empty()) names << kUnreadable;
    for (std::string_view code : kFindingCodes) {
        const auto n = std::count_if(row.findings.begin(), row.findings.end(),
                                     [&](const fl::Finding& f) { return f.code == code; });
        if (n == 1) names << shortName(code);
        if (n > 1) names << QString("%1 (%2)").arg(shortName(code)).arg(n);
    }
    if (const auto* layers = layersOf(row)) {
        if (layers->drift) names << kDrift;
        if (layers->orphan) names << kOrphan;
    }
    return names.join(", ");
}

QString FleetModel::requestedText(const Row& row) const {
    const auto* use = log_ ? log_->use(row.record.file) : nullptr;
    if (!use) return {};
    if (use->neverFetched) return "не запрашивался";
    if (!use->lastAsked) return {};
    QString text = qs(orbex::tftplog::timeText(*use->lastAsked));
    if (use->lastOutcome != orbex::tftplog::Outcome::Served)
        text += ", " + outcomeText(use->lastOutcome);
    return text;
}

QVariant FleetModel::requestedTip(const Row& row) const {
    const auto* use = log_ ? log_->use(row.record.file) : nullptr;
    if (!use) return log_ ? QVariant("Журнал TFTP не называет этот файл") : QVariant();
    QStringList lines;
    if (use->neverFetched)
        lines << "Ни один терминал не запрашивал этот файл за время журнала";
    else if (use->lastAsked)
        lines << "Последний запрос: " + qs(orbex::tftplog::timeText(*use->lastAsked)) + ", " +
                     qs(text::printable(use->lastAddress)) + ", " + outcomeText(use->lastOutcome);
    for (const auto& f : use->fellBack) {
        lines << "Не получил этот файл: " +
                     (f.address.empty() ? QString("терминал") : qs(text::printable(f.address))) +
                     " (MAC " + qs(f.mac) + "), получил " +
                     (f.got.empty() ? QString("ничего") : qs(text::escapedName(f.got)));
    }
    if (use->findings > 0)
        lines << QString("Отправлен с замечаниями проверки: %1").arg(use->findings);
    return lines.join("\n");
}

bool FleetModel::logFlagged(const Row& row) const {
    const auto* use = log_ ? log_->use(row.record.file) : nullptr;
    return use && (use->neverFetched || !use->fellBack.empty());
}

bool FleetModel::hasFinding(int row, std::string_view code) const {
    const Row& r = rows_[std::size_t(row)];
    if (code == kUnreadable) return !r.record.error.empty();
    if (code == kNeverFetched || code == kFellBack) {
        const auto* use = log_ ? log_->use(r.record.file) : nullptr;
        if (!use) return false;
        return code == kNeverFetched ? use->neverFetched : !use->fellBack.empty();
    }
    const auto* layers = layersOf(r);
    if (code == kDrift) return layers && layers->drift;
    if (code == kOrphan) return layers && layers->orphan;
    if (code.empty()) return problems(r) > 0;
    return std::any_of(r.findings.begin(), r.findings.end(),
                       [&](const fl::Finding& f) { return f.code == code; });
}

QString FleetModel::othersOf(const Row& row, const fl::Finding& f) const {
    if (f.group >= groups_.size()) return {};
    QStringList names;
    std::size_t others = 0;
    for (std::size_t i : groups_[f.group]) {
        if (i >= rows_.size() || rows_[i].record.file == row.record.file) continue;
        ++others;
        if (names.size() < static_cast<qsizetype>(fl::kNamedOthers))
            names << qs(rows_[i].record.file);
    }
    QString text = names.join(", ");
    if (others > std::size_t(names.size()))
        text += QString(" и ещё %1").arg(others - std::size_t(names.size()));
    return text;
}

int FleetModel::problems(const Row& row) const {
    const auto* layers = layersOf(row);
    const int marks = layers ? int(layers->drift) + int(layers->orphan) : 0;
    return static_cast<int>(row.findings.size()) + (row.record.error.empty() ? 0 : 1) + marks;
}

bool FleetModel::departs(const Row& row, int column) const {
    // A value departs when the common file keeps the parameter otherwise (the common file
    // itself, and files that cannot be read, depart from nothing). Each terminal's own name
    // and address depart only from a common file that sets them.
    const fl::Record& r = row.record;
    const auto key = keyOf(column);
    if (!key || !hasCommon_ || r.name.kind == fl::FileKind::Common || !r.error.empty())
        return false;
    const std::string* value = fl::valueOf(r.settings, *key);
    const std::string* common = fl::valueOf(common_, *key);
    if (column < Keys && common == nullptr) return false;
    return (common == nullptr) != (value == nullptr) || (common && *common != *value);
}

QVariant FleetModel::toolTip(const Row& row, int column) const {
    const fl::Record& r = row.record;
    if (column == File || column == Findings) {
        QStringList lines;
        if (!r.error.empty()) lines << "Файл не читается: " + qs(r.error);
        if (const auto* layers = layersOf(row)) {
            if (layers->drift)
                lines << QString(kDrift) +
                             ": файл отличается от записанного "
                             "последней сборкой";
            if (layers->orphan)
                lines << QString(kOrphan) +
                             ": ни одна строка devices.csv не "
                             "собирает этот файл";
        }
        for (const fl::Finding& f : row.findings) lines << findingText(f, othersOf(row, f));
        if (lines.isEmpty()) return column == File ? qs(r.file) : QVariant();
        return qs(r.file) + "\n" + lines.join("\n");
    }
    if (column == Requested || column == By) return requestedTip(row);
    const auto key = keyOf(column);
    if (!key) return {};
    QString tip = qs(param(*key).key);
    if (departs(row, column)) {
        const std::string* common = fl::valueOf(common_, *key);
        tip +=
            common ? "\nВ default.cfg: '" + qs(*common) + "'" : QString("\nВ default.cfg не задан");
    }
    if (const auto* layers = layersOf(row))
        if (const auto* e = FleetSource::cell(*layers, *key)) tip += "\n" + source_->cellTip(*e);
    return tip;
}

QVariant FleetModel::font(const Row& row, int column) const {
    // A built file's cell by its layer: the terminal's own value bold, a group's italic, the
    // common one's plain; without a source, a value departing from default.cfg bold.
    const auto* layers = layersOf(row);
    const auto key = keyOf(column);
    if (layers && layers->device) {
        const auto* e = key ? FleetSource::cell(*layers, *key) : nullptr;
        if (!e || e->layer.kind == orbex::layers::LayerRef::Kind::Common) return {};
        QFont f;
        f.setBold(e->layer.kind == orbex::layers::LayerRef::Kind::Device);
        f.setItalic(e->layer.kind == orbex::layers::LayerRef::Kind::Group);
        return f;
    }
    if (!departs(row, column)) return {};
    QFont bold;
    bold.setBold(true);
    return bold;
}

QVariant FleetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[std::size_t(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return text(row, column);
        case kSortRole:
            if (column == Findings) return problems(row);
            return text(row, column);
        case Qt::ToolTipRole:
            return toolTip(row, column);
        case Qt::FontRole:
            return font(row, column);
        case Qt::BackgroundRole: {
            const auto* layers = layersOf(row);
            if (layers && layers->drift) return QColor(255, 226, 196);
            return {};
        }
        case Qt::ForegroundRole:
            if (departs(row, column)) return QColor(0, 0, 160);
            if (column == Findings && problems(row)) return QColor(176, 0, 0);
            if (column == Requested && logFlagged(row)) return QColor(176, 0, 0);
            return {};
        case Qt::DecorationRole:
            if (column == File && problems(row))
                return QApplication::style()->standardIcon(row.record.error.empty()
                                                               ? QStyle::SP_MessageBoxWarning
                                                               : QStyle::SP_MessageBoxCritical);
            return {};
        case kDepartsRole:
            return departs(row, column);
        default:
            return {};
    }
}

QVariant FleetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (section) {
        case File:
            return "Файл";
        case Kind:
            return role == Qt::ToolTipRole
                       ? "Чей файл: по MAC-адресу, по имени компьютера или общий"
                       : "Вид";
        case Mac:
            return "MAC";
        case Findings:
            return role == Qt::ToolTipRole ? "Замечания проверки (orbcfg-cli lint)" : "Замечания";
        case Requested:
            return role == Qt::ToolTipRole
                       ? "Когда терминал последний раз запросил файл (по журналу "
                         "TFTP-сервера)"
                       : "Запрошен";
        case By:
            return role == Qt::ToolTipRole ? "Адрес терминала, запросившего файл последним" : "Кем";
        case Groups:
            return role == Qt::ToolTipRole ? "Группы терминала в источнике, по порядку: "
                                             "последняя перекрывает предыдущие"
                                           : "Группы";
        default:
            break;
    }
    const auto key = keyOf(section);
    if (!key) return {};
    const Param& p = param(*key);
    if (role == Qt::ToolTipRole) return qs(p.caption).trimmed();
    return qs(p.key);
}
