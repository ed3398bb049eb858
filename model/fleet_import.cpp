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

enum class TargetColumn : std::uint8_t { File, Mac, Name };

// The file a row's target cell names, or why it names none. A `file` cell names the file
// exactly, in its case; a `mac` cell makes the upper-case name terminals ask for. A name is
// never trimmed: " a.cfg" is another file than "a.cfg", so blanks around it are refused.
std::optional<std::string> targetOf(TargetColumn kind, std::string_view cell, std::string& why) {
    cell = csv::withoutTextMark(cell);
    if (trimmed(cell).empty()) {
        why = "no target: the cell is empty";
        return std::nullopt;
    }
    if (kind != TargetColumn::Mac && trimmed(cell).size() != cell.size()) {
        why = inQuotes(cell) + " has blanks at its start or end";
        return std::nullopt;
    }
    if (kind == TargetColumn::Mac) {
        cell = trimmed(cell);
        auto file = macFileName(cell);
        if (!file) why = inQuotes(cell) + " is not a MAC address";
        return file;
    }
    if (kind == TargetColumn::Name) {
        if (!isComputerName(cell)) {
            why = inQuotes(cell) + " is not a computer name";
            return std::nullopt;
        }
        std::string file = std::string(cell) + ".cfg";
        if (file == kCommonFile) {
            why = "default.cfg is the common file; name it in a file column";
            return std::nullopt;
        }
        return file;
    }
    // A name in the folder itself; ":" is no part of a file name on Windows, nor is a control
    // character on either system.
    const bool plain =
        cell.find_first_of("/\\:") == std::string_view::npos && !text::hasControl(cell);
    if (!plain || !cell.ends_with(".cfg") || cell.size() == 4) {
        why = inQuotes(cell) + " is not a file name ending in .cfg";
        return std::nullopt;
    }
    return std::string(cell);
}

// Two names of one file to a duplicate check: on Windows names ignore case (ASCII letters here:
// MAC file names are ASCII), elsewhere they are what they are.
std::string sameFileKey(std::string name) {
#ifdef _WIN32
    for (char& c : name) c = lower(c);
#endif
    return name;
}

// Where a write of `file` lands, relative to the folder (`canonicalRoot`): `file` itself, or
// for a symbolic link the file at the end of its links (which need not exist yet). nullopt
// when the links lead out of the folder, go round in a circle, or cannot be read.
std::optional<std::string> landing(const fs::path& root, const fs::path& canonicalRoot,
                                   const std::string& file, bool& link) {
    fs::path p = root / pathOf(file);
    link = false;
    std::error_code ec;
    for (int hops = 0; hops < 40; ++hops) {
        const fs::file_status st = fs::symlink_status(p, ec);
        if (ec || !fs::is_symlink(st)) {
            if (!link) return file;
            // The folder it lands in, links followed; the name itself may not be there yet.
            const fs::path folder = fs::weakly_canonical(p.parent_path(), ec);
            if (ec) return std::nullopt;
            const fs::path rel = folder.lexically_relative(canonicalRoot);
            if (rel.empty() || *rel.begin() == "..") return std::nullopt;
            return utf8Of((rel == "." ? fs::path() : rel) / p.filename());
        }
        link = true;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) return std::nullopt;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return std::nullopt;
}

// A non-empty cell of a key column as the value it sets: '' is the empty text; else a leading
// ' that marks the cell as text is dropped (a value holds no ').
std::string_view cellValue(std::string_view cell) {
    return cell == "''" ? std::string_view() : csv::withoutTextMark(cell);
}

}  // namespace

ImportPlan planImport(std::string_view text, const std::string& dir, const ReadFile& read,
                      const ImportOptions& options) {
    ImportPlan plan;
    // The first refusals by row, kept to a few: rows refused as they are read come before those
    // refused when their files are made, a batch later.
    const auto byRow = [](const Refusal& a, const Refusal& b) { return a.row < b.row; };
    const auto keepFirst = [&](std::size_t limit) {
        if (plan.refusals.size() <= limit) return;
        std::stable_sort(plan.refusals.begin(), plan.refusals.end(), byRow);
        plan.moreRefusals += plan.refusals.size() - limit;
        plan.refusals.resize(limit);
    };
    const auto add = [&](Refusal r) {
        plan.refusals.push_back(std::move(r));
        keepFirst(2 * kRefusalLimit);
    };
    const auto refuse = [&](int row, int column, std::string header, std::string reason,
                            bool force = false) {
        add({row, column, text::printable(header), std::move(reason), force});
    };
    // The text is read once, a record at a time; its cells are views into it. A text that is no
    // CSV is refused for that alone, wherever the fault is.
    // No header of more columns than the target's and every key's can pass: the fields past
    // them are not kept (a line of millions of commas is refused as soon as its first fields).
    csv::Reader reader(text, kKeyCount + 2);
    std::span<const std::string_view> fields;
    const auto syntaxError = [&] {
        plan.refusals.clear();
        plan.moreRefusals = 0;
        plan.targets.clear();
        refuse(reader.error()->row, 0, "", reader.error()->message);
        return plan;
    };
    const auto refused = [&] {
        while (reader.next(fields)) {
        }
        return reader.error() ? syntaxError() : plan;
    };
    if (!reader.next(fields)) {
        if (reader.error()) return syntaxError();
        refuse(0, 0, "", "no header row");
        return plan;
    }

    // The header: one target column, then keys.
    const std::size_t columns = fields.size();
    std::optional<std::size_t> targetAt;
    TargetColumn targetKind = TargetColumn::File;
    std::vector<std::optional<Id>> keyAt(columns);
    std::array<int, kKeyCount> seen{};
    std::string targetHeader;
    for (std::size_t c = 0; c < columns && plan.refusals.empty(); ++c) {
        const std::string_view h = trimmed(fields[c]);
        const int column = static_cast<int>(c) + 1;
        const std::string low = lowered(h);
        if (low == "file" || low == "mac" || low == "name") {
            if (targetAt) {
                refuse(1, column, std::string(h),
                       "a second target column: exactly one of file, mac, name");
                continue;
            }
            targetAt = c;
            targetHeader = h;
            targetKind = low == "file"  ? TargetColumn::File
                         : low == "mac" ? TargetColumn::Mac
                                        : TargetColumn::Name;
            continue;
        }
        const auto id = find(h);
        if (!id) {
            refuse(1, column, std::string(h),
                   h.empty() ? "an empty header" : inQuotes(h) + " is not a key");
        } else if (std::string why = unsetRefusal(param(*id)); !why.empty()) {
            refuse(1, column, std::string(h), std::string(h) + " " + refusal(param(*id), ""));
        } else if (seen[*id]) {
            refuse(1, column, std::string(h),
                   "the same key as column " + std::to_string(seen[*id]));
        } else {
            seen[*id] = column;
            keyAt[c] = *id;
        }
    }
    if (!targetAt && plan.refusals.empty())
        refuse(1, 0, "", "no target column: one of file, mac, name is needed");
    if (!plan.refusals.empty()) return refused();

    // Files already there, by name, and MAC files by address.
    std::string listError;
    const auto present = listFiles(dir, false, listError);
    if (!present) {
        refuse(0, 0, "", "cannot list '" + dir + "': " + listError);
        return refused();
    }
    std::unordered_map<std::string, std::string> macFiles;
    for (const std::string& f : *present)
        if (auto m = macOfFileName(f)) macFiles.emplace(*m, f);

    // Every row starts from the template's state.
    MemoryStore start;
    if (options.base) {
        for (Id id : controlOrder()) {
            switch (param(id).kind) {
                case Kind::Text:
                    start.setText(id, options.base->text(id));
                    break;
                case Kind::Switch:
                    start.setCheck(id, options.base->check(id));
                    break;
                case Kind::Choice:
                    if (options.base->item(id) < 0) {
                        start.setText(id, options.base->text(id));
                    } else {
                        start.setItem(id, options.base->item(id));
                    }
                    break;
                case Kind::None:
                    break;
            }
        }
    }

    // The rows that pass their checks cell by cell, a batch at a time: their changes are views
    // of the cells (a cell that the reader had to unquote is copied, being the reader's only
    // until the next record).
    const int targetColumn = static_cast<int>(*targetAt) + 1;
    struct Pending {
        int row = 0;
        std::string file;
        std::string place;               // where it lands, when it is a link
        std::size_t first = 0, end = 0;  // its changes in `changes`
    };
    std::vector<Pending> pending;
    std::vector<ChangeView> changes;
    std::deque<std::string> unquoted;
    const auto inText = [&](std::string_view cell) {
        return std::less_equal<>()(text.data(), cell.data()) &&
               std::less_equal<>()(cell.data() + cell.size(), text.data() + text.size());
    };

    // Each row's file, made and compared with what the folder holds, several rows at a time.
    struct Outcome {
        std::optional<Target> target;
        std::optional<Refusal> refusal;
    };
    std::vector<Outcome> outcomes;
    const fs::path root = pathOf(dir);
    // A name that is not among the files listed may still be taken: by a folder, or by a file
    // whose name differs in case where the file system ignores case. In a folder that held
    // nothing at all none is.
    std::error_code emptyError;
    const bool emptyFolder = present->empty() && fs::is_empty(root, emptyError) && !emptyError;
    // Whether a name is among the files listed: on Windows in any case, as the system finds it.
#ifdef _WIN32
    std::unordered_set<std::string> presentKeys;
    for (const std::string& f : *present) presentKeys.insert(sameFileKey(f));
    const auto isPresent = [&](const std::string& f) {
        return presentKeys.contains(sameFileKey(f));
    };
#else
    const auto isPresent = [&](const std::string& f) {
        return std::binary_search(present->begin(), present->end(), f);
    };
#endif
    // What one thread reuses from row to row.
    struct Scratch {
        MemoryStore store;
        Edit edit;
    };
    const auto make = [&](Pending& row, Scratch& scratch, Outcome& out) {
        const auto refuseRow = [&](int column, std::string header, std::string reason,
                                   bool force = false) {
            out.refusal = Refusal{row.row, column, std::move(header), std::move(reason), force};
        };
        scratch.store = start;
        Edit& edit = scratch.edit;
        // Every cell passed refusal() as the row was read.
        applyPassedChanges(
            scratch.store,
            std::span<const ChangeView>(changes).subspan(row.first, row.end - row.first), edit);
        if (edit.refused) {
            int column = 0;
            for (std::size_t c = 0; c < keyAt.size(); ++c)
                if (keyAt[c] == edit.refused) column = static_cast<int>(c) + 1;
            refuseRow(column, std::string(param(*edit.refused).key), edit.reason);
            return;
        }
        if (auto m = targetKind == TargetColumn::Mac ? macOfFileName(row.file) : std::nullopt) {
            if (auto it = macFiles.find(*m); it != macFiles.end() && it->second != row.file) {
                refuseRow(targetColumn, targetHeader,
                          "the folder holds " + it->second + " for the same MAC");
                return;
            }
        }
        Target t;
        t.row = row.row;
        std::string bytes = WriteConfig(edit.table);
        if (isPresent(row.file)) {
            std::string readError;
            auto old = read(inFolder(root, row.file), readError);
            if (!old) {
                refuseRow(targetColumn, targetHeader, "cannot read " + row.file + ": " + readError);
                return;
            }
            if (*old == bytes) {
                t.status = Status::Same;
            } else {
                t.status = Status::Changed;
                if (!options.force) {
                    refuseRow(targetColumn, targetHeader, row.file + " exists and would change",
                              true);
                    return;
                }
                if (options.keepBytes) t.old = std::move(*old);
            }
        } else if (!emptyFolder) {
            std::error_code ec;
            if (fs::exists(root / pathOf(row.file), ec)) {
                refuseRow(targetColumn, targetHeader, row.file + " exists and is no file");
                return;
            }
        }
        if (options.keepBytes) t.bytes = std::move(bytes);
        t.file = std::move(row.file);
        t.place = std::move(row.place);
        out.target = std::move(t);
    };
    const auto makeBatch = [&] {
        outcomes.clear();
        outcomes.resize(pending.size());
        parallelForWith<Scratch>(
            pending.size(), readerThreads(pending.size()),
            [&](Scratch& scratch, std::size_t k) { make(pending[k], scratch, outcomes[k]); });
        for (Outcome& o : outcomes) {
            if (o.refusal) add(std::move(*o.refusal));
            if (o.target) plan.targets.push_back(std::move(*o.target));
        }
        pending.clear();
        changes.clear();
        unquoted.clear();
    };

    struct Seen {
        int row = 0;
        std::string file;
    };
    std::unordered_map<std::string, Seen> targets;  // the file a write lands on -> its row
    std::error_code canonicalError;
    const fs::path canonicalRoot = emptyFolder ? fs::path() : fs::canonical(root, canonicalError);
    {
        // Room for a target per line at once: growing a million of them would move them all,
        // and hold the old and the new storage together, a few times over.
        std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        if (lines == 0)
            lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r'));
        targets.reserve(lines);
        plan.targets.reserve(lines);
    }
    while (reader.next(fields)) {
        const int rowNumber = reader.row();
        if (reader.filledBeyond() == 0 &&
            std::all_of(fields.begin(), fields.end(), [](std::string_view s) { return s.empty(); }))
            continue;
        bool bad = false;
        for (std::size_t c = columns; c < fields.size(); ++c) {
            if (fields[c].empty()) continue;
            refuse(rowNumber, static_cast<int>(c) + 1, "", "a cell beyond the last column");
            bad = true;
            break;
        }
        if (!bad && reader.filledBeyond() > 0) {
            refuse(rowNumber, static_cast<int>(reader.filledBeyond()), "",
                   "a cell beyond the last column");
            bad = true;
        }
        std::string why;
        auto file = targetOf(targetKind, *targetAt < fields.size() ? fields[*targetAt] : "", why);
        if (!file) {
            refuse(rowNumber, targetColumn, targetHeader, why);
            continue;
        }
        // A link is written through: the file it leads to is the target, and must be in the
        // folder; two rows that reach one file are refused.
        std::string place;
        std::string key = *file;
        if (!emptyFolder) {
            bool link = false;
            auto lands = landing(root, canonicalRoot, *file, link);
            if (!lands) {
                refuse(rowNumber, targetColumn, targetHeader,
                       *file + " is a symbolic link that leads out of the folder");
                continue;
            }
            if (link) key = place = std::move(*lands);
        }
        if (auto [it, fresh] = targets.emplace(sameFileKey(key), Seen{rowNumber, *file}); !fresh) {
            refuse(rowNumber, targetColumn, targetHeader,
                   sameFileKey(it->second.file) == sameFileKey(*file)
                       ? *file + " is the target of row " + std::to_string(it->second.row) + " too"
                       : *file + " is the same file as " + it->second.file +
                             ", the target of row " + std::to_string(it->second.row));
            continue;
        }
        const std::size_t first = changes.size();
        for (std::size_t c = 0; c < fields.size() && c < columns; ++c) {
            if (!keyAt[c] || fields[c].empty()) continue;
            const Param& p = param(*keyAt[c]);
            const std::string_view value = cellValue(fields[c]);
            if (std::string r = refusal(p, value); !r.empty()) {
                refuse(rowNumber, static_cast<int>(c) + 1, std::string(p.key),
                       std::string(p.key) + " " + r);
                bad = true;
            } else if (!bad) {
                changes.push_back({*keyAt[c], value.empty() || inText(value)
                                                  ? value
                                                  : unquoted.emplace_back(value)});
            }
        }
        if (bad) {
            changes.resize(first);
            continue;
        }
        pending.push_back({rowNumber, std::move(*file), std::move(place), first, changes.size()});
        if (pending.size() == kBatch) makeBatch();
    }
    if (reader.error()) return syntaxError();
    makeBatch();
    plan.statusOnly = !options.keepBytes;

    keepFirst(kRefusalLimit);
    std::stable_sort(plan.refusals.begin(), plan.refusals.end(), byRow);
    return plan;
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
            plan.refusals.push_back({row, 0, files[i], "cannot read " + files[i] + ": " + error});
            continue;
        }
        MemoryStore store;
        readConfig(*old, store);
        const Edit edit = applyChanges(store, changes);
        if (edit.refused) {
            plan.refusals.push_back({row, 0, files[i], files[i] + ": " + edit.reason});
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
