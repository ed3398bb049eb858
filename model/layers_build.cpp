#include <algorithm>
#include <map>
#include <system_error>
#include <unordered_set>

#include "model/edit.h"
#include "model/fleet_common.h"
#include "model/fleet_rows.h"
#include "model/layers.h"
#include "model/layers_common.h"
#include "model/parallel.h"
#include "model/sha256.h"
#include "model/writer.h"

namespace orbex::layers {

using namespace fleet::detail;
using fleet::Refusal;
using fleet::RefusalCode;

std::string_view statusName(Status status) {
    switch (status) {
        case Status::New:
            return "new";
        case Status::Changed:
            return "changed";
        case Status::Same:
            return "same";
        case Status::Drift:
            return "drift";
        case Status::Orphan:
            break;
    }
    return "orphan";
}

namespace detail {

void applyLayer(Store& store, const Layer& layer, Scratch& scratch) {
    scratch.changes.clear();
    for (const fleet::Setting& s : layer.settings)
        scratch.changes.push_back({s.id, std::string_view(s.value)});
    applyValues(store, scratch.changes);
}

// The device's own cells on the store that holds its layers above, then the file.
void finishDevice(const Device& d, Scratch& scratch, BuiltFile& out) {
    scratch.changes.clear();
    for (const Cell& c : d.cells)
        scratch.changes.push_back(
            {c.id, c.value ? std::optional<std::string_view>(*c.value) : std::nullopt});
    applyPassedChanges(scratch.store, scratch.changes, scratch.edit);
    out.bytes = WriteConfig(scratch.edit.table);
    out.reset = scratch.edit.reset;
    if (!scratch.edit.refused) return;
    // A value of the row that the review resets in this file: refused as import refuses it.
    const Id id = *scratch.edit.refused;
    out.refusal = badValue(param(id).key, scratch.edit.why);
    out.refusal->row = d.row;
    out.refusal->header = param(id).key;
    for (const Cell& c : d.cells)
        if (c.id == id) out.refusal->column = c.column;
}

Builder::Builder(const Source& source) : source_(source) {
    Scratch scratch;
    MemoryStore base;
    if (source.common) applyLayer(base, *source.common, scratch);
    combos_.push_back(base);
    // Each combination of groups that rows name, made once.
    std::map<std::vector<std::size_t>, std::size_t> seen{{{}, 0}};
    comboOf_.reserve(source.devices.size());
    for (const Device& d : source.devices) {
        const auto [it, fresh] = seen.emplace(d.groups, combos_.size());
        if (fresh) {
            MemoryStore store = base;
            for (std::size_t g : d.groups) applyLayer(store, source.groups[g], scratch);
            combos_.push_back(std::move(store));
        }
        comboOf_.push_back(it->second);
    }
}

void Builder::device(std::size_t d, Scratch& scratch, BuiltFile& out) const {
    scratch.store = combos_[comboOf_[d]];
    finishDevice(source_.devices[d], scratch, out);
}

void Builder::common(Scratch& scratch, BuiltFile& out) const {
    scratch.store = combos_.front();
    scratch.changes.clear();
    applyPassedChanges(scratch.store, scratch.changes, scratch.edit);
    out.bytes = WriteConfig(scratch.edit.table);
    out.reset = scratch.edit.reset;
}

}  // namespace detail

using namespace detail;

BuiltFile buildDevice(const Source& source, std::size_t device) {
    Scratch scratch;
    const Device& d = source.devices[device];
    if (source.common) applyLayer(scratch.store, *source.common, scratch);
    for (std::size_t g : d.groups) applyLayer(scratch.store, source.groups[g], scratch);
    BuiltFile out;
    finishDevice(d, scratch, out);
    out.settings = fleet::settingsOf(scratch.store, [](Id) {});
    return out;
}

BuiltFile buildCommon(const Source& source) {
    Scratch scratch;
    BuiltFile out;
    Builder(Source{source.common, {}, {}, {}, 0}).common(scratch, out);
    out.settings = fleet::settingsOf(scratch.store, [](Id) {});
    return out;
}

void forEachBuilt(const Source& source,
                  const std::function<void(std::size_t device, BuiltFile& file)>& done) {
    const Builder builder(source);
    const std::size_t n = source.devices.size();
    parallelForWith<Scratch>(n, readerThreads(n), [&](Scratch& scratch, std::size_t k) {
        BuiltFile file;
        builder.device(k, scratch, file);
        done(k, file);
    });
}

namespace {

// Where a build is in planning: the folder looked at, the targets named and placed, each made and
// compared with what the folder holds (several at a time), then the orphans and the manifest.
class Planner {
  public:
    Planner(const Source& source, const std::string& dir, const Manifest& manifest,
            const fleet::ReadFile& read, const BuildOptions& options)
        : source_(source),
          dir_(dir),
          manifest_(manifest),
          read_(read),
          options_(options),
          root_(pathOf(dir)) {}
    BuildPlan run();

  private:
    struct Slot {
        std::size_t device = kCommon;
        int row = 0;
        std::string file, place;
        std::optional<Refusal> refusal;
        fleet::Target target;
        Built built;
        std::string hash;  // of the bytes built
    };
    static constexpr std::size_t kCommon = static_cast<std::size_t>(-1);

    void add(Refusal r);
    bool lookAtFolder();
    void placeTarget(Slot& slot);
    void make(Slot& slot, Scratch& scratch, const Builder& builder) const;
    void compare(Slot& slot, std::string bytes) const;
    void drift(Slot& slot, const std::string& old, const std::string& bytes) const;
    void findOrphans();
    void orphan(const std::string& file);
    const std::string* known(const std::string& file) const;
    void makeManifest();

    const Source& source_;
    const std::string& dir_;
    const Manifest& manifest_;
    const fleet::ReadFile& read_;
    const BuildOptions& options_;
    fs::path root_, canonicalRoot_;
    bool sameFolder_ = false;
    std::vector<std::string> present_;
    std::unordered_set<std::string> presentKeys_;
    std::vector<Slot> slots_;
    std::unordered_map<std::string, std::size_t> landings_;  // where a write lands -> its slot
    BuildPlan plan_;
};

// The refusals that --force lifts are all kept, one a target at most: a plan that only they
// refuse is told from one refused for good.
void Planner::add(Refusal r) {
    if (r.needsForce || plan_.write.refusals.size() < fleet::kRefusalLimit) {
        plan_.write.refusals.push_back(std::move(r));
    } else {
        ++plan_.write.moreRefusals;
    }
}

// The files already there, and whether the manifest is of this folder.
bool Planner::lookAtFolder() {
    std::string error;
    auto files = fleet::listFiles(dir_, false, error);
    std::error_code ec;
    if (files) canonicalRoot_ = fs::canonical(root_, ec);
    if (!files || ec) {
        add(because(RefusalCode::CannotList, dir_, files ? ec.message() : error));
        return false;
    }
    present_ = std::move(*files);
    for (const std::string& f : present_) presentKeys_.insert(sameFileKey(f));
    sameFolder_ = !manifest_.folder.empty() && manifest_.folder == manifestFolder(dir_);
    return true;
}

// A target's name, and the file it lands on through links: in the folder, and no other
// target's.
void Planner::placeTarget(Slot& slot) {
    const auto refuse = [&](Refusal r) {
        r.row = slot.row;
        if (slot.device != kCommon) {
            r.column = source_.targetColumn;
            r.header = source_.targetHeader;
        }
        slot.refusal = std::move(r);
    };
    bool link = false;
    auto lands = landing(root_, canonicalRoot_, slot.file, link);
    if (!lands) return refuse(because(RefusalCode::LinkOut, slot.file));
    if (link) slot.place = *lands;
    const std::size_t self = static_cast<std::size_t>(&slot - slots_.data());
    const auto [it, fresh] = landings_.emplace(sameFileKey(*lands), self);
    if (!fresh) {
        const Slot& other = slots_[it->second];
        refuse(because(RefusalCode::SameFile, slot.file, other.file, other.row));
    }
}

// The manifest's hash of a file, when the manifest is of this folder and holds one.
const std::string* Planner::known(const std::string& file) const {
    if (!sameFolder_) return nullptr;
    const auto it = manifest_.hashes.find(file);
    return it == manifest_.hashes.end() ? nullptr : &it->second;
}

// A file that the build would change and that it did not write as it is: its lines.
void Planner::drift(Slot& slot, const std::string& old, const std::string& bytes) const {
    slot.built.status = Status::Drift;
    slot.built.foreign = known(slot.file) == nullptr;
    const auto lines =
        fleet::diff(fleet::settingsOf(old, [](Id) {}), fleet::settingsOf(bytes, [](Id) {}));
    slot.built.lines = fleet::diffText(lines);
    if (options_.force) return;
    Refusal r = because(slot.built.foreign ? RefusalCode::NotBuilt : RefusalCode::Drift, slot.file);
    r.row = slot.row;
    r.needsForce = true;
    slot.refusal = std::move(r);
}

// The built bytes against what the folder holds: new, the same, outdated (the file holds what
// the last build wrote), or drift.
void Planner::compare(Slot& slot, std::string bytes) const {
    fleet::Target& t = slot.target;
    if (presentKeys_.contains(sameFileKey(slot.file))) {
        std::string why;
        auto old = read_(inFolder(root_, slot.file), why);
        if (!old) {
            slot.refusal = because(RefusalCode::CannotRead, slot.file, why);
            slot.refusal->row = slot.row;
            return;
        }
        slot.built.current = *old == bytes ? slot.hash : sha256Hex(*old);
        if (*old == bytes) {
            t.status = fleet::Status::Same;
            slot.built.status = Status::Same;
        } else {
            const std::string* hash = known(slot.file);
            t.status = fleet::Status::Changed;
            slot.built.status = Status::Changed;
            if (!hash || *hash != slot.built.current) drift(slot, *old, bytes);
            if (options_.keepBytes) t.old = std::move(*old);
        }
    } else {
        std::error_code ec;
        if (fs::exists(root_ / pathOf(slot.file), ec)) {
            slot.refusal = because(RefusalCode::NotAFile, slot.file);
            slot.refusal->row = slot.row;
            return;
        }
    }
    // A file that stays as it is needs no bytes: a plan of many holds only what it writes.
    if (options_.keepBytes && t.status != fleet::Status::Same) t.bytes = std::move(bytes);
}

void Planner::make(Slot& slot, Scratch& scratch, const Builder& builder) const {
    if (slot.refusal) return;
    BuiltFile file;
    if (slot.device == kCommon) {
        builder.common(scratch, file);
    } else {
        builder.device(slot.device, scratch, file);
    }
    if (file.refusal) {
        slot.refusal = std::move(file.refusal);
        return;
    }
    slot.built.reset = std::move(file.reset);
    slot.hash = sha256Hex(file.bytes);
    slot.target.file = slot.file;
    slot.target.row = slot.row;
    slot.target.place = slot.place;
    compare(slot, std::move(file.bytes));
}

// A .cfg file at the top of the folder that no target names or lands on.
void Planner::orphan(const std::string& file) {
    Orphan o;
    o.file = file;
    std::string why;
    auto bytes = read_(inFolder(root_, file), why);
    if (!bytes) {
        if (options_.prune) add(because(RefusalCode::CannotRead, file, why));
        o.foreign = true;
        plan_.orphans.push_back(std::move(o));
        return;
    }
    o.current = sha256Hex(*bytes);
    const std::string* hash = known(file);
    o.foreign = hash == nullptr;
    o.edited = hash && *hash != o.current;
    o.remove = options_.prune && (options_.force || (!o.foreign && !o.edited));
    if (o.remove) o.bytes = std::move(*bytes);
    plan_.orphans.push_back(std::move(o));
}

void Planner::findOrphans() {
    std::unordered_set<std::string> built;
    for (const Slot& s : slots_) {
        built.insert(sameFileKey(s.file));
        if (!s.place.empty()) built.insert(sameFileKey(s.place));
    }
    for (const std::string& f : present_)
        if (f != fleet::kCommonFile && !built.contains(sameFileKey(f))) orphan(f);
}

// What the folder holds from the build once the plan is written: every target's bytes, and
// the orphans kept, with what the last build wrote of them.
void Planner::makeManifest() {
    Manifest& next = plan_.next;
    next.folder = manifestFolder(dir_);
    for (const Slot& s : slots_) next.hashes[s.file] = s.hash;
    for (const Orphan& o : plan_.orphans)
        if (const std::string* hash = known(o.file); hash && !o.remove) next.hashes[o.file] = *hash;
    plan_.manifestChanged = next.folder != manifest_.folder || next.hashes != manifest_.hashes;
}

BuildPlan Planner::run() {
    plan_.write.statusOnly = !options_.keepBytes;
    if (!lookAtFolder()) return std::move(plan_);
    const auto slot = [this](std::size_t device, int row, const std::string& file) {
        Slot& s = slots_.emplace_back();
        s.device = device;
        s.row = row;
        s.file = file;
    };
    slots_.reserve(source_.devices.size() + 1);
    if (source_.common) slot(kCommon, 0, std::string(fleet::kCommonFile));
    for (std::size_t d = 0; d < source_.devices.size(); ++d)
        slot(d, source_.devices[d].row, source_.devices[d].file);
    for (Slot& s : slots_) placeTarget(s);
    const Builder builder(source_);
    parallelForWith<Scratch>(
        slots_.size(), readerThreads(slots_.size()),
        [&](Scratch& scratch, std::size_t k) { make(slots_[k], scratch, builder); });
    for (Slot& s : slots_) {
        if (s.refusal) add(std::move(*s.refusal));
        if (s.target.file.empty()) continue;
        plan_.write.targets.push_back(std::move(s.target));
        plan_.built.push_back(std::move(s.built));
    }
    findOrphans();
    makeManifest();
    return std::move(plan_);
}

}  // namespace

BuildPlan planBuild(const Source& source, const std::string& tftpDir, const Manifest& manifest,
                    const fleet::ReadFile& read, const BuildOptions& options) {
    return Planner(source, tftpDir, manifest, read, options).run();
}

bool writeBuild(const BuildPlan& plan, const std::string& tftpDir, const std::string& srcDir,
                const fleet::ReadFile& read, const BuildWriters& writers, std::string& error) {
    if (!fleet::writeImport(plan.write, tftpDir, writers.replaceAll, writers.putBack, error))
        return false;
    const fs::path root = pathOf(tftpDir);
    Manifest next = plan.next;
    std::string failed;
    for (const Orphan& o : plan.orphans) {
        if (!o.remove) continue;
        // Removed only while it holds what the plan read: another writer's change stays.
        std::string why;
        const auto now = read(inFolder(root, o.file), why);
        std::error_code ec;
        if (now && *now == o.bytes && fs::remove(root / pathOf(o.file), ec)) continue;
        if (failed.empty())
            failed = "cannot remove " + o.file + ": " +
                     (!now              ? why
                      : *now != o.bytes ? "changed since it was read"
                                        : ec.message());
        if (!o.foreign && !o.edited) next.hashes[o.file] = o.current;  // still what a build wrote
    }
    const bool wrote =
        std::any_of(plan.write.targets.begin(), plan.write.targets.end(),
                    [](const fleet::Target& t) { return t.status != fleet::Status::Same; });
    if (plan.manifestChanged || wrote || !failed.empty()) {
        std::error_code ec;
        const fs::path folder = pathOf(srcDir) / pathOf(kManifestFolder);
        fs::create_directories(folder, ec);
        std::string why;
        if (ec || !writers.replace(inFolder(pathOf(srcDir), std::string(kManifest)),
                                   manifestText(next), why)) {
            error = "the files are written, but not the manifest " + std::string(kManifest) + ": " +
                    (ec ? ec.message() : why);
            return false;
        }
    }
    error = failed;
    return failed.empty();
}

}  // namespace orbex::layers
