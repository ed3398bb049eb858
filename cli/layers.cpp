#include <algorithm>
#include <climits>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/files.h"
#include "cli/fleet_shared.h"
#include "cli/layers_commands.h"
#include "model/fleet_disk.h"
#include "model/layers.h"
#include "model/text.h"

namespace orbex::cli {
namespace {

using namespace orbex::layers;
using fleet::Refusal;

// Whether a name (UTF-8) is taken, by anything.
bool present(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(
        std::filesystem::path(std::u8string(path.begin(), path.end())), ec));
}

// The first refusal (of those that --force would not lift, when there are any), with where it
// is: a row of the device list `list`, or what `whole` names; and how many more.
std::string refusedLine(const std::string& list, const std::string& whole,
                        const std::vector<Refusal>& refusals, std::size_t more,
                        std::string_view then) {
    auto r = std::find_if(refusals.begin(), refusals.end(),
                          [](const Refusal& x) { return !x.needsForce; });
    if (r == refusals.end()) r = refusals.begin();
    std::string line = r->row > 0 ? list + ": " : std::string();
    // A refusal of a folder names the folder itself.
    const bool namesFolder = r->code == fleet::RefusalCode::NoDeviceList ||
                             (r->code == fleet::RefusalCode::CannotList && r->subject == whole);
    if (r->row == 0 && !namesFolder) line = whole + ": ";
    line += refusalText(*r);
    if (const std::size_t n = refusals.size() - 1 + more; n > 0)
        line += "; and " + std::to_string(n) + " more refusal(s)";
    return line + "; " + std::string(then);
}

std::string listOf(const std::string& src) {
    return pathIn(src, std::string(kDeviceList));
}

// The layers' own values that the review resets, each named once.
void warnLayers(Context& c, const std::string& src, const Source& s) {
    if (s.common)
        for (Id id : s.common->reset) c.warn(pathIn(src, s.common->file), id);
    for (const Layer& g : s.groups)
        for (Id id : g.reset) c.warn(pathIn(src, g.file), id);
}

// The refusals of a dry run, each on a line, up to the row given.
class RefusalLines {
  public:
    RefusalLines(std::string& out, const std::vector<Refusal>& refusals)
        : out_(out), refusals_(refusals) {}
    void upTo(int row) {
        for (; next_ < refusals_.size() && refusals_[next_].row <= row; ++next_)
            if (!refusals_[next_].needsForce)
                out_ += "refused " + refusalText(refusals_[next_]) + "\n";
    }

  private:
    std::string& out_;
    const std::vector<Refusal>& refusals_;
    std::size_t next_ = 0;
};

// A target of the plan as a dry run shows it: its status and name, and a drift's lines.
void appendTarget(std::string& out, const fleet::Target& t, const Built& b) {
    out += statusName(b.status);
    out += ' ';
    out += t.file;
    if (b.status == Status::Drift) out += b.foreign ? " (written by no build)" : "";
    out += '\n';
    if (b.status != Status::Drift) return;
    if (b.lines.empty()) out += "  (the same settings, in other bytes)\n";
    for (std::size_t at = 0; at < b.lines.size();) {
        const std::size_t end = b.lines.find('\n', at);
        out += "  " + b.lines.substr(at, end - at) + "\n";
        at = end + 1;
    }
}

void appendOrphan(std::string& out, const Orphan& o, bool prune) {
    out += "orphan " + o.file;
    if (o.edited) out += " (changed since the last build wrote it)";
    if (o.foreign) out += " (written by no build)";
    if (prune) out += o.remove ? ": removed" : ": kept, --force removes it";
    out += '\n';
}

std::size_t drifts(const BuildPlan& plan) {
    return static_cast<std::size_t>(
        std::count_if(plan.built.begin(), plan.built.end(),
                      [](const Built& b) { return b.status == Status::Drift; }));
}

bool refusedOutright(const BuildPlan& plan) {
    return std::any_of(plan.write.refusals.begin(), plan.write.refusals.end(),
                       [](const Refusal& r) { return !r.needsForce; }) ||
           plan.write.moreRefusals > 0;
}

// A dry run's whole plan: each target in row order, the refusals among them, the orphans;
// then what it needs.
int dryRunBuild(Context& c, const std::string& src, const std::string& dir, const BuildPlan& plan,
                bool force, bool prune) {
    std::string out;
    RefusalLines refusals(out, plan.write.refusals);
    for (std::size_t k = 0; k < plan.write.targets.size(); ++k) {
        refusals.upTo(plan.write.targets[k].row);
        appendTarget(out, plan.write.targets[k], plan.built[k]);
    }
    refusals.upTo(INT_MAX);
    for (const Orphan& o : plan.orphans) appendOrphan(out, o, prune);
    const bool refused = refusedOutright(plan);
    const bool needsForce = !refused && !force && drifts(plan) > 0;
    if (needsForce)
        out += "--force is needed to write it: " + std::to_string(drifts(plan)) +
               " file(s) changed since the last build wrote them, or written by no build\n";
    c.out << out;
    if (written(c) != 0) return kUsageError;
    if (refused)
        return c.fail(refusedLine(listOf(src), dir, plan.write.refusals, plan.write.moreRefusals,
                                  "nothing written"));
    return needsForce ? 1 : 0;
}

// The plan written, unless it is refused; a drift refused is shown with its lines.
int writeBuilt(Context& c, const std::string& src, const std::string& dir, const BuildPlan& plan,
               const BuildOptions& options) {
    if (refusedOutright(plan))
        return c.fail(refusedLine(listOf(src), dir, plan.write.refusals, plan.write.moreRefusals,
                                  "nothing written"));
    if (!plan.write.refusals.empty()) {
        std::string out;
        for (std::size_t k = 0; k < plan.write.targets.size(); ++k)
            if (plan.built[k].status == Status::Drift)
                appendTarget(out, plan.write.targets[k], plan.built[k]);
        c.out << out;
        if (written(c) != 0) return kUsageError;
        return c.fail(std::to_string(drifts(plan)) + " file(s) of " + dir +
                      " changed since the last build wrote them, or written by no build: "
                      "nothing written; --force overwrites them");
    }
    // From the first file written until what was renamed is put back, SIGINT, SIGTERM and
    // SIGHUP wait; one that came ends the process when this scope does.
    const fileio::DeferSignals deferred;
    const BuildWriters writers{options.force ? replaceAllForced : replaceAllTellingForce, putBack,
                               [](const std::string& path, std::string_view bytes,
                                  std::string& error) { return replaceFile(path, bytes, error); }};
    std::string error;
    if (!writeBuild(plan, dir, src, readWithLimits, writers, error)) return c.fail(error);
    for (const Orphan& o : plan.orphans)
        if (options.prune && !o.remove)
            c.err << "orbcfg-cli: kept " << text::printable(pathIn(dir, o.file))
                  << (o.edited ? ": changed since the last build wrote it"
                               : ": written by no build")
                  << "; --force removes it\n";
    return 0;
}

// The source of a command, or nullopt after the message (with a dry run's refusals on
// standard output).
std::optional<Source> sourceOf(Context& c, const std::string& src, bool dry,
                               std::string_view then) {
    Loaded loaded = loadSource(src, readWithLimits);
    if (loaded.refusals.empty()) {
        warnLayers(c, src, loaded.source);
        return std::move(loaded.source);
    }
    if (dry) {
        std::string out;
        for (const Refusal& r : loaded.refusals) out += "refused " + refusalText(r) + "\n";
        c.out << out;
        if (written(c) != 0) return std::nullopt;
    }
    c.fail(refusedLine(listOf(src), src, loaded.refusals, loaded.moreRefusals, then));
    return std::nullopt;
}

// False after the message when the source and the TFTP folder overlap.
bool apart(Context& c, const std::string& src, const std::string& dir) {
    if (!foldersOverlap(src, dir)) return true;
    c.fail("'" + src + "' and '" + dir +
           "' overlap: a source is kept outside the TFTP folder, and the TFTP folder outside it");
    return false;
}

}  // namespace

int build(Context& c, Args args) {
    static constexpr Option kOptions[] = {{"--dir", "-d", true, "a folder name"},
                                          {"--dry-run", "-n", false},
                                          {"--force", "-f", false},
                                          {"--prune", "", false}};
    auto ops = operands(c, args, false, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("build takes one SRC");
    if (!ops->has("--dir")) return c.usage("build needs -d TFTPDIR");
    const std::string src(ops->files.front());
    const std::string& dir = ops->options["--dir"];
    if (!apart(c, src, dir)) return kUsageError;
    const bool dry = ops->has("--dry-run"), force = ops->has("--force");
    const auto source = sourceOf(c, src, dry, "nothing written");
    if (!source) return kUsageError;
    std::string error;
    const auto manifest = readManifest(src, readWithLimits, error);
    if (!manifest) return c.fail(pathIn(src, std::string(kManifest)) + ": " + error);
    BuildOptions options;
    options.force = force;
    options.prune = ops->has("--prune");
    options.keepBytes = !dry;
    const BuildPlan plan = planBuild(*source, dir, *manifest, readWithLimits, options);
    for (std::size_t k = 0; k < plan.built.size(); ++k)
        for (Id id : plan.built[k].reset) c.warn(pathIn(dir, plan.write.targets[k].file), id);
    if (dry) return dryRunBuild(c, src, dir, plan, force, options.prune);
    return writeBuilt(c, src, dir, plan, options);
}

namespace {

std::string layerText(const Source& s, const LayerRef& l) {
    switch (l.kind) {
        case LayerRef::Kind::Common:
            return "default";
        case LayerRef::Kind::Group:
            return "group " + s.groups[l.group].name;
        case LayerRef::Kind::Device:
            break;
    }
    return "device";
}

std::string stateText(const std::optional<std::string>& value) {
    return value ? "'" + *value + "'" : "unset";
}

// KEY='value'  device (overrides group kassa: 'x', default: 'y')
void appendExplainedText(std::string& out, const Source& s, const Explained& e) {
    out += param(e.id).key;
    out += e.value ? "='" + *e.value + "'" : " unset";
    out += "  " + layerText(s, e.layer);
    if (e.reset) out += ": '" + *e.reset + "', which the review resets in this file";
    for (std::size_t k = 0; k < e.overrides.size(); ++k) {
        out += k == 0 ? " (overrides " : ", ";
        out += layerText(s, e.overrides[k].layer) + ": " + stateText(e.overrides[k].value);
    }
    out += e.overrides.empty() ? "\n" : ")\n";
}

void appendJsonValue(std::string& out, const std::optional<std::string>& value) {
    if (value) {
        appendJson(out, *value);
    } else {
        out += "null";
    }
}

// {"key": ..., "value": ... or null, "layer": ..., "overrides": [{"layer": ..., "value": ...}]}
void appendExplainedJson(std::string& out, const Source& s, const Explained& e, bool first) {
    out += first ? "\n{\"key\": " : ",\n{\"key\": ";
    appendJson(out, param(e.id).key);
    out += ", \"value\": ";
    appendJsonValue(out, e.value);
    out += ", \"layer\": ";
    appendJson(out, layerText(s, e.layer));
    if (e.reset) {
        out += ", \"reset\": ";
        appendJson(out, *e.reset);
    }
    out += ", \"overrides\": [";
    for (std::size_t k = 0; k < e.overrides.size(); ++k) {
        out += k == 0 ? "{\"layer\": " : ", {\"layer\": ";
        appendJson(out, layerText(s, e.overrides[k].layer));
        out += ", \"value\": ";
        appendJsonValue(out, e.overrides[k].value);
        out += '}';
    }
    out += "]}";
}

// A key asked for that no layer sets or unsets.
void appendUntouched(std::string& out, Id id, bool json, bool first) {
    if (!json) {
        out += std::string(param(id).key) + " unset  (no layer sets it)\n";
        return;
    }
    out += first ? "\n{\"key\": " : ",\n{\"key\": ";
    appendJson(out, param(id).key);
    out += ", \"value\": null, \"layer\": null, \"overrides\": []}";
}

// The explanation of the keys asked for (all when none), in review order.
std::string explained(const Source& s, const std::vector<Explained>& rows,
                      const std::vector<Id>& keys, bool json) {
    std::string out = json ? "[" : "";
    bool first = true;
    const auto asked = [&](Id id) {
        return keys.empty() || std::find(keys.begin(), keys.end(), id) != keys.end();
    };
    for (const Explained& e : rows) {
        if (!asked(e.id)) continue;
        if (json) {
            appendExplainedJson(out, s, e, first);
        } else {
            appendExplainedText(out, s, e);
        }
        first = false;
    }
    for (Id id : keys) {
        if (std::any_of(rows.begin(), rows.end(), [&](const Explained& e) { return e.id == id; }))
            continue;
        appendUntouched(out, id, json, first);
        first = false;
    }
    if (json) out += first ? "]\n" : "\n]\n";
    return out;
}

}  // namespace

int explain(Context& c, Args args) {
    static constexpr Option kOptions[] = {{"--format", "", true}};
    auto ops = operands(c, args, false, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.size() < 2) return c.usage("explain takes SRC and TERMINAL, then KEYs");
    const std::string format = ops->has("--format") ? ops->options["--format"] : "text";
    if (format != "text" && format != "json")
        return c.usage("unknown format '" + format + "': text or json");
    std::vector<Id> keys;
    for (std::size_t k = 2; k < ops->files.size(); ++k) {
        const auto id = find(ops->files[k]);
        if (!id || !param(*id).hasControl())
            return c.usage("unknown key '" + std::string(ops->files[k]) + "'");
        keys.push_back(*id);
    }
    const std::string src(ops->files[0]);
    const std::string terminal(ops->files[1]);
    const auto source = sourceOf(c, src, false, "lint names them all");
    if (!source) return kUsageError;
    const auto device = findDevice(*source, terminal);
    if (!device) {
        c.err << "orbcfg-cli: no row of " << text::printable(pathIn(src, std::string(kDeviceList)))
              << " is for '" << text::printable(terminal) << "'\n";
        return 1;
    }
    const BuiltFile file = buildDevice(*source, *device);
    if (file.refusal)
        return c.fail(refusedLine(listOf(src), src, {*file.refusal}, 0, "lint names them all"));
    c.out << explained(*source, explain(*source, *device, &file.settings), keys, format == "json");
    return written(c);
}

namespace {

// An item of lint SRC, with the row it is about (0: a file's own, before the rows).
struct SourceItem {
    int row = 0;
    int column = 0;
    LintLine line;
};

void refusalItems(const std::vector<Refusal>& refusals, std::vector<SourceItem>& items) {
    for (const Refusal& r : refusals) {
        Refusal placed = r;
        placed.row = 0;
        SourceItem item{r.row, r.column, {}};
        item.line.file = r.row > 0                                    ? kDeviceList
                         : r.code == fleet::RefusalCode::NotGroupName ? std::string_view(r.detail)
                                                                      : std::string_view(r.subject);
        item.line.line = r.row;
        item.line.code = lintCode(r.code);
        // The row is the line's; the column stands before the reason.
        static constexpr fleet::PlaceWords kColumn{"", "column ", ""};
        const std::string column = fleet::placeText(placed, kColumn);
        item.line.message =
            column.empty() ? refusalText(placed) : column + ": " + fleet::reasonText(placed);
        items.push_back(std::move(item));
    }
}

std::vector<SourceItem> sourceItems(const Loaded& loaded, const SourceLint& lint) {
    std::vector<SourceItem> items;
    for (const fleet::Finding& f : lint.files)
        items.push_back({0, 0, lintLineOf(f, lint.built, lint.across.groups)});
    refusalItems(loaded.refusals, items);
    refusalItems(lint.refusals, items);
    for (const fleet::Finding& f : lint.across.findings) {
        SourceItem item{lint.rows[f.record], 0, lintLineOf(f, lint.built, lint.across.groups)};
        item.line.file = item.row > 0 ? kDeviceList : fleet::kCommonFile;
        item.line.line = item.row;
        items.push_back(std::move(item));
    }
    std::stable_sort(items.begin(), items.end(), [](const SourceItem& a, const SourceItem& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    return items;
}

}  // namespace

int lintSource(Context& c, const std::string& src, bool json) {
    const Loaded loaded = loadSource(src, readWithLimits, kAllRefusals);
    const SourceLint lint = lintSource(loaded.source);
    const std::vector<SourceItem> items = sourceItems(loaded, lint);
    Streamed out(c);
    if (json) out.text() = "{\"files\": " + std::to_string(lint.built.size()) + ", \"findings\": [";
    bool unreadable = false;
    for (std::size_t k = 0; k < items.size(); ++k) {
        appendLintLine(out.text(), items[k].line, json, k);
        unreadable = unreadable || items[k].line.code == lintCode(fleet::RefusalCode::CannotRead);
        out.maybeFlush();
    }
    if (json) {
        out.text() += items.empty() ? "]" : "\n]";
        appendJsonGroups(out, lint.built, lint.across.groups);
    }
    out.finish();
    if (written(c) != 0 || unreadable) return kUsageError;
    return items.empty() ? 0 : 1;
}

namespace {

// The files of a new source, written in one batch (put back on a failure): each new, or with
// --force replacing what is there. New files are no more open than the TFTP folder's.
bool writeSource(Context& c, const std::string& src, const std::vector<fleet::Target>& files,
                 std::optional<unsigned> mode) {
    std::string error;
    for (const std::string_view folder : {std::string_view(), kGroupFolder, kManifestFolder})
        if (!makeFolder(folder.empty() ? src : pathIn(src, std::string(folder)), error))
            return c.fail("cannot make the folder '" + pathIn(src, std::string(folder)) +
                          "': " + error),
                   false;
    fleet::ImportPlan plan;
    plan.targets = files;
    for (fleet::Target& t : plan.targets) {
        const std::string path = fleet::pathInFolder(src, t.file);
        if (!present(path)) continue;
        auto old = readWithLimits(path, error);
        if (!old) return c.fail("cannot read '" + pathIn(src, t.file) + "': " + error), false;
        t.status = *old == t.bytes ? fleet::Status::Same : fleet::Status::Changed;
        t.old = std::move(*old);
    }
    const auto replace = [mode](std::span<const fleet::FileBytes> batch,
                                fleet::BatchFailure& failure) {
        fileio::ReplaceOptions options;
        options.stopOnSignal = true;
        options.newFileMode = mode;
        return fleet::replacePlanned(batch, failure, fleet::englishReason, options);
    };
    const fileio::DeferSignals deferred;
    if (fleet::writeImport(plan, src, replace, putBack, error)) return true;
    return c.fail(error), false;
}

// The TFTP folder's files, each with what the editor keeps of it; nullopt after the message.
std::optional<fleet::Fleet> folderOf(Context& c, const std::string& dir) {
    fleet::Options options;
    options.findings = false;
    options.settings = true;
    std::string error;
    auto fleet = fleet::load(dir, readWithLimits, options, error);
    if (!fleet) return c.fail("cannot read folder '" + dir + "': " + error), std::nullopt;
    for (const fleet::Record& r : fleet->records)
        if (!r.error.empty())
            return c.fail("cannot read '" + pathIn(dir, r.file) + "': " + r.error), std::nullopt;
    return fleet;
}

// What a build of the new source over the folder would do: every file it would rewrite named;
// the manifest of what the folder holds. False after the message when a build would refuse.
bool checkInitial(Context& c, const std::string& dir, const Source& source, Manifest& manifest) {
    BuildOptions options;
    options.force = true;
    options.keepBytes = false;
    const BuildPlan plan = planBuild(source, dir, Manifest{}, readWithLimits, options);
    if (refusedOutright(plan))
        return c.fail(refusedLine(dir, dir, plan.write.refusals, plan.write.moreRefusals,
                                  "nothing written")),
               false;
    manifest.folder = manifestFolder(dir);
    for (std::size_t k = 0; k < plan.write.targets.size(); ++k) {
        const std::string& file = plan.write.targets[k].file;
        if (!plan.built[k].current.empty()) manifest.hashes[file] = plan.built[k].current;
        if (plan.built[k].status != Status::Same)
            c.err << "orbcfg-cli: " << text::printable(pathIn(dir, file))
                  << " is not as the editor saves it: build will rewrite it\n";
    }
    return true;
}

}  // namespace

int init(Context& c, Args args) {
    static constexpr Option kOptions[] = {{"--from", "", true, "a folder name"},
                                          {"--force", "-f", false}};
    auto ops = operands(c, args, false, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("init takes one SRC");
    if (!ops->has("--from")) return c.usage("init needs --from TFTPDIR");
    const std::string src(ops->files.front());
    const std::string& dir = ops->options["--from"];
    if (!apart(c, src, dir)) return kUsageError;
    if (!ops->has("--force") &&
        (isSource(src) || present(fleet::pathInFolder(src, std::string(kManifest)))))
        return c.fail("'" + src + "' holds a source already; --force replaces it");
    const auto fleet = folderOf(c, dir);
    if (!fleet) return kUsageError;
    const Initial initial = initialSource(fleet->records);
    for (const Refusal& r : initial.leftOut)
        c.err << "orbcfg-cli: " << text::printable(pathIn(dir, r.subject))
              << " is left out: " << text::printable(reasonText(r)) << '\n';
    std::vector<fleet::Target> files(1);
    files[0].file = kDeviceList;
    files[0].bytes = initial.devices;
    std::optional<Layer> common;
    std::vector<std::string> sources;
    for (const fleet::Record& r : fleet->records) {
        sources.push_back(fleet::pathInFolder(dir, r.file));
        if (r.file != fleet::kCommonFile) continue;
        std::string error;
        auto bytes = readWithLimits(sources.back(), error);
        if (!bytes) return c.fail("cannot read '" + pathIn(dir, r.file) + "': " + error);
        common = layerOf(r.file, {}, *bytes);
        files.push_back({r.file, 0, fleet::Status::New, std::move(*bytes), {}, {}});
    }
    const Loaded loaded = readDevices(initial.devices, std::move(common), {});
    if (!loaded.refusals.empty())
        return c.fail(
            refusedLine(listOf(src), src, loaded.refusals, loaded.moreRefusals, "nothing written"));
    Manifest manifest;
    if (!checkInitial(c, dir, loaded.source, manifest)) return kUsageError;
    files.push_back(
        {std::string(kManifest), 0, fleet::Status::New, manifestText(manifest), {}, {}});
    const bool secret = fleet::secretCells(fleet->records) > 0;
    return writeSource(c, src, files, fileio::newFileMode(sources, secret)) ? 0 : kUsageError;
}
}  // namespace orbex::cli
