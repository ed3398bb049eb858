#include "model/fleet.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "model/fleet_common.h"
#include "model/lint.h"

namespace orbex::fleet {

using namespace detail;

namespace {

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

// A count with commas between the thousands: 3,996.
std::string counted(std::size_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

Finding temporaryFinding(std::string file) {
    Finding f;
    f.file = std::move(file);
    f.code = code::kTemporaryFile;
    return f;
}

namespace {

// The records by MAC, by address and by computer name.
struct Groups {
    std::unordered_map<std::string, Group> macs, ips, names;
};

// Groups in the records' order, each record once in a group of each kind: the findings and the
// groups grow with the records, not with the square of a group. A name with ^ that is no MAC
// file name is found on the way.
Groups groupRecords(std::span<const Record> records, Cross& out) {
    Groups g;
    g.ips.reserve(records.size());
    g.names.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        if (!r.error.empty()) continue;
        if (r.name.kind == FileKind::Mac) g.macs[r.name.mac].push_back(i);
        if (r.name.badMacName) {
            Finding f;
            f.file = r.file;
            f.code = code::kBadMacName;
            out.findings.push_back(std::move(f));
        }
        if (!r.ip.empty()) g.ips[canonicalAddress(r.ip)].push_back(i);
        if (!r.mname.empty()) g.names[lowered(r.mname)].push_back(i);
    }
    return g;
}

// A finding for each file of each group of more than one, made by `finding`. The groups go in
// the order of their first file, so that the output does not depend on the hash table.
template <class MakeFinding>
void addShared(std::span<const Record> records, std::unordered_map<std::string, Group>& groups,
               const MakeFinding& finding, Cross& out) {
    std::vector<Group*> shared;
    for (auto& [value, group] : groups)
        if (group.size() > 1) shared.push_back(&group);
    std::sort(shared.begin(), shared.end(),
              [](const Group* a, const Group* b) { return a->front() < b->front(); });
    for (Group* group : shared) {
        const std::size_t index = out.groups.size();
        for (std::size_t i : *group) {
            Finding f = finding(records[i]);
            f.group = index;
            f.record = i;
            out.findings.push_back(std::move(f));
        }
        out.groups.push_back(std::move(*group));
    }
}

Finding shared(const Record& r, int line, std::string key, std::string_view code,
               std::string value) {
    Finding f;
    f.file = r.file;
    f.line = line;
    f.key = std::move(key);
    f.code = code;
    f.value = std::move(value);
    return f;
}

Finding sharedMac(const Record& r) {
    return shared(r, 0, "", code::kDuplicateMac, r.name.mac);
}

Finding sharedIp(const Record& r) {
    return shared(r, r.ipLine, "IP", code::kDuplicateIp, r.ip);
}

Finding sharedName(const Record& r) {
    return shared(r, r.mnameLine, "MNAME", code::kDuplicateName, r.mname);
}

}  // namespace

Cross crossFindings(std::span<const Record> records) {
    Cross out;
    Groups groups = groupRecords(records, out);
    addShared(records, groups.macs, sharedMac, out);
    addShared(records, groups.ips, sharedIp, out);
    addShared(records, groups.names, sharedName, out);
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

std::string message(const Finding& f, std::span<const Record> records,
                    std::span<const Group> groups) {
    if (f.code == code::kIgnoredLine || f.code == code::kResetValue)
        return orbex::message(orbex::Finding{f.line, f.key, f.check, f.value, f.hint, f.xFlag});
    if (f.code == code::kTemporaryFile)
        return "a temporary file of a replace that did not end (the program was stopped); the "
               "file it was to replace is whole, and this one may be removed";
    if (f.code == code::kBadMacName)
        return "the name holds ^ but is not a MAC file name (AA^BB^CC^DD^EE^FF.cfg); a terminal "
               "loads it only by a computer name of that spelling";
    const std::string others =
        f.group < groups.size() ? othersText(records, groups[f.group], f.record) : "";
    if (f.code == code::kDuplicateMac) return "MAC " + f.value + " is also named by " + others;
    if (f.code == code::kDuplicateIp || f.code == code::kDuplicateName)
        return inQuotes(f.value) + " is also set by " + others;
    return std::string(f.code);
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

}  // namespace orbex::fleet
