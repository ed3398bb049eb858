#include "model/fleet.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "model/checks.h"
#include "model/csv.h"
#include "model/edit.h"
#include "model/lint.h"
#include "model/mac.h"
#include "model/reader.h"
#include "model/text.h"
#include "model/writer.h"

namespace fs = std::filesystem;

namespace orbex::fleet {
namespace {

// Files written at the same time by an import, and threads that read a folder at most.
constexpr std::size_t kWriters = 16;
constexpr std::size_t kReaders = 8;
// Rows of an import made into files at a time: enough for every thread that readerThreads
// gives, few enough that their cells are not held long.
constexpr std::size_t kBatch = 256 * kReaders;

// Names are UTF-8 throughout; on Windows a path made of them goes to the system as UTF-16, not
// through the ANSI code page, which holds no Cyrillic on most machines.
fs::path pathOf(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

// A file of the folder, by its name relative to it ("/" between folders).
std::string inFolder(const fs::path& root, const std::string& file) {
    return utf8Of(root / pathOf(file));
}

// Threads that share out `jobs` files: one for every two processors (with the files in the
// cache a thread does not wait, and on a machine of two busy processors a second thread costs
// more than it gains: measured with bench/fleet), at most kReaders, one for a small folder.
std::size_t readerThreads(std::size_t jobs) {
    return std::clamp<std::size_t>(
        std::min<std::size_t>(std::thread::hardware_concurrency() / 2, kReaders), 1,
        jobs / 256 + 1);
}

// extension() == ".cfg" without making paths for it: the name ends in ".cfg" and holds more
// than that (".cfg" alone is a name without an extension).
bool hasCfgExtension(const fs::path& p) {
    static constexpr fs::path::value_type kExtension[] = {'.', 'c', 'f', 'g'};
    const auto& s = p.native();
    if (s.size() < 5 || !std::equal(std::begin(kExtension), std::end(kExtension), s.end() - 4))
        return false;
    const auto before = s[s.size() - 5];
    return before != '/' && before != fs::path::preferred_separator;
}

// A text of the input in a message: in quotes, its control characters escaped.
std::string inQuotes(std::string_view s) {
    return "'" + text::printable(s) + "'";
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Place of each key in the review order; keys without a control after all others.
const std::array<int, kKeyCount>& reviewRank() {
    static const std::array<int, kKeyCount> rank = [] {
        std::array<int, kKeyCount> r;
        r.fill(kKeyCount);
        int place = 0;
        for (Id id : controlOrder()) r[id] = place++;
        return r;
    }();
    return rank;
}

// The address as four plain decimal numbers, so that 10.0.0.010 and 10.0.0.10 are one.
std::string canonicalAddress(std::string_view s) {
    std::string out;
    unsigned group = 0;
    for (char c : s) {
        if (c == '.') {
            out += std::to_string(group) + '.';
            group = 0;
        } else {
            group = group * 10 + static_cast<unsigned>(c - '0');
        }
    }
    return out + std::to_string(group);
}

const Id ip = idOf("IP"), mname = idOf("MNAME");

std::string decoded(std::string_view value) {
    return text::isUtf8(value) ? std::string(value) : text::fromCp1251(value);
}

// The address and computer name as reading leaves them (the last line of each key wins), as
// the record keeps them: an address only when it is one.
void setNames(Record& r, std::string_view ip, int ipLine, std::string_view mname, int mnameLine) {
    if (ipLine > 0) r.ip = decoded(ip), r.ipLine = ipLine;
    if (mnameLine > 0) r.mname = decoded(mname), r.mnameLine = mnameLine;
    if (!IsValidIpAddress(r.ip)) r.ip.clear();  // the review resets it: it is no address
}

void scanNames(std::string_view bytes, Record& r) {
    std::string_view ipValue, mnameValue;
    int ipLine = 0, mnameLine = 0;
    std::string held[2];  // values of lines that had CR bytes inside
    forEachLine(bytes, [&](const RawLine& raw) {
        if (!raw.text.starts_with("IP='") && !raw.text.starts_with("MNAME='")) return true;
        const Line line = parseLine(raw.text);
        if (line.type != Line::Type::Param) return true;
        if (line.key == ip) {
            ipValue = raw.rebuilt ? std::string_view(held[0] = line.value) : line.value;
            ipLine = raw.number;
        } else if (line.key == mname) {
            mnameValue = raw.rebuilt ? std::string_view(held[1] = line.value) : line.value;
            mnameLine = raw.number;
        }
        return true;
    });
    setNames(r, ipValue, ipLine, mnameValue, mnameLine);
}

// A finding of a file's own check, as the fleet reports it.
Finding ownFinding(const std::string& file, const orbex::Finding& f) {
    return {file, f.line, f.key, f.resets ? code::kResetValue : code::kIgnoredLine, f.message, {}};
}

// A count with commas between the thousands: 3,996.
std::string counted(std::size_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

bool byFileThenLine(const Finding& a, const Finding& b) {
    if (a.file != b.file) return a.file < b.file;
    return a.line < b.line;
}

}  // namespace

Classified classify(std::string_view fileName) {
    Classified c;
    if (auto mac = macOfFileName(fileName)) {
        c.kind = FileKind::Mac;
        c.mac = std::move(*mac);
    } else if (fileName == kCommonFile) {
        c.kind = FileKind::Common;
    } else {
        c.badMacName = fileName.find('^') != std::string_view::npos;
    }
    return c;
}

bool isComputerName(std::string_view name) {
    return !name.empty() && trimmed(name).size() == name.size() &&
           name.find_first_of("/\\:^") == std::string_view::npos && !text::hasControl(name);
}

Settings settingsOf(Store& store, const Warn& warn) {
    // The review's checks alone: its table is not needed here, only what it resets.
    std::string buffer;
    forEachReset([&](Id id) { return store.textView(id, buffer); },
                 [&](Id id) {
                     store.setText(id, kUnset);
                     warn(id);
                 });
    const auto stored = [&](Id id) { return storedValue(store, id, buffer); };
    // Counted first: a fleet holds many of these, each no larger than it needs.
    std::size_t set = 0;
    for (Id id : controlOrder()) set += stored(id).has_value();
    Settings out;
    out.reserve(set);
    for (Id id : controlOrder())
        if (const auto value = stored(id)) out.push_back({id, std::string(*value)});
    return out;
}

Settings settingsOf(std::string_view bytes, const Warn& warn) {
    MemoryStore store;
    readConfig(bytes, store);
    return settingsOf(store, warn);
}

const std::string* valueOf(const Settings& settings, Id id) {
    for (const Setting& s : settings)
        if (s.id == id) return &s.value;
    return nullptr;
}

std::vector<Difference> diff(const Settings& a, const Settings& b) {
    const auto& rank = reviewRank();
    std::vector<Difference> out;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const int ra = i < a.size() ? rank[a[i].id] : kKeyCount + 1;
        const int rb = j < b.size() ? rank[b[j].id] : kKeyCount + 1;
        if (ra < rb) {
            out.push_back({a[i].id, a[i].value, std::nullopt});
            ++i;
        } else if (rb < ra) {
            out.push_back({b[j].id, std::nullopt, b[j].value});
            ++j;
        } else {
            if (a[i].value != b[j].value) out.push_back({a[i].id, a[i].value, b[j].value});
            ++i, ++j;
        }
    }
    return out;
}

std::optional<Listing> list(const std::string& dir, bool recursive,
                            const NamePredicate& isTemporary, std::string& error) {
    Listing out;
    std::error_code ec;
    const fs::path root = pathOf(dir);
    if (!fs::is_directory(root, ec)) {
        error = ec ? ec.message() : "not a folder";
        return std::nullopt;
    }
    // Folders still to list, by their names relative to the folder ("" for itself). A
    // subfolder that cannot be listed is noted and the others are listed all the same.
    std::vector<std::string> folders{""};
    while (!folders.empty()) {
        const std::string prefix = std::move(folders.back());
        folders.pop_back();
        const auto relative = [&](const fs::path& name) {
            const std::u8string u = name.u8string();
            std::string s(prefix);
            if (!s.empty()) s += '/';
            s.append(u.begin(), u.end());
            return s;
        };
        fs::directory_iterator it(prefix.empty() ? root : root / pathOf(prefix), ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const fs::directory_entry& e = *it;
            std::error_code ignored;
            if (hasCfgExtension(e.path()) && e.is_regular_file(ignored)) {
                out.files.push_back(relative(e.path().filename()));
                continue;
            }
            if (recursive && !e.is_symlink(ignored) && e.is_directory(ignored)) {
                folders.push_back(relative(e.path().filename()));
                continue;
            }
            if (!isTemporary) continue;
            const std::u8string name = e.path().filename().u8string();
            if (isTemporary(
                    std::string_view(reinterpret_cast<const char*>(name.data()), name.size())) &&
                e.is_regular_file(ignored))
                out.temporaries.push_back(relative(e.path().filename()));
        }
        if (ec) {
            if (prefix.empty()) {
                error = ec.message();
                return std::nullopt;
            }
            out.unlisted.push_back({prefix, ec.message()});
            ec.clear();
        }
    }
    std::sort(out.files.begin(), out.files.end());
    std::sort(out.temporaries.begin(), out.temporaries.end());
    std::sort(
        out.unlisted.begin(), out.unlisted.end(),
        [](const Listing::Unlisted& a, const Listing::Unlisted& b) { return a.folder < b.folder; });
    return out;
}

std::optional<std::vector<std::string>> listFiles(const std::string& dir, bool recursive,
                                                  std::string& error) {
    auto listing = list(dir, recursive, {}, error);
    if (!listing) return std::nullopt;
    if (!listing->unlisted.empty()) {
        const Listing::Unlisted& u = listing->unlisted.front();
        error = u.folder + ": " + u.reason;
        return std::nullopt;
    }
    return std::move(listing->files);
}

Finding temporaryFinding(std::string file) {
    return {std::move(file),
            0,
            "",
            code::kTemporaryFile,
            "a temporary file of a replace that did not end (the program was stopped); the file "
            "it was to replace is whole, and this one may be removed",
            {}};
}

Record loadRecord(const std::string& dir, std::string file, const ReadFile& read,
                  const Options& options) {
    std::string why;
    const auto bytes = read(pathInFolder(dir, file), why);
    return recordOf(std::move(file), bytes ? std::optional<std::string_view>(*bytes) : std::nullopt,
                    why, options);
}

std::string pathInFolder(const std::string& dir, const std::string& file) {
    return inFolder(pathOf(dir), file);
}

Record recordOf(std::string file, std::optional<std::string_view> bytes, std::string_view error,
                const Options& options) {
    Record r;
    r.file = std::move(file);
    const std::size_t slash = r.file.rfind('/');
    r.name = classify(slash == std::string::npos ? std::string_view(r.file)
                                                 : std::string_view(r.file).substr(slash + 1));
    if (!bytes) {
        r.error = error.empty() ? "cannot be read" : std::string(error);
        return r;
    }
    if (options.settings) r.settings = settingsOf(*bytes, [&r](Id id) { r.reset.push_back(id); });
    if (!options.findings) {
        scanNames(*bytes, r);
        return r;
    }
    // The check notes the address and the computer name in its own pass.
    LastValue names[] = {{ip, {}, 0}, {mname, {}, 0}};
    lintConfig(
        *bytes,
        [&r, stream = options.stream](const orbex::Finding& f) {
            if (r.findingsDropped) return;
            if (stream && r.findings.size() == kHeldFindings) {
                r.findingsDropped = true;
                std::vector<Finding>().swap(r.findings);
                return;
            }
            r.findings.push_back(ownFinding(r.file, f));
        },
        names);
    setNames(r, names[0].value, names[0].line, names[1].value, names[1].line);
    return r;
}

namespace {

// The findings of the fleet from its records, each record's own and those across files.
void conclude(Fleet& fleet, const Options& options) {
    for (const Record& r : fleet.records)
        if (!r.error.empty()) ++fleet.unreadable;
    if (options.findings) {
        Cross cross = crossFindings(fleet.records);
        fleet.across = std::move(cross.findings);
        fleet.groups = std::move(cross.groups);
        if (options.stream) return;
        forEachFinding(
            fleet, {}, {}, {}, [&fleet](const Finding& f) { fleet.findings.push_back(f); },
            [](const Record&, const std::string&) {});
    }
}

}  // namespace

std::optional<Fleet> load(const std::string& dir, const ReadFile& read, const Options& options,
                          std::string& error) {
    auto files = listFiles(dir, options.recursive, error);
    if (!files) return std::nullopt;
    Fleet fleet;
    fleet.records.resize(files->size());
    // One pass over each file; the files are shared out among the processors.
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < files->size();)
            fleet.records[i] = loadRecord(dir, std::move((*files)[i]), read, options);
    };
    const std::size_t threads = readerThreads(files->size());
    std::vector<std::thread> pool;
    for (std::size_t i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    conclude(fleet, options);
    return fleet;
}

Fleet load(std::span<const std::string> files, const NextFile& next, const Options& options) {
    Fleet fleet;
    fleet.records.reserve(files.size());
    std::string_view bytes;
    std::string error;
    for (const std::string& file : files) {
        const bool read = next(bytes, error);
        fleet.records.push_back(
            recordOf(std::move(file), read ? std::optional<std::string_view>(bytes) : std::nullopt,
                     error, options));
    }
    conclude(fleet, options);
    return fleet;
}

Cross crossFindings(std::span<const Record> records) {
    Cross out;
    // Groups in the records' order, each record once in a group of each kind: the findings and
    // the groups grow with the records, not with the square of a group.
    std::unordered_map<std::string, Group> macs, ips, names;
    ips.reserve(records.size());
    names.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        if (!r.error.empty()) continue;
        if (r.name.kind == FileKind::Mac) macs[r.name.mac].push_back(i);
        if (r.name.badMacName)
            out.findings.push_back(
                {r.file,
                 0,
                 "",
                 code::kBadMacName,
                 "the name holds ^ but is not a MAC file name (AA^BB^CC^DD^EE^FF.cfg); "
                 "a terminal loads it only by a computer name of that spelling",
                 {}});
        if (!r.ip.empty()) ips[canonicalAddress(r.ip)].push_back(i);
        if (!r.mname.empty()) names[lowered(r.mname)].push_back(i);
    }
    // Each kind's groups in the order of their first file, so that the output does not depend
    // on the hash table.
    const auto add = [&](std::unordered_map<std::string, Group>& groups, const auto& finding) {
        std::vector<Group*> shared;
        for (auto& [value, group] : groups)
            if (group.size() > 1) shared.push_back(&group);
        std::sort(shared.begin(), shared.end(),
                  [](const Group* a, const Group* b) { return a->front() < b->front(); });
        for (Group* group : shared) {
            const std::size_t index = out.groups.size();
            for (std::size_t i : *group) {
                Finding f = finding(records[i], othersText(records, *group, i));
                f.group = index;
                out.findings.push_back(std::move(f));
            }
            out.groups.push_back(std::move(*group));
        }
    };
    add(macs, [](const Record& r, const std::string& others) {
        return Finding{r.file,
                       0,
                       "",
                       code::kDuplicateMac,
                       "MAC " + r.name.mac + " is also named by " + others,
                       r.name.mac};
    });
    add(ips, [](const Record& r, const std::string& others) {
        return Finding{r.file,
                       r.ipLine,
                       "IP",
                       code::kDuplicateIp,
                       inQuotes(r.ip) + " is also set by " + others,
                       r.ip};
    });
    add(names, [](const Record& r, const std::string& others) {
        return Finding{r.file,
                       r.mnameLine,
                       "MNAME",
                       code::kDuplicateName,
                       inQuotes(r.mname) + " is also set by " + others,
                       r.mname};
    });
    std::stable_sort(out.findings.begin(), out.findings.end(), byFileThenLine);
    return out;
}

std::string othersText(std::span<const Record> records, const Group& group, std::size_t self) {
    std::string s;
    std::size_t named = 0;
    for (std::size_t i : group) {
        if (i == self) continue;
        if (named == kNamedOthers) break;
        if (named++ > 0) s += ", ";
        s += text::escapedName(records[i].file);
    }
    const std::size_t others = group.size() - 1;  // self is in its group
    if (others > named) s += " and " + counted(others - named) + " more";
    return s;
}

void forEachFinding(const Fleet& fleet, std::span<const Finding> extra, const std::string& dir,
                    const ReadFile& read, const std::function<void(const Finding&)>& report,
                    const std::function<void(const Record&, const std::string&)>& unread) {
    // The findings that are no record's own, across files and extra ones, merged as they go.
    const std::span<const Finding> across = fleet.across;
    std::size_t a = 0, e = 0;
    // The next of them, or nullptr; `fromAcross` tells from which.
    bool fromAcross = false;
    const auto peek = [&]() -> const Finding* {
        const bool hasA = a < across.size(), hasE = e < extra.size();
        fromAcross = hasA && (!hasE || !byFileThenLine(extra[e], across[a]));
        if (fromAcross) return &across[a];
        return hasE ? &extra[e] : nullptr;
    };
    // Those before `file`, or of `file` before `line`.
    const auto before = [&](const std::string& file, int line) {
        for (const Finding* f;
             (f = peek()) != nullptr && (f->file < file || (f->file == file && f->line < line));) {
            report(*f);
            ++(fromAcross ? a : e);
        }
    };
    std::string why;
    for (const Record& r : fleet.records) {
        const auto own = [&](const Finding& f) {
            before(r.file, f.line);
            report(f);
        };
        if (!r.findingsDropped) {
            for (const Finding& f : r.findings) own(f);
        } else if (const auto bytes = read(pathInFolder(dir, r.file), why)) {
            lintConfig(*bytes, [&](const orbex::Finding& f) { own(ownFinding(r.file, f)); });
        } else {
            unread(r, why);
        }
        before(r.file, std::numeric_limits<int>::max());
    }
    for (const Finding* f; (f = peek()) != nullptr; ++(fromAcross ? a : e)) report(*f);
}

std::optional<std::string> resolve(std::span<const std::string> files,
                                   const std::optional<std::string>& mac,
                                   const std::optional<std::string>& name,
                                   std::span<const Source> order) {
    const auto has = [&](std::string_view f) {
        return std::find(files.begin(), files.end(), f) != files.end();
    };
    for (Source s : order) {
        switch (s) {
            case Source::Mac: {
                if (!mac) break;
                const std::string exact = *mac + ".cfg";
                if (has(exact)) return exact;
                for (const std::string& f : files)
                    if (auto m = macOfFileName(f); m && *m == *mac) return f;
                break;
            }
            case Source::Name:
                if (name && has(*name + ".cfg")) return *name + ".cfg";
                break;
            case Source::Common:
                if (has(kCommonFile)) return std::string(kCommonFile);
                break;
        }
    }
    return std::nullopt;
}

std::string exportCsv(std::span<const Record> records) {
    std::array<bool, kKeyCount> used{};
    for (const Record& r : records)
        for (const Setting& s : r.settings) used[s.id] = true;
    std::vector<Id> columns;
    for (Id id : controlOrder())
        if (used[id]) columns.push_back(id);
    std::vector<int> column(kKeyCount, -1);
    for (std::size_t c = 0; c < columns.size(); ++c) column[columns[c]] = static_cast<int>(c);

    // Room for the cells as they are; quotes, where a cell needs them, grow it.
    std::size_t size = 1024;
    for (const Record& r : records) {
        size += r.file.size() + columns.size() + 3;
        for (const Setting& s : r.settings) size += s.value.size() + 2;
    }
    std::string out;
    out.reserve(size);
    std::vector<std::string_view> cells(columns.size() + 1);
    cells[0] = "file";
    for (std::size_t c = 0; c < columns.size(); ++c) cells[c + 1] = param(columns[c]).key;
    csv::appendRow(out, cells);
    // A name or value that a spreadsheet would take for a formula is marked as text; the
    // empty text, '', is written as it is.
    std::vector<bool> empty(columns.size() + 1);
    for (const Record& r : records) {
        std::fill(cells.begin(), cells.end(), std::string_view());
        std::fill(empty.begin(), empty.end(), false);
        cells[0] = r.file;
        for (const Setting& s : r.settings) {
            const std::size_t c = static_cast<std::size_t>(column[s.id]) + 1;
            cells[c] = s.value;
            empty[c] = s.value.empty();
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out += ',';
            if (empty[c]) {
                out += "''";
            } else {
                csv::appendMarkedField(out, cells[c]);
            }
        }
        out += "\r\n";
    }
    return out;
}

std::size_t secretCells(std::span<const Record> records) {
    std::size_t n = 0;
    for (const Record& r : records)
        for (const Setting& s : r.settings) n += param(s.id).has(Secret) && !s.value.empty();
    return n;
}

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
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            Scratch scratch;
            for (std::size_t k; (k = next.fetch_add(1)) < pending.size();)
                make(pending[k], scratch, outcomes[k]);
        };
        const std::size_t threads = readerThreads(pending.size());
        std::vector<std::thread> pool;
        for (std::size_t i = 1; i < threads; ++i) pool.emplace_back(work);
        work();
        for (std::thread& t : pool) t.join();
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

namespace {

// False with the reason when the plan is not one to write.
bool writable(const ImportPlan& plan, std::string& error) {
    if (plan.refusals.empty() && !plan.statusOnly) return true;
    error = plan.statusOnly ? "the plan holds no bytes" : "the plan holds refusals";
    return false;
}

// After a failure, the targets written before it as they were: a new file removed, a changed
// one given its old bytes; what cannot be put back is told after `error`.
// A new file written before a failure, removed again: the file made, which for a link is the
// file it leads to (the link stays as it was).
bool removeNew(const fs::path& root, const Target& t) {
    std::error_code ec;
    return fs::remove(root / pathOf(t.place.empty() ? t.file : t.place), ec);
}

void tellLeft(std::size_t left, std::string& error) {
    if (left > 0)
        error += "; " + std::to_string(left) + " file(s) written before could not be put back";
}

void restore(const fs::path& root, std::span<const Target* const> written,
             const ReplaceFile& replace, std::string& error) {
    std::size_t left = 0;
    for (const Target* w : written) {
        std::string ignored;
        if (w->status == Status::New) {
            if (!removeNew(root, *w)) ++left;
        } else if (!replace(inFolder(root, w->file), *w->old, ignored)) {
            ++left;
        }
    }
    tellLeft(left, error);
}

// The same through replaces of many files: the changed files get their old bytes back where
// they still hold the new ones. A file that does not is passed over and the rest go on; after a
// few such, one file at a time, so that the rewriting stays linear.
void restore(const fs::path& root, std::span<const Target* const> written,
             const ReplaceFiles& putBack, std::string& error) {
    constexpr int kWholeRetries = 16;
    std::size_t left = 0;
    std::vector<FileBytes> back;
    for (const Target* w : written) {
        if (w->status == Status::New) {
            if (!removeNew(root, *w)) ++left;
        } else {
            back.push_back({inFolder(root, w->file), *w->old, Status::Changed, w->bytes});
        }
    }
    std::span<const FileBytes> rest(back);
    for (int failures = 0; !rest.empty();) {
        const std::size_t take = failures < kWholeRetries ? rest.size() : 1;
        BatchFailure f;
        if (putBack(rest.first(take), f)) {
            rest = rest.subspan(take);
            continue;
        }
        ++failures;
        // The files before the failed one are back; the failed one stays as it is.
        const std::size_t failed = std::min(f.failed, take - 1);
        ++left;
        if (f.renamed < failed) {
            // It failed before its renames: the files before it are not back either.
            left += failed - f.renamed;
        }
        rest = rest.subspan(failed + 1);
    }
    tellLeft(left, error);
}

}  // namespace

bool writeImport(const ImportPlan& plan, const std::string& dir, const ReplaceFile& replace,
                 std::string& error) {
    if (!writable(plan, error)) return false;
    const fs::path root = pathOf(dir);
    std::vector<std::size_t> todo;
    for (std::size_t i = 0; i < plan.targets.size(); ++i)
        if (plan.targets[i].status != Status::Same) todo.push_back(i);

    // Each replace waits for its file to reach the disk; several wait at once.
    std::vector<char> written(todo.size(), 0);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex firstFailure;
    std::size_t failedAt = todo.size();
    const auto work = [&] {
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= todo.size() || failed) return;
            const Target& t = plan.targets[todo[k]];
            std::string why;
            if (replace(inFolder(root, t.file), t.bytes, why)) {
                written[k] = 1;
                continue;
            }
            failed = true;
            const std::lock_guard lock(firstFailure);
            if (k < failedAt) {
                failedAt = k;
                error = "cannot write " + t.file + ": " + why;
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>(kWriters, todo.size());
    std::vector<std::thread> pool;
    for (std::size_t i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    if (!failed) return true;

    std::vector<const Target*> done;
    for (std::size_t k = 0; k < todo.size(); ++k)
        if (written[k]) done.push_back(&plan.targets[todo[k]]);
    restore(root, done, replace, error);
    return false;
}

bool writeInOrder(const ImportPlan& plan, const std::string& dir, const ReplaceAsPlanned& replace,
                  WrittenInOrder& done, std::string& error) {
    done = {};
    if (!writable(plan, error)) return false;
    const fs::path root = pathOf(dir);
    for (const Target& t : plan.targets) {
        if (t.status == Status::Same) continue;
        std::string why;
        switch (replace(inFolder(root, t.file), t.bytes, t.old, why)) {
            case Replaced::Yes:
                done.written.push_back(t.file);
                break;
            case Replaced::NotAsPlanned:
                done.skipped.push_back(t.file);
                break;
            case Replaced::Failed:
                error = "cannot write " + t.file + ": " + why;
                return false;
        }
    }
    return true;
}

bool writeImport(const ImportPlan& plan, const std::string& dir, const ReplaceFiles& replaceAll,
                 const ReplaceFiles& putBack, std::string& error) {
    if (!writable(plan, error)) return false;
    const fs::path root = pathOf(dir);
    std::vector<const Target*> todo;
    std::vector<FileBytes> files;
    for (const Target& t : plan.targets) {
        if (t.status == Status::Same) continue;
        todo.push_back(&t);
        files.push_back({inFolder(root, t.file), t.bytes, t.status,
                         t.old ? std::string_view(*t.old) : std::string_view()});
    }
    if (files.empty()) return true;
    BatchFailure failure;
    if (replaceAll(files, failure)) return true;
    error = "cannot write " + todo[std::min(failure.failed, todo.size() - 1)]->file + ": " +
            failure.reason;
    // Put back what was renamed.
    restore(root, std::span(todo).first(std::min(failure.renamed, todo.size())), putBack, error);
    return false;
}

}  // namespace orbex::fleet
