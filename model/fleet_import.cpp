#include "model/fleet.h"

#include <algorithm>
#include <array>
#include <deque>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "model/checks.h"
#include "model/csv.h"
#include "model/edit.h"
#include "model/fleet_common.h"
#include "model/fleet_rows.h"
#include "model/mac.h"
#include "model/parallel.h"
#include "model/reader.h"
#include "model/writer.h"

namespace orbex::fleet {

using namespace detail;

namespace {

// Rows of an import made into files at a time: enough for every thread that readerThreads
// gives, few enough that their cells are not held long.
constexpr std::size_t kBatch = 256 * kReaders;

}  // namespace

std::string_view statusName(Status s) {
    switch (s) {
        case Status::New:
            return "new";
        case Status::Changed:
            return "changed";
        case Status::Same:
            break;
    }
    return "same";
}

std::string placeText(const Refusal& refusal, const PlaceWords& words) {
    std::string place(refusal.row > 0 ? std::string(words.row) + std::to_string(refusal.row)
                                      : std::string(words.wholeFile));
    if (refusal.column > 0) {
        place += words.column;
        place += std::to_string(refusal.column);
        if (!refusal.header.empty()) place += " (" + refusal.header + ")";
    }
    return place;
}

namespace {

// The reasons that name nothing but what they are.
std::string_view plainReason(RefusalCode code) {
    switch (code) {
        case RefusalCode::UnclosedQuote:
            return "a quoted field is not closed";
        case RefusalCode::TextAfterQuote:
            return "text after a closing quote";
        case RefusalCode::NoHeader:
            return "no header row";
        case RefusalCode::SecondTarget:
            return "a second target column: exactly one of file, mac, name";
        case RefusalCode::EmptyHeader:
            return "an empty header";
        case RefusalCode::NoTargetColumn:
            return "no target column: one of file, mac, name is needed";
        case RefusalCode::BeyondLastColumn:
            return "a cell beyond the last column";
        case RefusalCode::EmptyTarget:
            return "no target: the cell is empty";
        case RefusalCode::CommonByName:
            return "default.cfg is the common file; name it in a file column";
        case RefusalCode::SecondGroups:
            return "a second groups column";
        case RefusalCode::CommonTarget:
            return "default.cfg is built from the source's own default.cfg, not from a row";
        default:
            return {};
    }
}

// The reasons of a layered source and its build.
std::string layerReason(const Refusal& r, const std::string& q) {
    switch (r.code) {
        case RefusalCode::NotGroupName:
            return q + " is not a group name (a computer name without blanks or |)" +
                   (r.detail.empty() ? "" : ": " + r.detail);
        case RefusalCode::UnknownGroup:
            return "there is no group " + q + " (no groups/" + r.subject + ".cfg)";
        case RefusalCode::GroupTwice:
            return "group " + q + " is named twice";
        case RefusalCode::GroupTarget:
            return r.subject + " is named like group '" + r.detail + "'";
        case RefusalCode::SameTerminal:
            return r.subject + " is the terminal of row " + std::to_string(r.number) + " too (" +
                   r.detail + ")";
        case RefusalCode::NoDeviceList:
            return q + " holds no devices.csv: it is no source";
        case RefusalCode::Drift:
            return r.subject + " was changed since the last build wrote it";
        case RefusalCode::NotBuilt:
            return r.subject + " exists and differs, and no build wrote it";
        default:
            return std::string(plainReason(r.code));
    }
}

}  // namespace

std::string reasonText(const Refusal& r) {
    const std::string q = "'" + r.subject + "'";
    switch (r.code) {
        case RefusalCode::NotAKey:
            return q + " is not a key";
        case RefusalCode::SameKey:
            return "the same key as column " + std::to_string(r.number);
        case RefusalCode::CannotList:
            return "cannot list " + q + ": " + r.detail;
        case RefusalCode::TargetBlanks:
            return q + " has blanks at its start or end";
        case RefusalCode::NotMac:
            return q + " is not a MAC address";
        case RefusalCode::NotComputerName:
            return q + " is not a computer name";
        case RefusalCode::NotCfgName:
            return q + " is not a file name ending in .cfg";
        case RefusalCode::LinkOut:
            return r.subject + " is a symbolic link that leads out of the folder";
        case RefusalCode::SameTarget:
            return r.subject + " is the target of row " + std::to_string(r.number) + " too";
        case RefusalCode::SameFile:
            return r.subject + " is the same file as " + r.detail + ", the target of row " +
                   std::to_string(r.number);
        case RefusalCode::BadValue: {
            const auto id = find(r.key);
            const std::string why = id ? keyRefusalText(param(*id), r.value) : r.key;
            return r.subject.empty() ? why : r.subject + ": " + why;
        }
        case RefusalCode::SameMac:
            return "the folder holds " + r.detail + " for the same MAC";
        case RefusalCode::CannotRead:
            return "cannot read " + r.subject + ": " + r.detail;
        case RefusalCode::WouldChange:
            return r.subject + " exists and would change";
        case RefusalCode::NotAFile:
            return r.subject + " exists and is no file";
        default:
            return layerReason(r, q);
    }
}

namespace {

// Where an import is in reading its text: the header read, the folder looked at, the rows
// checked cell by cell and made into files a batch at a time.
class Planner {
  public:
    Planner(std::string_view text, const std::string& dir, const ReadFile& read,
            const ImportOptions& options)
        : text_(text),
          dir_(dir),
          read_(read),
          options_(options),
          // No header of more columns than the target's and every key's can pass: the fields
          // past them are not kept (a line of millions of commas is refused as soon as its
          // first fields).
          reader_(text, kKeyCount + 2),
          root_(pathOf(dir)) {}

    ImportPlan run();

  private:
    // The rows that passed their checks cell by cell, waiting for their batch: their changes are
    // views of the cells (a cell that the reader had to unquote is copied, being the reader's
    // only until the next record).
    struct Pending {
        int row = 0;
        std::string file;
        std::string place;               // where it lands, when it is a link
        std::size_t first = 0, end = 0;  // its changes in `changes_`
    };
    // Each row's file, made and compared with what the folder holds.
    struct Outcome {
        std::optional<Target> target;
        std::optional<Refusal> refusal;
    };
    // What one thread reuses from row to row.
    struct Scratch {
        MemoryStore store;
        Edit edit;
    };
    struct Seen {
        int row = 0;
        std::string file;
    };

    void keepFirst(std::size_t limit);
    void add(Refusal r);
    void refuse(int row, int column, const std::string& header, Refusal why) {
        why.row = row;
        why.column = column;
        why.header = text::printable(header);
        add(std::move(why));
    }
    ImportPlan syntaxError();
    ImportPlan refused();
    bool readHeader();
    void headerCell(std::size_t c, std::array<int, kKeyCount>& seen);
    bool lookAtFolder();
    void takeStart();
    void reserveTargets();
    bool inText(std::string_view cell) const {
        return std::less_equal<>()(text_.data(), cell.data()) &&
               std::less_equal<>()(cell.data() + cell.size(), text_.data() + text_.size());
    }
    bool isPresent(const std::string& f) const;
    void readRow();
    bool beyondLastColumn(int rowNumber);
    std::optional<std::string> rowTarget(int rowNumber, std::string& place);
    bool rowChanges(int rowNumber, bool bad);
    void make(Pending& row, Scratch& scratch, Outcome& out) const;
    bool makeAsRead(const Pending& row, const Edit& edit, Outcome& out) const;
    void makeBatch();

    std::string_view text_;
    const std::string& dir_;
    const ReadFile& read_;
    const ImportOptions& options_;
    ImportPlan plan_;
    csv::Reader reader_;
    std::span<const std::string_view> fields_;

    // The header: one target column, then keys.
    std::size_t columns_ = 0;
    std::optional<std::size_t> targetAt_;
    int targetColumn_ = 0;
    TargetColumn targetKind_ = TargetColumn::File;
    std::vector<std::optional<Id>> keyAt_;
    std::string targetHeader_;

    // The folder.
    fs::path root_;
    fs::path canonicalRoot_;
    std::vector<std::string> present_;
#ifdef _WIN32
    std::unordered_set<std::string> presentKeys_;  // the names in any case
#endif
    std::unordered_map<std::string, std::string> macFiles_;
    bool emptyFolder_ = false;

    MemoryStore start_;  // every row starts from the template's state
    std::vector<Pending> pending_;
    std::vector<ChangeView> changes_;
    std::deque<std::string> unquoted_;
    std::vector<Outcome> outcomes_;
    std::unordered_map<std::string, Seen> targets_;  // the file a write lands on -> its row
};

// The first refusals by row, kept to a few: rows refused as they are read come before those
// refused when their files are made, a batch later.
void Planner::keepFirst(std::size_t limit) {
    if (plan_.refusals.size() <= limit) return;
    std::stable_sort(plan_.refusals.begin(), plan_.refusals.end(),
                     [](const Refusal& a, const Refusal& b) { return a.row < b.row; });
    plan_.moreRefusals += plan_.refusals.size() - limit;
    plan_.refusals.resize(limit);
}

void Planner::add(Refusal r) {
    plan_.refusals.push_back(std::move(r));
    keepFirst(2 * kRefusalLimit);
}

// A text that is no CSV is refused for that alone, wherever the fault is.
ImportPlan Planner::syntaxError() {
    plan_.refusals.clear();
    plan_.moreRefusals = 0;
    plan_.targets.clear();
    refuse(reader_.error()->row, 0, "",
           because(reader_.error()->unclosed ? RefusalCode::UnclosedQuote
                                             : RefusalCode::TextAfterQuote));
    return std::move(plan_);
}

// The plan as refused so far, unless the rest of the text is no CSV.
ImportPlan Planner::refused() {
    while (reader_.next(fields_)) {
    }
    return reader_.error() ? syntaxError() : std::move(plan_);
}

void Planner::headerCell(std::size_t c, std::array<int, kKeyCount>& seen) {
    const std::string header(trimmed(fields_[c]));
    const int column = static_cast<int>(c) + 1;
    if (const auto kind = targetColumnOf(header)) {
        if (targetAt_) {
            refuse(1, column, header, because(RefusalCode::SecondTarget));
            return;
        }
        targetAt_ = c;
        targetHeader_ = header;
        targetKind_ = *kind;
        return;
    }
    Refusal why;
    if (const auto id = keyColumn(header, column, seen, why)) {
        keyAt_[c] = *id;
    } else {
        refuse(1, column, header, std::move(why));
    }
}

// The header: one target column, then keys. False when it is refused.
bool Planner::readHeader() {
    columns_ = fields_.size();
    keyAt_.assign(columns_, std::nullopt);
    std::array<int, kKeyCount> seen{};
    for (std::size_t c = 0; c < columns_ && plan_.refusals.empty(); ++c) headerCell(c, seen);
    if (!targetAt_ && plan_.refusals.empty())
        refuse(1, 0, "", because(RefusalCode::NoTargetColumn));
    if (!plan_.refusals.empty()) return false;
    targetColumn_ = static_cast<int>(*targetAt_) + 1;
    return true;
}

// Files already there, by name, and MAC files by address. False when the folder cannot be listed.
bool Planner::lookAtFolder() {
    std::string listError;
    auto present = listFiles(dir_, false, listError);
    if (!present) {
        refuse(0, 0, "", because(RefusalCode::CannotList, dir_, listError));
        return false;
    }
    present_ = std::move(*present);
    for (const std::string& f : present_)
        if (auto m = macOfFileName(f)) macFiles_.emplace(*m, f);
#ifdef _WIN32
    for (const std::string& f : present_) presentKeys_.insert(sameFileKey(f));
#endif
    // A name that is not among the files listed may still be taken: by a folder, or by a file
    // whose name differs in case where the file system ignores case. In a folder that held
    // nothing at all none is.
    std::error_code emptyError;
    emptyFolder_ = present_.empty() && fs::is_empty(root_, emptyError) && !emptyError;
    std::error_code canonicalError;
    if (!emptyFolder_) canonicalRoot_ = fs::canonical(root_, canonicalError);
    return true;
}

// Whether a name is among the files listed: on Windows in any case, as the system finds it.
bool Planner::isPresent(const std::string& f) const {
#ifdef _WIN32
    return presentKeys_.contains(sameFileKey(f));
#else
    return std::binary_search(present_.begin(), present_.end(), f);
#endif
}

// Every row starts from the template's state.
void Planner::takeStart() {
    const Store* base = options_.base;
    if (!base) return;
    for (Id id : controlOrder()) {
        switch (param(id).kind) {
            case Kind::Text:
                start_.setText(id, base->text(id));
                break;
            case Kind::Switch:
                start_.setCheck(id, base->check(id));
                break;
            case Kind::Choice:
                if (base->item(id) < 0) {
                    start_.setText(id, base->text(id));
                } else {
                    start_.setItem(id, base->item(id));
                }
                break;
            case Kind::None:
                break;
        }
    }
}

// Room for a target per line at once: growing a million of them would move them all, and hold
// the old and the new storage together, a few times over.
void Planner::reserveTargets() {
    auto lines = static_cast<std::size_t>(std::count(text_.begin(), text_.end(), '\n'));
    if (lines == 0) lines = static_cast<std::size_t>(std::count(text_.begin(), text_.end(), '\r'));
    targets_.reserve(lines);
    plan_.targets.reserve(lines);
}

// True when the row has a filled cell beyond the header's columns (and is refused for it).
bool Planner::beyondLastColumn(int rowNumber) {
    for (std::size_t c = columns_; c < fields_.size(); ++c) {
        if (fields_[c].empty()) continue;
        refuse(rowNumber, static_cast<int>(c) + 1, "", because(RefusalCode::BeyondLastColumn));
        return true;
    }
    if (reader_.filledBeyond() > 0) {
        refuse(rowNumber, static_cast<int>(reader_.filledBeyond()), "",
               because(RefusalCode::BeyondLastColumn));
        return true;
    }
    return false;
}

// The row's file, or nullopt when it is refused. A link is written through: the file it leads
// to is the target (`place`), and must be in the folder; two rows that reach one file are refused.
std::optional<std::string> Planner::rowTarget(int rowNumber, std::string& place) {
    Refusal why;
    auto file = targetOf(targetKind_, *targetAt_ < fields_.size() ? fields_[*targetAt_] : "", why);
    if (!file) {
        refuse(rowNumber, targetColumn_, targetHeader_, std::move(why));
        return std::nullopt;
    }
    std::string key = *file;
    if (!emptyFolder_) {
        bool link = false;
        auto lands = landing(root_, canonicalRoot_, *file, link);
        if (!lands) {
            refuse(rowNumber, targetColumn_, targetHeader_, because(RefusalCode::LinkOut, *file));
            return std::nullopt;
        }
        if (link) key = place = std::move(*lands);
    }
    if (auto [it, fresh] = targets_.emplace(sameFileKey(key), Seen{rowNumber, *file}); !fresh) {
        refuse(rowNumber, targetColumn_, targetHeader_,
               sameFileKey(it->second.file) == sameFileKey(*file)
                   ? because(RefusalCode::SameTarget, *file, {}, it->second.row)
                   : because(RefusalCode::SameFile, *file, it->second.file, it->second.row));
        return std::nullopt;
    }
    return file;
}

// The row's key cells checked one by one and kept as changes; false when one is refused (or the
// row was `bad` already), and then none is kept.
bool Planner::rowChanges(int rowNumber, bool bad) {
    const std::size_t first = changes_.size();
    for (std::size_t c = 0; c < fields_.size() && c < columns_; ++c) {
        if (!keyAt_[c] || fields_[c].empty()) continue;
        const Param& p = param(*keyAt_[c]);
        const std::string_view value = cellValue(fields_[c]);
        if (ValueRefusal r = valueRefusal(p, value)) {
            refuse(rowNumber, static_cast<int>(c) + 1, std::string(p.key),
                   badValue(p.key, std::move(r)));
            bad = true;
        } else if (!bad) {
            changes_.push_back({*keyAt_[c], value.empty() || inText(value)
                                                ? value
                                                : unquoted_.emplace_back(value)});
        }
    }
    if (bad) changes_.resize(first);
    return !bad;
}

// One record of the text past the header: skipped when blank, refused, or pending its batch.
void Planner::readRow() {
    const int rowNumber = reader_.row();
    if (reader_.filledBeyond() == 0 &&
        std::all_of(fields_.begin(), fields_.end(), [](std::string_view s) { return s.empty(); }))
        return;
    const bool bad = beyondLastColumn(rowNumber);
    std::string place;
    auto file = rowTarget(rowNumber, place);
    if (!file) return;
    const std::size_t first = changes_.size();
    if (!rowChanges(rowNumber, bad)) return;
    pending_.push_back({rowNumber, std::move(*file), std::move(place), first, changes_.size()});
    if (pending_.size() == kBatch) makeBatch();
}

// The row's state made from its changes; false (with the refusal in `out`) when the changes
// together are refused, or the row's MAC has another file in the folder.
bool Planner::makeAsRead(const Pending& row, const Edit& edit, Outcome& out) const {
    if (edit.refused) {
        int column = 0;
        for (std::size_t c = 0; c < keyAt_.size(); ++c)
            if (keyAt_[c] == edit.refused) column = static_cast<int>(c) + 1;
        out.refusal = badValue(param(*edit.refused).key, edit.why);
        out.refusal->row = row.row;
        out.refusal->column = column;
        out.refusal->header = param(*edit.refused).key;
        return false;
    }
    if (auto m = targetKind_ == TargetColumn::Mac ? macOfFileName(row.file) : std::nullopt) {
        if (auto it = macFiles_.find(*m); it != macFiles_.end() && it->second != row.file) {
            out.refusal = because(RefusalCode::SameMac, {}, it->second);
            out.refusal->row = row.row;
            out.refusal->column = targetColumn_;
            out.refusal->header = targetHeader_;
            return false;
        }
    }
    return true;
}

// A row's file, made and compared with what the folder holds.
void Planner::make(Pending& row, Scratch& scratch, Outcome& out) const {
    const auto refuseRow = [&](RefusalCode code, std::string detail = {}) {
        out.refusal = because(code, row.file, std::move(detail));
        out.refusal->row = row.row;
        out.refusal->column = targetColumn_;
        out.refusal->header = targetHeader_;
        out.refusal->needsForce = code == RefusalCode::WouldChange;
    };
    scratch.store = start_;
    Edit& edit = scratch.edit;
    // Every cell passed refusal() as the row was read.
    applyPassedChanges(
        scratch.store,
        std::span<const ChangeView>(changes_).subspan(row.first, row.end - row.first), edit);
    if (!makeAsRead(row, edit, out)) return;
    Target t;
    t.row = row.row;
    std::string bytes = WriteConfig(edit.table);
    if (isPresent(row.file)) {
        std::string readError;
        auto old = read_(inFolder(root_, row.file), readError);
        if (!old) return refuseRow(RefusalCode::CannotRead, readError);
        if (*old == bytes) {
            t.status = Status::Same;
        } else {
            t.status = Status::Changed;
            if (!options_.force) return refuseRow(RefusalCode::WouldChange);
            if (options_.keepBytes) t.old = std::move(*old);
        }
    } else if (!emptyFolder_) {
        std::error_code ec;
        if (fs::exists(root_ / pathOf(row.file), ec)) return refuseRow(RefusalCode::NotAFile);
    }
    if (options_.keepBytes) t.bytes = std::move(bytes);
    t.file = std::move(row.file);
    t.place = std::move(row.place);
    out.target = std::move(t);
}

// The pending rows made into files, several at a time.
void Planner::makeBatch() {
    outcomes_.clear();
    outcomes_.resize(pending_.size());
    parallelForWith<Scratch>(
        pending_.size(), readerThreads(pending_.size()),
        [&](Scratch& scratch, std::size_t k) { make(pending_[k], scratch, outcomes_[k]); });
    for (Outcome& o : outcomes_) {
        if (o.refusal) add(std::move(*o.refusal));
        if (o.target) plan_.targets.push_back(std::move(*o.target));
    }
    pending_.clear();
    changes_.clear();
    unquoted_.clear();
}

// The text is read once, a record at a time; its cells are views into it.
ImportPlan Planner::run() {
    if (!reader_.next(fields_)) {
        if (reader_.error()) return syntaxError();
        refuse(0, 0, "", because(RefusalCode::NoHeader));
        return std::move(plan_);
    }
    if (!readHeader() || !lookAtFolder()) return refused();
    takeStart();
    reserveTargets();
    while (reader_.next(fields_)) readRow();
    if (reader_.error()) return syntaxError();
    makeBatch();
    plan_.statusOnly = !options_.keepBytes;
    keepFirst(kRefusalLimit);
    std::stable_sort(plan_.refusals.begin(), plan_.refusals.end(),
                     [](const Refusal& a, const Refusal& b) { return a.row < b.row; });
    return std::move(plan_);
}

}  // namespace

ImportPlan planImport(std::string_view text, const std::string& dir, const ReadFile& read,
                      const ImportOptions& options) {
    return Planner(text, dir, read, options).run();
}

ImportPlan planEdit(const std::string& dir, std::span<const std::string> files,
                    std::span<const Change> changes, const ReadFile& read) {
    ImportPlan plan;
    const fs::path root = pathOf(dir);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        std::string error;
        auto old = read(inFolder(root, files[i]), error);
        if (!old) {
            Refusal r = because(RefusalCode::CannotRead, files[i], error);
            r.row = row;
            r.header = files[i];
            plan.refusals.push_back(std::move(r));
            continue;
        }
        MemoryStore store;
        readConfig(*old, store);
        const Edit edit = applyChanges(store, changes);
        if (edit.refused) {
            Refusal r = badValue(param(*edit.refused).key, edit.why);
            r.row = row;
            r.header = r.subject = files[i];
            plan.refusals.push_back(std::move(r));
            continue;
        }
        Target t;
        t.file = files[i];
        t.row = row;
        t.bytes = WriteConfig(edit.table);
        t.status = t.bytes == *old ? Status::Same : Status::Changed;
        if (t.status == Status::Changed) t.old = std::move(*old);
        plan.targets.push_back(std::move(t));
    }
    return plan;
}

}  // namespace orbex::fleet
