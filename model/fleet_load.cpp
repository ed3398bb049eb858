#include "model/fleet.h"

#include "model/checks.h"
#include "model/fleet_common.h"
#include "model/lint.h"
#include "model/parallel.h"
#include "model/reader.h"

namespace orbex::fleet {

using namespace detail;

namespace {

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

}  // namespace

Record loadRecord(const std::string& dir, std::string file, const ReadFile& read,
                  const Options& options) {
    std::string why;
    const auto bytes = read(pathInFolder(dir, file), why);
    return recordOf(std::move(file), bytes ? std::optional<std::string_view>(*bytes) : std::nullopt,
                    why, options);
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
    parallelFor(files->size(), readerThreads(files->size()), [&](std::size_t i) {
        fleet.records[i] = loadRecord(dir, std::move((*files)[i]), read, options);
    });
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

}  // namespace orbex::fleet
