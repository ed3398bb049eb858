#include "cli/fleet_commands.h"

#include <climits>
#include <cstdio>
#include <ostream>

#include "cli/files.h"
#include "cli/fleet_shared.h"
#include "cli/layers_commands.h"
#include "model/fleet.h"
#include "model/fleet_disk.h"
#include "model/layers.h"
#include "model/mac.h"
#include "model/reader.h"
#include "model/text.h"

namespace orbex::cli {
namespace {

using namespace orbex::fleet;
using orbex::fleet::Finding;

// The files of the folder, read once and in order by a thread of their own while the files
// before them are checked.
Fleet loadFiles(const std::string& dir, const std::vector<std::string>& files,
                const Options& options) {
    fileio::ReadAhead reader(
        files.size(),
        [&](std::size_t i, std::string& path) {
            path = pathInFolder(dir, files[i]);
            return true;
        },
        fileio::ReadAhead::defaultThreaded(), fileio::Accept::Regular);
    return load(
        files,
        [&reader](std::string_view& bytes, std::string& why) {
            const fileio::ReadAhead::File file = reader.next();
            if (file.error) {
                why = reasonOf(*file.error);
                return false;
            }
            bytes = file.bytes;
            return true;
        },
        options);
}

// Every file of the folder; nullopt after the message when the folder cannot be listed.
std::optional<Fleet> loadFleet(Context& c, const std::string& dir, const Options& options) {
    std::string error;
    auto files = listFiles(dir, options.recursive, error);
    if (!files) return c.fail("cannot read folder '" + dir + "': " + error), std::nullopt;
    return loadFiles(dir, *files, options);
}

// The temporary files a replace left, as findings.
std::vector<Finding> temporaryFindings(const std::vector<std::string>& temporaries) {
    std::vector<Finding> out;
    out.reserve(temporaries.size());
    for (const std::string& t : temporaries) out.push_back(temporaryFinding(t));
    return out;
}

// An import's refusal: the first, and how many more; nothing is written.
int refusedImport(Context& c, const std::string& path, const ImportPlan& plan) {
    std::string line(c.nameOf(path));
    line += ": " + refusalText(plan.refusals.front());
    if (const std::size_t more = plan.refusals.size() - 1 + plan.moreRefusals; more > 0)
        line += "; and " + std::to_string(more) + " more refusal(s)";
    return c.fail(line + "; nothing written");
}

// A dry run's whole plan in row order: each target, each refusal; then the verdict.
int dryRunImport(Context& c, const std::string& path, const ImportPlan& plan, bool forced) {
    std::string out;
    std::size_t changed = 0;
    auto r = plan.refusals.begin();
    const auto refusalsUpTo = [&](int row) {
        for (; r != plan.refusals.end() && r->row <= row; ++r)
            out += "refused " + refusalText(*r) + "\n";
    };
    for (const Target& t : plan.targets) {
        refusalsUpTo(t.row);
        out += statusName(t.status);
        out += ' ';
        out += t.file;
        out += '\n';
        changed += t.status == Status::Changed;
    }
    refusalsUpTo(INT_MAX);
    const bool needsForce = plan.refusals.empty() && changed > 0 && !forced;
    if (needsForce)
        out +=
            "--force is needed to write it: " + std::to_string(changed) + " file(s) would change\n";
    c.out << out;
    if (written(c) != 0) return kUsageError;
    if (!plan.refusals.empty()) return refusedImport(c, path, plan);
    return needsForce ? 1 : 0;
}

}  // namespace

// The findings go out as they are made, file by file: a file of many bad lines, or many files
// that share one address, need no more memory than the fleet's records.
int lint(Context& c, Args args) {
    static constexpr Option kOptions[] = {{"--format", "", true}, {"--recursive", "-r", false}};
    auto ops = operands(c, args, false, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("lint takes one DIR");
    const std::string format = ops->has("--format") ? ops->options["--format"] : "text";
    if (format != "text" && format != "json")
        return c.usage("unknown format '" + format + "': text or json");
    const bool json = format == "json";
    const std::string dir(ops->files.front());
    if (layers::isSource(dir)) {
        if (ops->has("--recursive"))
            return c.usage("-r does not apply to a source (a folder holding devices.csv)");
        return lintSource(c, dir, json);
    }
    Options options;
    options.recursive = ops->has("--recursive");
    options.stream = true;
    std::string error;
    const auto listing = list(dir, options.recursive, fileio::isTemporaryName, error);
    if (!listing) return c.fail("cannot read folder '" + dir + "': " + error);
    bool failed = false;
    for (const Listing::Unlisted& u : listing->unlisted) {
        c.fail("cannot read folder '" + pathIn(dir, u.folder) + "': " + u.reason);
        failed = true;
    }
    const Fleet fleet = loadFiles(dir, listing->files, options);
    for (const Record& r : fleet.records)
        if (!r.error.empty()) c.fail("cannot read '" + pathIn(dir, r.file) + "': " + r.error);
    const std::vector<Finding> temporaries = temporaryFindings(listing->temporaries);

    Streamed out(c);
    std::size_t count = 0;
    if (json)
        out.text() = "{\"files\": " + std::to_string(fleet.records.size()) + ", \"findings\": [";
    forEachFinding(
        fleet, temporaries, dir, readWithLimits,
        [&](const Finding& f) {
            appendLintLine(out.text(), lintLineOf(f, fleet.records, fleet.groups), json, count);
            ++count;
            out.maybeFlush();
        },
        [&](const Record& r, const std::string& why) {
            c.fail("cannot read '" + pathIn(dir, r.file) + "': " + why);
            failed = true;
        });
    if (json) {
        out.text() += count == 0 ? "]" : "\n]";
        appendJsonGroups(out, fleet.records, fleet.groups);
    }
    out.finish();
    if (written(c) != 0) return kUsageError;
    if (failed || fleet.unreadable > 0) return kUsageError;
    return count == 0 ? 0 : 1;
}

int which(Context& c, Args args) {
    static constexpr Option kOptions[] = {
        {"--mac", "", true}, {"--name", "", true}, {"--order", "", true}};
    auto ops = operands(c, args, false, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("which takes one DIR");
    std::optional<std::string> mac, name;
    if (ops->has("--mac")) {
        mac = parseMac(ops->options["--mac"]);
        if (!mac) return c.usage("'" + ops->options["--mac"] + "' is not a MAC address");
    }
    if (ops->has("--name")) {
        name = ops->options["--name"];
        if (!isComputerName(*name))
            return c.usage("'" + text::printable(*name) + "' is not a computer name");
    }
    std::vector<Source> order(std::begin(kTerminalOrder), std::end(kTerminalOrder));
    if (ops->has("--order")) {
        order.clear();
        const std::string& text = ops->options["--order"];
        std::size_t pos = 0;
        while (pos <= text.size()) {
            std::size_t end = text.find(',', pos);
            if (end == std::string::npos) end = text.size();
            const std::string word = text.substr(pos, end - pos);
            const Source s = word == "mac"    ? Source::Mac
                             : word == "name" ? Source::Name
                                              : Source::Common;
            if (word != "mac" && word != "name" && word != "default")
                return c.usage("unknown source '" + word + "' in --order: mac, name, default");
            if (std::find(order.begin(), order.end(), s) != order.end())
                return c.usage("'" + word + "' given twice in --order");
            order.push_back(s);
            pos = end + 1;
        }
    }
    const std::string dir(ops->files.front());
    std::string error;
    const auto files = listFiles(dir, false, error);
    if (!files) return c.fail("cannot read folder '" + dir + "': " + error);
    const auto file = resolve(*files, mac, name, order);
    if (!file) return 1;
    c.out << *file << '\n';
    return written(c);
}

int diff(Context& c, Args args) {
    auto ops = operands(c, args, false);
    if (!ops) return kUsageError;
    if (ops->files.size() != 2) return c.usage("diff takes two FILEs");
    const std::string pathA(ops->files[0]);
    const std::string pathB(ops->files[1]);
    if (pathA == "-" && pathB == "-") return c.usage("only one FILE may be -");
    const auto a = c.load(pathA);
    if (!a) return kUsageError;
    const auto b = c.load(pathB);
    if (!b) return kUsageError;
    const auto differences = orbex::fleet::diff(settingsOf(*a, [&](Id id) { c.warn(pathA, id); }),
                                                settingsOf(*b, [&](Id id) { c.warn(pathB, id); }));
    c.out << diffText(differences);
    if (written(c) != 0) return kUsageError;
    return differences.empty() ? 0 : 1;
}

int exportFleet(Context& c, Args args) {
    static constexpr Option kOptions[] = {{"--excel", "", false}};
    auto ops = operands(c, args, true, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("export takes one DIR");
    const std::string dir(ops->files.front());
    Options options;
    options.findings = false;
    options.settings = true;
    const auto fleet = loadFleet(c, dir, options);
    if (!fleet) return kUsageError;
    for (const Record& r : fleet->records)
        if (!r.error.empty())
            return c.fail("cannot read '" + pathIn(dir, r.file) + "': " + r.error);
    for (const Record& r : fleet->records)
        for (Id id : r.reset) c.warn(pathIn(dir, r.file), id);
    // A new CSV is no more open than the files it is made from, and private when it holds a
    // password; the user is told how many it holds.
    const std::size_t secrets = secretCells(fleet->records);
    std::optional<unsigned> mode;
    if (ops->output && *ops->output != "-") {
        std::vector<std::string> sources;
        sources.reserve(fleet->records.size());
        for (const Record& r : fleet->records) sources.push_back(pathInFolder(dir, r.file));
        mode = fileio::newFileMode(sources, secrets > 0);
    }
    if (const int code = emit(
            c, *ops,
            exportCsv(fleet->records, ops->has("--excel") ? CsvStyle::Excel : CsvStyle::Rfc4180),
            mode);
        code != 0)
        return code;
    if (secrets > 0) {
        std::string keys;
        for (const Param& p : catalogue())
            if (p.has(Secret)) keys += (keys.empty() ? "" : ", ") + std::string(p.key);
        const std::string where =
            ops->output && *ops->output != "-" ? "'" + *ops->output + "'" : "standard output";
        c.err << "orbcfg-cli: " << text::printable(where) << " holds " << secrets
              << " password cell(s) (" << keys << ")\n";
    }
    return 0;
}

int importFleet(Context& c, Args args) {
    static constexpr Option kOptions[] = {{"--dir", "-d", true},
                                          {"--template", "", true},
                                          {"--dry-run", "-n", false},
                                          {"--force", "-f", false}};
    auto ops = operands(c, args, false, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("import takes one CSV");
    if (!ops->has("--dir")) return c.usage("import needs -d DIR");
    const std::string path(ops->files.front());
    const std::string& dir = ops->options["--dir"];
    std::optional<MemoryStore> base;
    if (ops->has("--template")) {
        const std::string& templ = ops->options["--template"];
        if (templ == "-" && path == "-") return c.usage("only one of CSV and --template may be -");
        const auto bytes = c.load(templ);
        if (!bytes) return kUsageError;
        base.emplace();
        readConfig(*bytes, *base);
        BuildReviewTable(*base, [&](Id id) { c.warn(templ, id); });
    }
    const auto csv = c.load(path, "too large a CSV to import");
    if (!csv) return kUsageError;
    std::string error;
    if (!listFiles(dir, false, error)) return c.fail("cannot read folder '" + dir + "': " + error);

    const bool dry = ops->has("--dry-run");
    ImportOptions options;
    options.base = base ? &*base : nullptr;
    // A dry run shows what would change whether or not --force is given, and says so.
    options.force = ops->has("--force") || dry;
    options.keepBytes = !dry;
    const ImportPlan plan = planImport(*csv, dir, readWithLimits, options);
    if (dry) return dryRunImport(c, path, plan, ops->has("--force"));
    if (!plan.refusals.empty()) return refusedImport(c, path, plan);
    // From the first file written until what was renamed is put back, SIGINT, SIGTERM and
    // SIGHUP wait; one that came ends the process when this scope does.
    const fileio::DeferSignals deferred;
    if (!writeImport(plan, dir, replaceAll, putBack, error)) return c.fail(error);
    return 0;
}

}  // namespace orbex::cli
