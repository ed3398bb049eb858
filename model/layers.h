// A layered source: the administrator's folder, kept outside the TFTP root, from which the TFTP
// folder is built. `default.cfg` is the common layer, `groups/NAME.cfg` a layer per group, and
// `devices.csv` a row per terminal: its target (as import takes it), its groups in order and its
// own values. A terminal's file is default.cfg, then each of its groups, then its own cells, a
// later layer winning per parameter, written as the editor saves it. A build knows the bytes it
// wrote by their SHA-256 in a manifest beside the source, and so tells a file edited by hand
// since (drift) from one that is merely outdated.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/catalogue.h"
#include "model/fleet.h"

namespace orbex::layers {

inline constexpr std::string_view kDeviceList = "devices.csv";
inline constexpr std::string_view kGroupFolder = "groups";
inline constexpr std::string_view kGroupsHeader = "groups";
// The manifest of the last build, relative to the source.
inline constexpr std::string_view kManifestFolder = ".build";
inline constexpr std::string_view kManifest = ".build/manifest";
// A device's cell that makes the parameter unset in its file; the value "-" is written '-.
inline constexpr std::string_view kUnsetCell = "-";

// A group's name, as groups/NAME.cfg and the groups cells spell it: a computer name
// (fleet::isComputerName) without blanks or "|", which separate the groups of a row.
bool isGroupName(std::string_view name);

// True when the folder holds a source: a devices.csv.
bool isSource(const std::string& dir);
// True when the two folders are one, or one holds the other (links followed; a folder that does
// not exist yet counts by the path it would have): a source is kept outside the TFTP folder.
bool foldersOverlap(const std::string& a, const std::string& b);

// One configuration file of the source as a layer: what the editor keeps of it.
struct Layer {
    std::string file;                      // relative to the source: default.cfg, groups/kassa.cfg
    std::string name;                      // a group's name
    fleet::Settings settings;              // in review order
    std::vector<Id> reset;                 // values of the file that the review resets
    std::vector<fleet::Finding> findings;  // its own, as lint reports them
};
Layer layerOf(std::string file, std::string name, std::string_view bytes);

struct Cell {
    Id id = 0;
    std::optional<std::string> value;  // none: "-", unset in the device's file
    int column = 0;                    // from 1
};

struct Device {
    int row = 0;                      // of devices.csv, 1 being the header
    std::string file;                 // the file it builds in the TFTP folder
    std::string mac;                  // AA^BB^CC^DD^EE^FF when the file is a MAC file
    std::vector<std::size_t> groups;  // into Source::groups, the last one winning
    std::vector<Cell> cells;          // by column
};

struct Source {
    std::optional<Layer> common;  // default.cfg; none: the source has none, nor is one built
    std::vector<Layer> groups;    // by name
    std::vector<Device> devices;  // by row
    std::string targetHeader;     // the target column, as refusals name it
    int targetColumn = 0;
};

struct Loaded {
    Source source;
    std::vector<fleet::Refusal> refusals;  // by row, then column; any: nothing may be built
    std::size_t moreRefusals = 0;          // beyond those kept
};

// Every refusal kept (lint), or the first fleet::kRefusalLimit of them.
inline constexpr std::size_t kAllRefusals = static_cast<std::size_t>(-1);

// The source in the folder `dir`: its devices.csv (none: NoDeviceList), default.cfg and
// groups/*.cfg (a .cfg there that is no file, or whose name is no group name, is refused).
Loaded loadSource(const std::string& dir, const fleet::ReadFile& read,
                  std::size_t keep = fleet::kRefusalLimit);

// The device list's text over layers at hand (a group's unsaved bytes, a source made in
// memory): the devices and the refusals of the list.
Loaded readDevices(std::string_view csv, std::optional<Layer> common, std::vector<Layer> groups,
                   std::size_t keep = fleet::kRefusalLimit);

// One terminal's file, or the common one, as the editor saves it.
struct BuiltFile {
    std::string bytes;
    fleet::Settings settings;               // what it keeps
    std::vector<Id> reset;                  // values of its layers that the review resets in it
    std::optional<fleet::Refusal> refusal;  // a device's own value that the review resets
};
BuiltFile buildDevice(const Source& source, std::size_t device);
BuiltFile buildCommon(const Source& source);

// Every device's file, several at a time: `done(device, file)` from any of the threads, each
// device once.
void forEachBuilt(const Source& source,
                  const std::function<void(std::size_t device, BuiltFile& file)>& done);

// Which layer gives a parameter its state.
struct LayerRef {
    enum class Kind : std::uint8_t { Common, Group, Device } kind = Kind::Common;
    std::size_t group = 0;  // Group: into Source::groups
    bool operator==(const LayerRef&) const = default;
};

struct Overridden {
    LayerRef layer;
    std::optional<std::string> value;  // none: unset there (a device's "-")
};

struct Explained {
    Id id = 0;
    std::optional<std::string> value;  // in the built file; none: unset
    LayerRef layer;                    // the layer that decides it
    // The layer's value that the review resets in this file (then `value` is none).
    std::optional<std::string> reset;
    std::vector<Overridden> overrides;  // the layers below it that set it, nearest first
};

// Every parameter that a layer of the device sets or unsets, in review order. With the built
// file's settings (buildDevice), a value that the review resets there is told as such; without
// them, in time linear in the layers' settings.
std::vector<Explained> explain(const Source& source, std::size_t device,
                               const fleet::Settings* built = nullptr);

// The device a terminal is: a MAC in any spelling, a file name of the TFTP folder, or a computer
// name: the row of its NAME.cfg, else the one row whose file sets that MNAME (regardless of
// case). nullopt when there is none, or two rows set the name.
std::optional<std::size_t> findDevice(const Source& source, std::string_view terminal);

// The manifest of the last build: the TFTP folder it wrote (canonical, as text::escapedName
// spells it) and the SHA-256 of each file it holds from that build.
struct Manifest {
    std::string folder;
    std::unordered_map<std::string, std::string> hashes;  // file -> 64 hex digits
};
// nullopt when the text is no manifest.
std::optional<Manifest> parseManifest(std::string_view text);
// Files in byte order.
std::string manifestText(const Manifest& manifest);
// The folder as the manifest names it; empty when it cannot be made canonical.
std::string manifestFolder(const std::string& dir);
// The manifest of the source in `dir`: an empty one when there is none yet; nullopt with the
// reason when it cannot be read or is no manifest.
std::optional<Manifest> readManifest(const std::string& dir, const fleet::ReadFile& read,
                                     std::string& error);

enum class Status : std::uint8_t { New, Changed, Same, Drift, Orphan };
std::string_view statusName(Status status);  // new, changed, same, drift, orphan

// What the plan knows of a target beside what writeImport writes.
struct Built {
    Status status = Status::New;
    bool foreign = false;   // Drift: no build wrote the file (not in the manifest of its folder)
    std::string lines;      // Drift: its differing lines, as diff shows them (- now, + built)
    std::vector<Id> reset;  // values of its layers that the review resets in it
    std::string current;    // the SHA-256 of what the file holds now; empty: no file
};

// A .cfg file at the top of the TFTP folder that no row builds (never default.cfg).
struct Orphan {
    std::string file;
    bool edited = false;   // changed since the build that wrote it
    bool foreign = false;  // written by no build
    bool remove = false;   // --prune removes it (an edited or foreign one only with --force)
    std::string bytes;     // what it holds: a removal checks it again
    std::string current;   // its SHA-256
};

struct BuildOptions {
    bool force = false;     // drift and files no build wrote are overwritten
    bool prune = false;     // orphans are removed
    bool keepBytes = true;  // false: statuses only (a dry run); it cannot be written
};

struct BuildPlan {
    // The targets, default.cfg first, then by row, with the refusals (a drift without --force
    // among them): what writeImport writes. A target that stays the same holds no bytes.
    fleet::ImportPlan write;
    std::vector<Built> built;      // beside write.targets
    std::vector<Orphan> orphans;   // by name
    Manifest next;                 // the manifest once the plan is written
    bool manifestChanged = false;  // it differs from the one read
};

// What building the source into the TFTP folder would write. Nothing is written.
BuildPlan planBuild(const Source& source, const std::string& tftpDir, const Manifest& manifest,
                    const fleet::ReadFile& read, const BuildOptions& options);

struct BuildWriters {
    fleet::ReplaceFiles replaceAll, putBack;  // as writeImport takes them
    fleet::ReplaceFile replace;               // the manifest
};
// Writes the plan: its files in one batch (put back on a failure), then the orphans it removes
// (each only while it still holds what the plan read), then the manifest into the source `srcDir`
// (only after the files). False with the reason in `error`.
bool writeBuild(const BuildPlan& plan, const std::string& tftpDir, const std::string& srcDir,
                const fleet::ReadFile& read, const BuildWriters& writers, std::string& error);

// The findings of a source as lint gives them: its files' own, and those across the files it
// builds (their records name them "FILE (row R)"; the first is default.cfg when it is built).
struct SourceLint {
    std::vector<fleet::Finding> files;  // default.cfg, then the groups' files
    std::vector<fleet::Record> built;
    std::vector<int> rows;  // beside `built`: the row of each, 0 for default.cfg
    fleet::Cross across;
    std::vector<fleet::Refusal> refusals;  // rows whose own value the review resets, by row
};
SourceLint lintSource(const Source& source);
// The code of a refusal of the device list as lint reports it: bad-header, bad-target,
// unknown-group, bad-group, same-terminal, bad-value, unreadable.
std::string_view lintCode(fleet::RefusalCode code);

// The device list of a source made from a TFTP folder's files (records with settings, by
// name): one row per file but default.cfg, its target the file's name, no groups, its cells the
// file's departures from default.cfg. A file that no row can name (a MAC file whose MAC has a
// file already, its twin in another case; a name that a file cell refuses) is left out, with
// the refusal its row would get.
struct Initial {
    std::string devices;  // devices.csv
    std::vector<fleet::Refusal> leftOut;
};
Initial initialSource(std::span<const fleet::Record> records);

}  // namespace orbex::layers
