#include "forms/Fleet/fleetwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "fileio/fileio.h"
#include "forms/Conf/pages.h"
#include "forms/Conf/setup.h"
#include "forms/prompts.h"
#include "forms/qtext.h"
#include "model/mac.h"

using namespace orbex;
namespace fl = orbex::fleet;

namespace {

// The buttons at the foot of a dialog, at its right: `caption` accepts it, "Отмена" rejects
// it. Returns the first.
QPushButton* footButtons(QDialog* dialog, QBoxLayout* layout, const QString& caption,
                         const char* acceptName, const char* cancelName) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* accept = new QPushButton(caption);
    accept->setObjectName(acceptName);
    QObject::connect(accept, &QPushButton::clicked, dialog, &QDialog::accept);
    auto* cancel = new QPushButton("Отмена");
    cancel->setObjectName(cancelName);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    buttons->addWidget(accept);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    return accept;
}

// Files are read by the file library, within its bound; the reason in Russian.
std::optional<std::string> readBounded(const std::string& path, std::string& error) {
    fileio::Error e;
    auto bytes = fileio::readFile(path, e, fileio::kInputLimit, fileio::Accept::Regular);
    if (!bytes) error = fileio::russianReason(e);
    return bytes;
}

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

QString kindText(const fl::Record& r) {
    switch (r.name.kind) {
        case fl::FileKind::Mac:
            return "MAC";
        case fl::FileKind::Common:
            return "общий";
        case fl::FileKind::Name:
            break;
    }
    return "имя";
}

QString codeText(std::string_view code) {
    if (code == fl::code::kIgnoredLine) return "строка не читается";
    if (code == fl::code::kResetValue) return "значение сбросится при сохранении";
    if (code == fl::code::kDuplicateMac) return "MAC-адрес назван дважды";
    if (code == fl::code::kDuplicateIp) return "IP-адрес задан и в другом файле";
    if (code == fl::code::kDuplicateName) return "имя компьютера задано и в другом файле";
    if (code == fl::code::kBadMacName) return "имя с ^, но не MAC-адрес";
    return qs(code);
}

QString findingText(const fl::Finding& f) {
    QString place = f.line > 0 ? QString("строка %1").arg(f.line) : QString("файл");
    if (!f.key.empty()) place += ", " + qs(f.key);
    return place + " — " + codeText(f.code) + " (" + qs(f.code) + "): " + qs(f.message);
}

bool byFileThenLine(const fl::Finding& a, const fl::Finding& b) {
    return a.line < b.line;
}

// A parameter's value as the preview shows it: the lines of `orbcfg-cli diff`.
QString diffLines(const std::string& before, const std::string& after) {
    QString out;
    const auto ignore = [](Id) {};  // the findings show what the review resets
    for (const fl::Difference& d :
         fl::diff(fl::settingsOf(before, ignore), fl::settingsOf(after, ignore))) {
        const QString key = qs(param(d.id).key);
        if (d.a) out += "    -" + key + "='" + qs(*d.a) + "'\n";
        if (d.b) out += "    +" + key + "='" + qs(*d.b) + "'\n";
    }
    return out;
}

}  // namespace

// --- The table.

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

    // Each file's time and size before it is read: a change after that is read again.
    auto result = std::make_shared<std::vector<Row>>();
    reader_ = QThread::create([result, dir, files = std::move(*files)]() mutable {
        result->resize(files.size());
        const QDir folder(dir);
        for (std::size_t i = 0; i < files.size(); ++i) {
            const Stamp stamp = stampOf(folder.filePath(qs(files[i])));
            (*result)[i].stamp = stamp.time;
            (*result)[i].size = stamp.size;
        }
        fl::Options options;
        options.settings = true;
        std::string error;
        auto fleet = fl::load(dir.toStdString(), readBounded, options, error);
        if (!fleet) return;
        // The folder may have changed since it was listed: rows by name.
        std::vector<Row> rows(fleet->records.size());
        std::size_t j = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].record = std::move(fleet->records[i]);
            while (j < files.size() && files[j] < rows[i].record.file) ++j;
            if (j < files.size() && files[j] == rows[i].record.file) {
                rows[i].stamp = (*result)[j].stamp;
                rows[i].size = (*result)[j].size;
            }
        }
        *result = std::move(rows);
    });
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
        while (j + 1 < n && changed[std::size_t(j + 1)]) ++j;
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
    for (fl::Finding& f : fl::crossFindings(records).findings) {
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
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Row& r) {
        return !r.findings.empty() || !r.record.error.empty();
    }));
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
        case Findings: {
            const auto problems = row.findings.size() + (r.error.empty() ? 0 : 1);
            return problems ? QString::number(problems) : QString();
        }
        default:
            break;
    }
    const std::string* value = fl::valueOf(r.settings, *keyOf(column));
    if (value == nullptr) return QString();
    return value->empty() ? QString("''") : qs(*value);
}

QVariant FleetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[std::size_t(index.row())];
    const fl::Record& r = row.record;
    const int column = index.column();
    const auto key = keyOf(column);
    const std::string* value = key ? fl::valueOf(r.settings, *key) : nullptr;
    // A value departs when the common file keeps the parameter otherwise (the common file
    // itself, and files that cannot be read, depart from nothing). Each terminal's own name
    // and address depart only from a common file that sets them.
    const auto departs = [&] {
        if (!key || !hasCommon_ || r.name.kind == fl::FileKind::Common || !r.error.empty())
            return false;
        const std::string* common = fl::valueOf(common_, *key);
        if (column < Keys && common == nullptr) return false;
        return (common == nullptr) != (value == nullptr) || (common && *common != *value);
    };
    const int problems = static_cast<int>(row.findings.size()) + (r.error.empty() ? 0 : 1);

    switch (role) {
        case Qt::DisplayRole:
        case kSortRole:
            if (role == kSortRole && column == Findings) return problems;
            return text(row, column);
        case Qt::ToolTipRole: {
            if (column == File || column == Findings) {
                QStringList lines;
                if (!r.error.empty()) lines << "Файл не читается: " + qs(r.error);
                for (const fl::Finding& f : row.findings) lines << findingText(f);
                if (lines.isEmpty()) return column == File ? qs(r.file) : QVariant();
                return qs(r.file) + "\n" + lines.join("\n");
            }
            if (!key) return {};
            QString tip = qs(param(*key).key);
            if (departs()) {
                const std::string* common = fl::valueOf(common_, *key);
                tip += common ? "\nВ default.cfg: '" + qs(*common) + "'"
                              : QString("\nВ default.cfg не задан");
            }
            return tip;
        }
        case Qt::FontRole:
            if (departs()) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::ForegroundRole:
            if (departs()) return QColor(0, 0, 160);
            if (column == Findings && problems) return QColor(176, 0, 0);
            return {};
        case Qt::DecorationRole:
            if (column == File && problems)
                return QApplication::style()->standardIcon(
                    r.error.empty() ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxCritical);
            return {};
        case kDepartsRole:
            return departs();
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
        default:
            break;
    }
    const auto key = keyOf(section);
    if (!key) return {};
    const Param& p = param(*key);
    if (role == Qt::ToolTipRole) return qs(p.caption).trimmed();
    return qs(p.key);
}

// --- The table as shown.

FleetProxy::FleetProxy(FleetModel* model, QObject* parent)
    : QSortFilterProxyModel(parent), model_(model) {
    setSourceModel(model);
    setSortRole(FleetModel::kSortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
}

void FleetProxy::setSearch(const QString& text) {
    QString folded = text.toCaseFolded();
    if (folded == search_) return;
    search_ = std::move(folded);
    // Filtered and sorted anew, the table laid out once: filtering the rows shown would tell
    // the view of every run of rows that goes, each costing a walk over all rows.
    invalidate();
}

bool FleetProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (left.column() == FleetModel::Findings) return QSortFilterProxyModel::lessThan(left, right);
    return model_->sortText(left.row(), left.column())
               .compare(model_->sortText(right.row(), right.column()), sortCaseSensitivity()) < 0;
}

bool FleetProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    return sourceParent.isValid() || search_.isEmpty() || model_->shows(sourceRow, search_);
}

// --- The bulk edit's rows.

FleetEditor::FleetEditor(QWidget* parent) : QDialog(parent) {
    setObjectName("FleetEditor");
    setWindowTitle("Изменить выбранные файлы");
    auto* layout = new QVBoxLayout(this);
    auto* pick = new QHBoxLayout;
    pick->addWidget(new QLabel("Параметр:"));
    keyList_ = new QComboBox;
    keyList_->setObjectName("FleetEditKey");
    keyList_->setMaxVisibleItems(20);
    for (const PageInfo& page : pages())
        for (Id id : controlOrder()) {
            const Param& p = param(id);
            if (p.page != page.page || p.has(Hidden)) continue;
            QString caption = qs(p.caption).trimmed();
            if (caption.endsWith(':')) caption.chop(1);
            keyList_->addItem(QString("%1: %2 (%3)").arg(page.caption, caption, qs(p.key)), id);
        }
    pick->addWidget(keyList_, 1);
    auto* add = new QPushButton("Добавить");
    add->setObjectName("FleetEditAdd");
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, [this] { addKey(keyList_->currentData().toInt()); });
    pick->addWidget(add);
    layout->addLayout(pick);

    rowsBox_ = new QWidget;
    auto* stack = new QVBoxLayout(rowsBox_);
    rows_ = new QGridLayout;
    rows_->setColumnStretch(3, 1);
    stack->addLayout(rows_);
    stack->addStretch();  // the rows from the top down
    auto* scroll = new QScrollArea;
    scroll->setWidget(rowsBox_);
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(200);
    layout->addWidget(scroll, 1);
    auto* note = new QLabel("Параметр, оставленный «По умолчанию», будет удален из файлов.");
    note->setWordWrap(true);
    layout->addWidget(note);

    footButtons(this, layout, "Далее...", "FleetEditNext", "FleetEditCancel")->setDefault(true);
    resize(560, 360);
}

void FleetEditor::clear() {
    while (QLayoutItem* item = rows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    controls_.clear();
}

void FleetEditor::addKey(Id id) {
    for (const auto& [have, control] : controls_)
        if (have == id) {
            control->setFocus();
            return;
        }
    const Param& p = param(id);
    QWidget* w = controls::make(p, rowsBox_);
    if (!w) return;
    const int row = static_cast<int>(controls_.size());
    auto* label = new QLabel(qs(p.caption), rowsBox_);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setToolTip(qs(p.key));
    auto* d = new QToolButton(rowsBox_);
    d->setText("D");
    d->setObjectName("D_" + qs(p.key));
    d->setToolTip("Установить по умолчанию");
    d->setAutoRaise(true);
    QFont bold = d->font();
    bold.setBold(true);
    d->setFont(bold);
    connect(d, &QToolButton::clicked, w, [w, id] {
        ControlStore row;
        row.add(id, w);
        unset(row, id);
    });
    rows_->addWidget(label, row, 0);
    rows_->addWidget(w, row, 1, Qt::AlignLeft);
    rows_->addWidget(d, row, 2);
    controls_.emplace_back(id, w);
    w->setFocus();
}

std::vector<Change> FleetEditor::changes() const {
    ControlStore rows;
    for (const auto& [id, w] : controls_) rows.add(id, w);
    std::vector<Change> out;
    std::string buffer;
    for (const auto& [id, w] : controls_) {
        Change c{id, std::nullopt};
        if (const auto value = storedValue(rows, id, buffer)) c.value = std::string(*value);
        out.push_back(std::move(c));
    }
    return out;
}

// --- The preview.

FleetPreview::FleetPreview(QWidget* parent) : QDialog(parent) {
    setObjectName("FleetPreview");
    setWindowTitle("Что будет записано");
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel;
    summary_->setObjectName("FleetPreviewSummary");
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    text_ = new QPlainTextEdit;
    text_->setObjectName("FleetPreviewText");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(text_, 1);
    write_ = footButtons(this, layout, "Записать", "FleetPreviewWrite", "FleetPreviewCancel");
    resize(640, 420);
}

void FleetPreview::show(const QString& summary, const QString& text, bool writable) {
    summary_->setText(summary);
    text_->setPlainText(text);
    write_->setEnabled(writable);
    write_->setDefault(writable);
}

QString FleetPreview::text() const {
    return text_->toPlainText();
}

// --- The window.

TFleet::TFleet(TSetup& setup, QWidget* parent) : QWidget(parent, Qt::Window), setup_(setup) {
    setObjectName("Fleet");
    setWindowTitle("Парк терминалов");
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    model_ = new FleetModel(this);
    proxy_ = new FleetProxy(model_, this);

    FleetGrid = new QTableView(this);
    FleetGrid->setObjectName("FleetGrid");
    FleetGrid->setModel(proxy_);
    FleetGrid->setSortingEnabled(true);
    FleetGrid->sortByColumn(FleetModel::File, Qt::AscendingOrder);
    FleetGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    FleetGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FleetGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FleetGrid->setAlternatingRowColors(true);
    FleetGrid->setWordWrap(false);
    FleetGrid->verticalHeader()->setDefaultSectionSize(FleetGrid->fontMetrics().height() + 6);
    FleetGrid->verticalHeader()->hide();
    FleetGrid->horizontalHeader()->setStretchLastSection(true);
    FleetGrid->horizontalHeader()->setDefaultSectionSize(120);
    FleetGrid->setColumnWidth(FleetModel::File, 220);
    FleetGrid->setColumnWidth(FleetModel::Kind, 60);
    FleetGrid->setColumnWidth(FleetModel::Mac, 170);
    FleetGrid->setColumnWidth(FleetModel::Findings, 90);
    connect(FleetGrid, &QTableView::doubleClicked, this, &TFleet::FleetGridDblClick);

    FleetFilter = new QLineEdit(this);
    FleetFilter->setObjectName("FleetFilter");
    FleetFilter->setPlaceholderText("Фильтр по всем столбцам");
    FleetFilter->setClearButtonEnabled(true);
    connect(FleetFilter, &QLineEdit::textChanged, proxy_,
            [this](const QString& text) { proxy_->setSearch(text); });

    FleetColumns = new QToolButton(this);
    FleetColumns->setObjectName("FleetColumns");
    FleetColumns->setText("Столбцы");
    FleetColumns->setToolTip("Добавить или убрать столбцы параметров");
    FleetColumns->setPopupMode(QToolButton::InstantPopup);
    buildColumnMenu();

    FleetWhich = new QLineEdit(this);
    FleetWhich->setObjectName("FleetWhich");
    FleetWhich->setPlaceholderText("MAC-адрес или имя компьютера");
    auto* which = new QPushButton("Какой файл?", this);
    which->setObjectName("FleetWhichButton");
    which->setAutoDefault(false);
    which->setToolTip("Какой файл загрузит терминал с этим MAC-адресом или именем");
    connect(which, &QPushButton::clicked, this, &TFleet::FleetWhichClick);
    connect(FleetWhich, &QLineEdit::returnPressed, this, &TFleet::FleetWhichClick);
    FleetAnswer = new QLabel(this);
    FleetAnswer->setObjectName("FleetAnswer");

    const auto button = [this](const char* name, const QString& caption, const QString& hint,
                               void (TFleet::*slot)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setToolTip(hint);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    QPushButton* edit =
        button("FleetEdit", "Изменить выбранные...",
               "Задать или сбросить параметры во всех выбранных файлах", &TFleet::FleetEditClick);
    QPushButton* import =
        button("FleetImport", "Импорт CSV...", "Создать или изменить файлы по таблице CSV",
               &TFleet::FleetImportClick);
    FleetExportButton =
        button("FleetExport", "Экспорт CSV...", "Сохранить параметры всех файлов в таблицу CSV",
               &TFleet::FleetExportClick);
    FleetStatus = new QLabel(this);
    FleetStatus->setObjectName("FleetStatus");

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Фильтр:", this));
    top->addWidget(FleetFilter, 2);
    top->addWidget(FleetColumns);
    top->addSpacing(16);
    top->addWidget(FleetWhich, 1);
    top->addWidget(which);
    layout->addLayout(top);
    layout->addWidget(FleetAnswer);
    layout->addWidget(FleetGrid, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(FleetStatus, 1);
    bottom->addWidget(edit);
    bottom->addWidget(import);
    bottom->addWidget(FleetExportButton);
    layout->addLayout(bottom);
    resize(1000, 600);

    // Bursts of changes (a copy of many files, an editor's save through a temporary file)
    // are read once, shortly after the last.
    refresh_.setSingleShot(true);
    refresh_.setInterval(150);
    connect(&refresh_, &QTimer::timeout, this, &TFleet::refreshNow);
    // Between batches of watches the table is painted and takes input.
    watchMore_.setInterval(10);
    connect(&watchMore_, &QTimer::timeout, this, &TFleet::watchSome);
    // What changed while the folder was read is read again once the table is painted.
    connect(model_, &FleetModel::loaded, this, [this] {
        updateStatus();
        refresh_.start();
    });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { refresh_.start(); });
}

void TFleet::fileChanged(const QString& path) {
    dirty_.insert(QFileInfo(path).fileName());
    refresh_.start();
}

void TFleet::buildColumnMenu() {
    auto* menu = new QMenu(FleetColumns);
    menu->setObjectName("FleetColumnMenu");
    for (const PageInfo& page : pages()) {
        QMenu* sub = menu->addMenu(page.caption);
        for (Id id : controlOrder()) {
            const Param& p = param(id);
            if (p.page != page.page || p.has(Hidden) || p.key == "MNAME" || p.key == "IP") continue;
            QString caption = qs(p.caption).trimmed();
            if (caption.endsWith(':')) caption.chop(1);
            QAction* a = sub->addAction(QString("%1 (%2)").arg(caption, qs(p.key)));
            a->setObjectName("FleetColumn_" + qs(p.key));
            a->setCheckable(true);
            connect(a, &QAction::toggled, this, [this, id](bool on) {
                std::vector<Id> keys = model_->keys();
                std::erase(keys, id);
                if (on) keys.push_back(id);
                model_->setKeys(keys);
            });
        }
    }
    FleetColumns->setMenu(menu);
}

QString TFleet::pathOf(const std::string& file) const {
    return QDir(model_->folder()).filePath(qs(file));
}

bool TFleet::openFolder(const QString& dir) {
    QString error;
    const QString full = QDir(dir).absolutePath();
    if (!model_->load(full, error)) {
        prompts::warn(this, "Ошибка", "Невозможно открыть папку!\n" + full + "\n" + error);
        return false;
    }
    setWindowTitle("Парк терминалов — " + QDir::toNativeSeparators(full));
    FleetAnswer->clear();
    dirty_.clear();
    qDeleteAll(std::exchange(fileWatchers_, {}));
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    // The files are watched once they are read (refreshNow): watching them meanwhile would
    // slow the reading down, and a change made meanwhile is seen by its time and size.
    watcher_.addPath(full);
    unwatched_.clear();
    updateStatus();
    return true;
}

// A file written in place changes no folder entry: each file is watched too. A file replaced
// by a rename loses its watch and gets it back here. Watching costs some time per file, so a
// large folder is watched a few hundred files at a time between other events.
void TFleet::watchFiles() {
    QSet<QString> watched;
    for (const QFileSystemWatcher* w : fileWatchers_)
        for (const QString& p : w->files()) watched.insert(p);
    unwatched_.clear();
    const QDir folder(model_->folder());
    for (const std::string& f : model_->files())
        if (const QString p = folder.filePath(qs(f)); !watched.contains(p)) unwatched_ << p;
    if (!unwatched_.isEmpty()) watchMore_.start();
}

void TFleet::watchSome() {
    constexpr qsizetype kAtOnce = 500;
    const QStringList some = unwatched_.mid(0, kAtOnce);
    unwatched_.remove(0, std::min(kAtOnce, unwatched_.size()));
    // A watcher looks through all its files for each one added: a thousand files to each
    // keeps that short, a bounded number of watchers keeps to the system's limit on them.
    constexpr qsizetype kEach = 1000;
    constexpr std::size_t kWatchers = 32;
    for (qsizetype done = 0; done < some.size();) {
        QFileSystemWatcher* w = nullptr;
        for (QFileSystemWatcher* have : fileWatchers_)
            if (!w || have->files().size() < w->files().size()) w = have;
        if (!w || (w->files().size() >= kEach && fileWatchers_.size() < kWatchers)) {
            w = fileWatchers_.emplace_back(new QFileSystemWatcher(this));
            connect(w, &QFileSystemWatcher::fileChanged, this, &TFleet::fileChanged);
        }
        const qsizetype n =
            std::max<qsizetype>(1, std::min(some.size() - done, kEach - w->files().size()));
        w->addPaths(some.mid(done, n));
        done += n;
    }
    if (!unwatched_.isEmpty()) return;
    watchMore_.stop();
    // A file written after it was last looked at and before its watch began is seen now.
    refresh_.start();
}

void TFleet::refreshNow() {
    if (model_->folder().isEmpty() || model_->loading()) return;  // again once it is read
    const QSet<QString> dirty = std::exchange(dirty_, {});
    model_->refresh(dirty);
    watchFiles();
    updateStatus();
}

void TFleet::updateStatus() {
    FleetExportButton->setEnabled(!model_->loading());
    if (model_->loading()) {
        FleetStatus->setText(QString("Файлов: %1, чтение...").arg(model_->rowCount()));
        return;
    }
    FleetStatus->setText(QString("Файлов: %1, с замечаниями: %2")
                             .arg(model_->rowCount())
                             .arg(model_->withFindings()));
}

void TFleet::fileSaved(const QString& path) {
    const QFileInfo info(path);
    if (model_->folder().isEmpty() ||
        QDir(info.absolutePath()).canonicalPath() != QDir(model_->folder()).canonicalPath())
        return;
    dirty_.insert(info.fileName());
    refresh_.start();
}

std::vector<std::string> TFleet::selectedFiles() const {
    std::vector<std::string> out;
    for (const QModelIndex& i : FleetGrid->selectionModel()->selectedRows())
        out.push_back(model_->record(proxy_->mapToSource(i).row()).file);
    std::sort(out.begin(), out.end());
    return out;
}

void TFleet::selectFile(const QString& file) {
    const int row = model_->rowOf(file);
    if (row < 0) return;
    QModelIndex at = proxy_->mapFromSource(model_->index(row, 0));
    if (!at.isValid()) {  // hidden by the filter
        FleetFilter->clear();
        at = proxy_->mapFromSource(model_->index(row, 0));
    }
    FleetGrid->selectionModel()->select(
        at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    FleetGrid->setCurrentIndex(at);
    FleetGrid->scrollTo(at);
}

void TFleet::FleetWhichClick() {
    const QString text = FleetWhich->text().trimmed();
    if (text.isEmpty()) {
        FleetAnswer->setText("Введите MAC-адрес или имя компьютера.");
        return;
    }
    std::optional<std::string> mac = parseMac(text.toStdString()), name;
    if (!mac) name = text.toStdString();
    const std::vector<std::string> files = model_->files();
    const auto file = fl::resolve(files, mac, name);
    if (!file) {
        FleetAnswer->setText(QString("Для терминала %1 нет ни своего файла, ни default.cfg: он "
                                     "не получит настроек.")
                                 .arg(text));
        FleetGrid->clearSelection();
        return;
    }
    if (*file == fl::kCommonFile) {
        FleetAnswer->setText(
            QString("Своего файла у терминала %1 нет: он загрузит общий файл default.cfg.")
                .arg(text));
    } else {
        FleetAnswer->setText(QString("Терминал %1 загрузит файл %2.").arg(text, qs(*file)));
    }
    selectFile(qs(*file));
}

void TFleet::FleetGridDblClick(const QModelIndex& index) {
    if (!index.isValid()) return;
    const fl::Record& r = model_->record(proxy_->mapToSource(index).row());
    if (!setup_.openFile(pathOf(r.file))) return;
    setup_.show();
    setup_.raise();
    setup_.activateWindow();
}

void TFleet::FleetEditClick() {
    const std::vector<std::string> files = selectedFiles();
    if (files.empty()) {
        prompts::inform(this, "Информация", "Выберите в таблице файлы, которые нужно изменить.");
        return;
    }
    if (!editor_) editor_ = new FleetEditor(this);
    editor_->clear();
    if (prompts::exec(editor_) != QDialog::Accepted) return;
    const std::vector<Change> changes = editor_->changes();
    if (changes.empty()) return;
    const std::string dir = model_->folder().toStdString();
    const fl::ImportPlan plan = fl::planEdit(dir, files, changes, readBounded);

    QString text;
    int changed = 0;
    for (const fl::Refusal& r : plan.refusals)
        text += qs(r.header) + ": отказ — " + qs(r.reason) + "\n";
    for (const fl::Target& t : plan.targets) {
        if (t.status == fl::Status::Same) {
            text += qs(t.file) + ": без изменений\n";
            continue;
        }
        ++changed;
        text += qs(t.file) + "\n" + diffLines(*t.old, t.bytes);
    }
    const bool writable = plan.refusals.empty() && changed > 0;
    const QString summary =
        !plan.refusals.empty()
            ? QString("Изменение невозможно: ничего не будет записано (отказов: %1).")
                  .arg(plan.refusals.size())
            : QString("Выбрано файлов: %1, изменятся: %2.").arg(files.size()).arg(changed);
    if (!preview_) preview_ = new FleetPreview(this);
    preview_->show(summary, text, writable);
    if (prompts::exec(preview_) != QDialog::Accepted || !writable) return;

    // One file after another, each replaced whole and only while it holds what the preview
    // showed: a file that another program changed or removed meanwhile is skipped and named,
    // the others go on. The first failure stops the rest.
    QString failedPath, failedReason;
    const auto replace = [&](const std::string& path, std::string_view bytes,
                             const std::optional<std::string>& old, std::string& why) {
        fileio::Error e;
        fileio::ReplaceOptions asPlanned;
        asPlanned.expect = old ? fileio::Expected::holding(*old) : fileio::Expected::absent();
        if (fileio::replaceFile(path, bytes, e, asPlanned)) return fl::Replaced::Yes;
        if (e.kind == fileio::Kind::Changed) return fl::Replaced::NotAsPlanned;
        failedPath = QDir::toNativeSeparators(qs(path));
        failedReason = qs(fileio::russianReason(e));
        why = e.message();
        return fl::Replaced::Failed;
    };
    fl::WrittenInOrder done;
    std::string error;
    const bool ok = fl::writeInOrder(plan, dir, replace, done, error);
    for (const std::string& f : done.written) dirty_.insert(qs(f));
    for (const std::string& f : done.skipped) dirty_.insert(qs(f));
    refreshNow();
    QString skipped;
    if (!done.skipped.empty()) {
        skipped = "\nНе записаны: другая программа изменила или удалила их после просмотра:";
        for (const std::string& f : done.skipped) skipped += "\n" + qs(f);
    }
    if (!ok) {
        QString written = "Ни один файл не изменен.";
        if (!done.written.empty()) {
            written = "Уже записаны:";
            for (const std::string& f : done.written) written += "\n" + qs(f);
        }
        prompts::warn(
            this, "Ошибка",
            "Файл не сохранен!\n" + failedPath + "\n" + failedReason + "\n" + written + skipped);
        return;
    }
    const QString count = QString("Изменено файлов: %1").arg(done.written.size());
    if (!skipped.isEmpty()) {
        prompts::warn(this, "Внимание", count + skipped);
        return;
    }
    prompts::inform(this, "Информация", count);
}

// Every file of an import in one batch, as orbcfg-cli import writes them: a new file never
// takes a name that another program took meanwhile, a changed one is replaced only while it
// holds what the preview showed; a put-back only while it holds what was just written.
static bool replaceAsPlanned(std::span<const fl::FileBytes> files, fl::BatchFailure& failure) {
    std::vector<fileio::Replacement> batch;
    batch.reserve(files.size());
    for (const fl::FileBytes& f : files)
        batch.push_back({f.path, f.bytes,
                         f.status == fl::Status::New ? fileio::Expected::absent()
                                                     : fileio::Expected::holding(f.old)});
    fileio::Error e;
    fileio::BatchResult result;
    if (fileio::replaceFiles(batch, e, result)) return true;
    failure.failed = result.failed;
    failure.renamed = result.renamed;
    failure.reason = fileio::russianReason(e);
    return false;
}

void TFleet::FleetImportClick() {
    if (!importDialog_) {
        importDialog_ =
            new QFileDialog(this, "Импорт CSV", QString(), "Таблицы CSV (*.csv);;Все файлы (*)");
        importDialog_->setObjectName("FleetImportDialog");
        importDialog_->setFileMode(QFileDialog::ExistingFile);
        importDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    }
    const QString path = prompts::filePath(importDialog_);
    if (path.isEmpty()) return;
    fileio::Error e;
    const auto csv = fileio::readFile(path.toStdString(), e);
    if (!csv) {
        const QString why = e.kind == fileio::Kind::TooLarge
                                ? QString("файл больше 16 МиБ: слишком большая таблица для импорта")
                                : qs(fileio::russianReason(e));
        prompts::warn(this, "Ошибка", "Невозможно открыть файл!\n" + path + "\n" + why);
        return;
    }
    const std::string dir = model_->folder().toStdString();
    fl::ImportOptions options;
    options.force = true;  // the preview shows every file that changes before it is written
    const fl::ImportPlan plan = fl::planImport(*csv, dir, readBounded, options);

    QString text;
    int toWrite = 0;
    for (const fl::Refusal& r : plan.refusals) {
        QString where = r.row > 0 ? QString("строка %1").arg(r.row) : QString("файл");
        if (r.column > 0) {
            where += QString(", столбец %1").arg(r.column);
            if (!r.header.empty()) where += " (" + qs(r.header) + ")";
        }
        text += where + ": " + qs(r.reason) + "\n";
    }
    if (plan.moreRefusals > 0) text += QString("и ещё отказов: %1\n").arg(plan.moreRefusals);
    if (!plan.refusals.empty()) text += "\n";
    for (const fl::Target& t : plan.targets) {
        switch (t.status) {
            case fl::Status::New:
                ++toWrite;
                text += "новый        " + qs(t.file) + "\n";
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
    const bool writable = plan.refusals.empty() && toWrite > 0;
    const QString summary =
        !plan.refusals.empty()
            ? QString("Импорт невозможен: ничего не будет записано (отказов: %1).")
                  .arg(plan.refusals.size() + plan.moreRefusals)
            : QString("Строк: %1, будет записано файлов: %2.")
                  .arg(plan.targets.size())
                  .arg(toWrite);
    if (!preview_) preview_ = new FleetPreview(this);
    preview_->show(summary, text, writable);
    if (prompts::exec(preview_) != QDialog::Accepted || !writable) return;

    std::string error;
    const bool ok = fl::writeImport(plan, dir, replaceAsPlanned, replaceAsPlanned, error);
    for (const fl::Target& t : plan.targets) dirty_.insert(qs(t.file));
    refreshNow();
    if (!ok) {
        prompts::warn(this, "Ошибка",
                      "Импорт не выполнен, записанные файлы возвращены как были.\n" + qs(error));
        return;
    }
    prompts::inform(this, "Информация", QString("Записано файлов: %1").arg(toWrite));
}

void TFleet::FleetExportClick() {
    if (!exportDialog_) {
        exportDialog_ = new QFileDialog(this, "Экспорт CSV", QString(), "Таблицы CSV (*.csv)");
        exportDialog_->setObjectName("FleetExportDialog");
        exportDialog_->setAcceptMode(QFileDialog::AcceptSave);
        exportDialog_->setDefaultSuffix("csv");
    }
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
    const QString path = prompts::filePath(exportDialog_);
    if (path.isEmpty()) return;
    const std::string csv = fl::exportCsv(records);
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
