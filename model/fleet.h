// A fleet of terminals in one folder, the TFTP root: a terminal loads the file named after its
// MAC address (AA^BB^CC^DD^EE^FF.cfg), else the one named after its computer name (NAME.cfg),
// else the common file default.cfg. Loading, checking across files, comparing, and the
// spreadsheet round trip of export and import, without writing anything until told to.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/catalogue.h"
#include "model/edit.h"
#include "model/lint.h"
#include "model/review.h"
#include "model/store.h"

namespace orbex::fleet {

inline constexpr std::string_view kCommonFile = "default.cfg";

enum class FileKind : std::uint8_t { Mac, Common, Name };

struct Classified {
    FileKind kind = FileKind::Name;
    std::string mac;          // Mac: the address, upper case, "AA^BB^CC^DD^EE^FF"
    bool badMacName = false;  // Name: the name holds "^" but is not a MAC file name
};
// By the file name alone (no folder): MAC file in either case, default.cfg, or a name file.
Classified classify(std::string_view fileName);

// A computer name that a terminal's file can be named after (NAME.cfg): not empty, no blanks at
// its start or end, no "/", "\\" or ":" (no part of a file name on Windows), no "^" (which
// would make it look like a MAC file), no control character.
bool isComputerName(std::string_view name);

// A file's bytes, or nullopt with the reason in `error`. The tool reads with its own limits;
// tests make it fail.
using ReadFile =
    std::function<std::optional<std::string>(const std::string& path, std::string& error)>;
// Replaces a file's bytes in one step; false with the reason in `error`.
using ReplaceFile =
    std::function<bool(const std::string& path, std::string_view bytes, std::string& error)>;

// One parameter the editor keeps, its value as `orbcfg-cli set` takes it (CHIPSET=auto_x).
struct Setting {
    Id id = 0;
    std::string value;
    bool operator==(const Setting&) const = default;
};
using Settings = std::vector<Setting>;  // in review order, set parameters only

// The review's verdict on the store (it resets what fails its checks, each through `warn`),
// then every parameter that is set.
Settings settingsOf(Store& store, const Warn& warn);
// What a configuration file keeps, as the editor saves it.
Settings settingsOf(std::string_view bytes, const Warn& warn);
// The value of the parameter in `settings`; nullptr when it is unset there.
const std::string* valueOf(const Settings& settings, Id id);

struct Difference {
    Id id = 0;
    std::optional<std::string> a, b;  // none: unset on that side
};
// The parameters whose state differs, in review order.
std::vector<Difference> diff(const Settings& a, const Settings& b);
// The differences as lines of text, each after `indent`: -KEY='value' for the state in `a`,
// +KEY='value' for the state in `b`.
std::string diffText(std::span<const Difference> differences, std::string_view indent = {});

// Finding codes.
namespace code {
inline constexpr std::string_view kIgnoredLine = "ignored-line";
inline constexpr std::string_view kResetValue = "reset-value";
inline constexpr std::string_view kDuplicateMac = "duplicate-mac";
inline constexpr std::string_view kDuplicateIp = "duplicate-ip";
inline constexpr std::string_view kDuplicateName = "duplicate-name";
inline constexpr std::string_view kBadMacName = "bad-mac-name";
inline constexpr std::string_view kTemporaryFile = "temporary-file";
}  // namespace code

inline constexpr std::size_t kNoGroup = static_cast<std::size_t>(-1);

struct Finding {
    std::string file;  // relative to the folder
    int line = 0;      // 0: the finding is about the file, not a line
    std::string key;   // empty: no key
    std::string_view code;
    // The parameters of a finding across files: what the files share (the address, the
    // computer name, the MAC as AA^BB^CC^DD^EE^FF), the group of the files that share it (an
    // index into the fleet's groups; kNoGroup for other findings), and its own record there (an
    // index into the records).
    std::string value;
    std::size_t group = kNoGroup;
    std::size_t record = kNoGroup;
    // A file's own finding (ignored-line, reset-value) says what of its line: `check`, with
    // `value`, `hint` and `xFlag` as orbex::Finding holds them.
    LintCode check = LintCode::NotParamLine;
    std::string hint{};
    bool xFlag = false;
    bool operator==(const Finding&) const = default;
};

// The files that share one MAC, address or computer name: indexes of records, in file order.
using Group = std::vector<std::size_t>;
// Other files a finding's message names; the rest it counts ("and 3,996 more").
inline constexpr std::size_t kNamedOthers = 3;

struct Record {
    std::string file;  // relative to the folder, "/" between folders
    Classified name;
    std::string error;  // why the file cannot be read; empty when it was read
    // The address and computer name the file sets (the last line of the key), empty when
    // it sets none; an address only when it passes its check.
    std::string ip, mname;
    int ipLine = 0, mnameLine = 0;
    Settings settings;              // with Options::settings
    std::vector<Id> reset;          // with Options::settings: the values the review reset
    std::vector<Finding> findings;  // of this file alone, with Options::findings
    bool findingsDropped = false;   // with Options::stream: it had more than kHeldFindings
};

struct Options {
    bool recursive = false;  // the .cfg files of subfolders too
    bool findings = true;    // lint each file
    bool settings = false;   // keep what each file stores (export, diff)
    // The findings are reported one at a time by forEachFinding, not gathered in the fleet:
    // a record holds at most kHeldFindings of its own, one with more holds none and is
    // checked again when they are reported.
    bool stream = false;
};
inline constexpr std::size_t kHeldFindings = 256;

struct Fleet {
    std::vector<Record> records;    // by file
    std::vector<Finding> findings;  // of every file and across files, by file, then line
                                    // (none with Options::stream)
    std::vector<Finding> across;    // those across files alone, by file, then line
    std::vector<Group> groups;      // the groups that findings across files name
    std::size_t unreadable = 0;     // records with an error
};

// What a folder holds for the fleet: its .cfg files (regular files, or links to them) and its
// temporary files, relative paths in byte order, and the subfolders that could not be listed.
struct Listing {
    std::vector<std::string> files;
    std::vector<std::string> temporaries;  // the names that `isTemporary` takes
    struct Unlisted {
        std::string folder;  // relative to the folder
        std::string reason;
    };
    std::vector<Unlisted> unlisted;
};
using NamePredicate = std::function<bool(std::string_view name)>;
// nullopt with the reason when the folder itself cannot be listed; a subfolder that cannot be
// (with `recursive`) is noted, and the rest is listed.
std::optional<Listing> list(const std::string& dir, bool recursive,
                            const NamePredicate& isTemporary, std::string& error);

// The .cfg files alone; nullopt with the reason when the folder or a subfolder cannot be
// listed (a subfolder's reason begins with its name).
std::optional<std::vector<std::string>> listFiles(const std::string& dir, bool recursive,
                                                  std::string& error);

// The finding of a temporary file left by a replace that did not end.
Finding temporaryFinding(std::string file);

// The path of a file of the folder (`file` relative to it), as the system opens it.
std::string pathInFolder(const std::string& dir, const std::string& file);

// One file of the folder (`file` relative to it), read once; a file that cannot be read is a
// record with its error. Its findings are its own: those across files come from crossFindings.
Record loadRecord(const std::string& dir, std::string file, const ReadFile& read,
                  const Options& options);

// The record of a file (`file` relative to the folder) from its bytes, or from the reason it
// cannot be read (nullopt bytes).
Record recordOf(std::string file, std::optional<std::string_view> bytes, std::string_view error,
                const Options& options);

// Reads every file once, several at a time (`read` must allow that). nullopt with the reason
// when the folder cannot be listed; a file that cannot be read is a record with its error.
std::optional<Fleet> load(const std::string& dir, const ReadFile& read, const Options& options,
                          std::string& error);

// The same over files that the caller lists (listFiles) and reads: `next` gives the bytes of
// each in list order (valid until its next call), or false with the reason in `error`.
using NextFile = std::function<bool(std::string_view& bytes, std::string& error)>;
Fleet load(std::span<const std::string> files, const NextFile& next, const Options& options);

// The findings across files (duplicate-mac, duplicate-ip, duplicate-name, bad-mac-name), by
// file, then line, and the groups they name.
struct Cross {
    std::vector<Finding> findings;
    std::vector<Group> groups;
};
Cross crossFindings(std::span<const Record> records);

// The files of a group as a finding's message names them: the others than `self`, at most
// kNamedOthers of them, then how many more ("a.cfg, b.cfg, c.cfg and 3,996 more").
std::string othersText(std::span<const Record> records, const Group& group, std::size_t self);

// What a finding says, in the words of orbcfg-cli lint ("'10.0.0.1' is also set by c.cfg"): a
// finding across files names the other files of its group, of `groups` over `records`.
std::string message(const Finding& finding, std::span<const Record> records,
                    std::span<const Group> groups);

// Every finding of a fleet, by file, then line: each record's own (a record that holds none of
// its many, with Options::stream, is read again through `read`, from `dir`), those across
// files and `extra` ones (sorted by file, then line), each handed to `report`. A record that
// cannot be read again is reported to `unread` with the reason.
void forEachFinding(const Fleet& fleet, std::span<const Finding> extra, const std::string& dir,
                    const ReadFile& read, const std::function<void(const Finding&)>& report,
                    const std::function<void(const Record&, const std::string&)>& unread);

// Which file a terminal loads.
enum class Source : std::uint8_t { Mac, Name, Common };
inline constexpr Source kTerminalOrder[] = {Source::Mac, Source::Name, Source::Common};
// `files` are the names in the folder; `mac` is canonical (parseMac), `name` the computer
// name. The MAC file counts in either case, its upper-case spelling first.
std::optional<std::string> resolve(std::span<const std::string> files,
                                   const std::optional<std::string>& mac,
                                   const std::optional<std::string>& name,
                                   std::span<const Source> order = kTerminalOrder);

// One CSV row per record: the column `file`, then one per key that some record sets, in review
// order. An unset parameter is an empty cell, the empty text the two characters ''. A name or
// value that begins with = + - @ TAB CR or ' gets a leading ' (csv::needsTextMark), which
// import drops again.
// Rfc4180: commas, no byte-order mark. Excel: what a spreadsheet of a Russian system opens in
// columns, semicolons after a byte-order mark. Both end their lines with CR LF; import takes
// either.
enum class CsvStyle : std::uint8_t { Rfc4180, Excel };
std::string exportCsv(std::span<const Record> records, CsvStyle style = CsvStyle::Rfc4180);
// How many cells of exportCsv hold a password (a non-empty value of a Secret key).
std::size_t secretCells(std::span<const Record> records);

enum class Status : std::uint8_t { New, Changed, Same };
std::string_view statusName(Status s);  // "new", "changed", "same"

struct Target {
    std::string file;  // name in the folder
    int row = 0;       // the CSV row it comes from, 1 being the header
    Status status = Status::New;
    std::string bytes;               // what the file is to hold
    std::optional<std::string> old;  // Changed: what it holds now
    // When `file` is a symbolic link: the file it leads to, relative to the folder, which a
    // write replaces or makes (and a put-back restores or removes); else empty.
    std::string place;
};

// Why an import or a bulk edit refuses; `subject`, `detail` and `number` as noted.
enum class RefusalCode : std::uint8_t {
    UnclosedQuote,     // the text is no CSV: a quoted field is not closed
    TextAfterQuote,    // nor when a closing quote is followed by text
    NoHeader,          // no header row
    SecondTarget,      // a second target column
    EmptyHeader,       // an empty header cell
    NotAKey,           // subject: the header that names no key
    SameKey,           // number: the column of the same key
    NoTargetColumn,    // none of file, mac, name
    CannotList,        // subject: the folder; detail: the system's reason
    BeyondLastColumn,  // a cell beyond the last column
    EmptyTarget,       // an empty target cell
    TargetBlanks,      // subject: the cell, with blanks at its start or end
    NotMac,            // subject: the cell
    NotComputerName,   // subject: the cell
    CommonByName,      // default.cfg named by a name column
    NotCfgName,        // subject: the cell
    LinkOut,           // subject: the file, a link that leads out of the folder
    SameTarget,        // subject: the file; number: the row that names it too
    SameFile,          // subject: the file; detail: the other name; number: its row
    BadValue,          // `key` and `value`; subject: the file of a bulk edit, if any
    SameMac,           // detail: the folder's file of the same MAC
    CannotRead,        // subject: the file; detail: the reason
    WouldChange,       // subject: the file, that exists and would change
    NotAFile,          // subject: the name, that exists and is no file
    // A layered source (model/layers.h): its device list, its files, a build of it.
    SecondGroups,  // a second groups column
    NotGroupName,  // subject: the name; detail: the source's file of that name, if any
    UnknownGroup,  // subject: the name
    GroupTwice,    // subject: the name, given twice in one row
    CommonTarget,  // default.cfg named as a terminal's file
    GroupTarget,   // subject: the file; detail: the group of the same name
    SameTerminal,  // subject: the file; detail: the other row's file; number: its row
    NoDeviceList,  // subject: the folder, that holds no devices.csv
    Drift,         // subject: the file, changed since the last build wrote it
    NotBuilt,      // subject: the file, that differs and that no build wrote
};

struct Refusal {
    int row = 0;     // 1-based CSV row; 0 when it is about the whole file
    int column = 0;  // 1-based; 0 when it is about the whole row
    std::string header;
    RefusalCode code = RefusalCode::NoHeader;
    std::string subject, detail;
    int number = 0;
    std::string key;          // BadValue: the key
    ValueRefusal value;       // BadValue: why its value is refused
    bool needsForce = false;  // an existing file that would change
};
// Why, in the words of orbcfg-cli: "a.cfg is the target of row 7 too".
std::string reasonText(const Refusal& refusal);

// The words a refusal's place is told in: "row 3, column 2 (IP)", with `row` "row " and
// `column` ", column "; `wholeFile` stands for the place of a refusal of the whole file.
struct PlaceWords {
    std::string_view row, column, wholeFile;
};
inline constexpr PlaceWords kEnglishPlace{"row ", ", column ", ""};
// Where in the CSV a refusal is, in the caller's words.
std::string placeText(const Refusal& refusal, const PlaceWords& words = kEnglishPlace);

// The refusals a plan keeps, the first by row; the others are only counted.
inline constexpr std::size_t kRefusalLimit = 20;

struct ImportPlan {
    std::vector<Target> targets;    // by row
    std::vector<Refusal> refusals;  // by row; when there is any, nothing may be written
    std::size_t moreRefusals = 0;   // refusals beyond the kRefusalLimit kept
    bool statusOnly = false;        // the targets hold no bytes: it cannot be written
};

struct ImportOptions {
    const Store* base = nullptr;  // the template's state (already reviewed); none: all unset
    bool force = false;           // an existing file may change
    bool keepBytes = true;        // false: each target keeps its status only (a dry run)
};

// What importing the CSV into the folder would write. Every row: the target from its `file`,
// `mac` or `name` cell; each non-empty cell of a key column set as `set` sets it, '' setting
// the empty text; then the file the editor would save. A cell's leading ' that marks it as
// text is dropped (csv::withoutTextMark). The header is refused at its first bad column; of
// the rows' refusals the first kRefusalLimit are kept. Nothing is written.
ImportPlan planImport(std::string_view csv, const std::string& dir, const ReadFile& read,
                      const ImportOptions& options);

// A bulk edit: the same changes (as `set` takes them) to each of the files of the folder, as
// the editor would save each. A refusal's row is the file's place in `files` (from 1); a file
// that cannot be read is refused too. Nothing is written; writeImport writes the plan.
ImportPlan planEdit(const std::string& dir, std::span<const std::string> files,
                    std::span<const Change> changes, const ReadFile& read);

// Writes the targets that are new or changed, several at a time (`replace` must allow that).
// When one cannot be written, those already written are put back as they were (new ones
// removed) and the reason is in `error`.
bool writeImport(const ImportPlan& plan, const std::string& dir, const ReplaceFile& replace,
                 std::string& error);

// How a replace went that must find its file as the plan saw it.
enum class Replaced : std::uint8_t { Yes, NotAsPlanned, Failed };
// Replaces a file only while it is as the plan saw it: holding `old`, or no file at all when
// `old` is none (a file that another program changed, made or removed meanwhile is theirs);
// NotAsPlanned, writing nothing, when it is not; Failed with the reason in `error`.
using ReplaceAsPlanned =
    std::function<Replaced(const std::string& path, std::string_view bytes,
                           const std::optional<std::string>& old, std::string& error)>;

struct WrittenInOrder {
    std::vector<std::string> written;  // the files written, in plan order
    std::vector<std::string> skipped;  // those another program changed or removed meanwhile
};
// Writes the targets that are new or changed one after another, in plan order. A file that is
// no longer as the plan saw it is skipped and named, the others go on; the first that cannot
// be written stops the rest (`error` names it and the reason). Nothing is put back; each file
// is whole, old or new.
bool writeInOrder(const ImportPlan& plan, const std::string& dir, const ReplaceAsPlanned& replace,
                  WrittenInOrder& done, std::string& error);

// Replaces many files at once (all written and made durable before the first rename). On
// failure: the file it failed at, how many of the first files were renamed already (they hold
// their new bytes), and the reason; the others are untouched.
// Each file says what it must be when it is replaced, so that another writer's file is never
// replaced: New, no file at all; Changed, the bytes `old` that were read.
struct FileBytes {
    std::string path;
    std::string_view bytes;
    Status status = Status::Changed;
    std::string_view old = {};
};
struct BatchFailure {
    std::size_t failed = 0;
    std::size_t renamed = 0;
    std::string reason;
};
using ReplaceFiles = std::function<bool(std::span<const FileBytes> files, BatchFailure& failure)>;

// The same through one replace of all the targets, with one flush for all of them; when it
// fails, the files it renamed are put back through `putBack` (each expected to hold what was
// just written; new ones removed).
bool writeImport(const ImportPlan& plan, const std::string& dir, const ReplaceFiles& replaceAll,
                 const ReplaceFiles& putBack, std::string& error);

}  // namespace orbex::fleet
