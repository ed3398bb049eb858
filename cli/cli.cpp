#include "cli/cli.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/context.h"
#include "cli/fetched.h"
#include "cli/files.h"
#include "cli/fleet_commands.h"
#include "cli/layers_commands.h"
#include "model/chmproject.h"
#include "model/edit.h"
#include "model/helpbook.h"
#include "model/lint.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/writer.h"

namespace orbex::cli {
namespace {

constexpr std::string_view kCommands =
    "Usage: orbcfg-cli COMMAND [ARGS]\n"
    "Checks and rewrites ORBEX terminal configuration files.\n"
    "\n"
    "Commands:\n"
    "  show FILE                 print the review table the editor builds after opening FILE:\n"
    "                            key, value, description and shown text, separated by tabs\n"
    "  normalize FILE [-o OUT | -i] [--force]\n"
    "                            write the bytes the editor saves after opening FILE,\n"
    "                            to standard output or, replacing it in one step, to OUT\n"
    "                            (-i: to FILE itself)\n"
    "  check FILE...             report the lines that reading ignores and the values the\n"
    "                            review would reset; exit 1 when anything is reported\n"
    "  get FILE KEY              print the value FILE stores for KEY; exit 1 when it is unset\n"
    "  set FILE [KEY=VALUE]... [-u KEY]... [-o OUT | -i] [--force]\n"
    "                            change values (as stored: CHIPSET=auto_x, AUTOSTART=on) or\n"
    "                            make them unset, and write the result as normalize does;\n"
    "                            -i edits FILE in place under a lock, so that edits made at\n"
    "                            the same time all take effect\n"
    "  preset NAME FILE [-o OUT] [--force]\n"
    "                            apply a typical configuration to FILE and write the result\n"
    "                            as normalize does; NAME is one of weak, fast, comfort,\n"
    "                            traffic, print-server, windows2000\n"
    "  doc [-o OUT] [--force]    print the help book: every key, its values and checks (HTML)\n"
    "  doc --chm-project DIR     write the HTML Help project of orbex.chm into DIR, made of the\n"
    "                            same sections (compile it on Windows: hhc DIR/orbex.hhp)\n"
    "\n"
    "A folder of terminal files (AA^BB^CC^DD^EE^FF.cfg by MAC, NAME.cfg by computer name,\n"
    "default.cfg for all others):\n"
    "  lint DIR [--format text|json] [-r]\n"
    "                            report what check reports for every file, and MAC files,\n"
    "                            addresses (IP) and computer names (MNAME) given twice,\n"
    "                            names holding ^ that are no MAC file name, and temporary\n"
    "                            files a stopped write left; -r: subfolders too\n"
    "  which DIR [--mac MAC] [--name NAME] [--order mac,name,default]\n"
    "                            print the file that terminal loads; exit 1 when there is none\n"
    "  diff A B                  print the parameters A and B keep differently, in review\n"
    "                            order: -KEY='value' from A, +KEY='value' from B; exit 1 if any\n"
    "  export DIR [-o FILE.csv] [--excel]\n"
    "                            one CSV row per file: file, then a column per key set in any\n"
    "                            file; an empty cell is unset, '' the empty text; a cell\n"
    "                            beginning with = + - @ gets a leading ' (import drops it);\n"
    "                            --excel: semicolons after a byte-order mark, for a spreadsheet\n"
    "                            on a Russian system (import takes either)\n"
    "  import CSV -d DIR [--template FILE] [--dry-run] [--force]\n"
    "                            write one file per row, named by its file, mac or name\n"
    "                            column; other columns are keys, set as set does. Any refusal\n"
    "                            writes nothing; an existing file changes only with --force;\n"
    "                            --dry-run prints each target as new, changed or same, and\n"
    "                            each refusal; exit 1 when only --force would write it\n"
    "\n"
    "A layered source SRC, a folder outside the TFTP folder: default.cfg, groups/NAME.cfg,\n"
    "devices.csv (a target column as import's, a groups column, key cells: empty inherits,\n"
    "- unsets, '' is the empty text, '- the value -):\n"
    "  build SRC -d TFTPDIR [--dry-run] [--force] [--prune]\n"
    "                            write default.cfg and every row's file: default.cfg, then its\n"
    "                            groups in order, then its cells, the later winning. A file\n"
    "                            changed since the last build wrote it (drift) or written by no\n"
    "                            build is refused without --force; any refusal writes nothing;\n"
    "                            --dry-run prints each file new, changed, same, drift (with its\n"
    "                            lines) or orphan (a .cfg no row builds; --prune removes it);\n"
    "                            exit 1 when only --force would write it\n"
    "  explain SRC TERMINAL [KEY...] [--format text|json]\n"
    "                            every parameter of the file of TERMINAL (a MAC or a name), the\n"
    "                            layer it comes from and the values it overrides\n"
    "  init SRC --from TFTPDIR [--force]\n"
    "                            make a source from a folder: its default.cfg, a row per file\n"
    "                            with its departures from default.cfg, no groups\n"
    "  lint SRC [--format text|json]\n"
    "                            check the source's files, its device list and what it builds\n"
    "\n"
    "What the terminals fetched, from the TFTP server's log (tftpd-hpa, dnsmasq, Tftpd64):\n"
    "  fetched LOG... [-d DIR] [--since TIME] [--format text|json|csv]\n"
    "          [--format-of-log tftpd-hpa|dnsmasq|tftpd64]\n"
    "                            each terminal's requests for .cfg files, served or missing,\n"
    "                            and the file it ended with; LOG may be - or gzip-compressed;\n"
    "                            with DIR also: fell-back (the common or name file although\n"
    "                            DIR holds its MAC file), never-fetched, served-with-findings,\n"
    "                            unknown-request; exit 1 when any of these is reported\n"
    "\n"
    "FILE may be - for standard input; a FILE larger than ";
constexpr std::string_view kOptions =
    " is refused. A read-only OUT is\n"
    "refused unless --force is given. Warnings of the review go to standard error.\n"
    "Options: --help, --version.\n"
    "Exit codes: 0 success, 1 findings of check or lint, differences of diff, no file for\n"
    "which, flags of fetched, a dry run that needs --force, 2 a bad command line or a file\n"
    "that cannot be read or written.\n";

// The page of --help, with the input bound as every message spells it.
std::string usage() {
    return std::string(kCommands) + fileio::inputLimitText() + std::string(kOptions);
}

// For a command that reads FILE and writes OUT: the lock that an edit in place holds from its
// read to its replace (OUT is FILE, or -i); none when the output goes elsewhere. False after
// the error message.
bool lockInPlace(Context& c, Operands& ops, std::unique_ptr<fileio::Lock>& lock) {
    const std::string path(ops.files.front());
    if (ops.inPlace) {
        if (path == "-") return c.usage("option '-i' needs a FILE, not standard input"), false;
        ops.output = path;
    } else if (!ops.output || *ops.output == "-" || path == "-" ||
               !fileio::sameFile(path, *ops.output)) {
        return true;
    }
    fileio::Error e;
    lock = fileio::Lock::acquire(path, e);
    if (!lock) return c.fail("cannot read '" + path + "': " + e.reason), false;
    return true;
}

int show(Context& c, Args args) {
    auto ops = operands(c, args, false);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("show takes one FILE");
    const std::string path(ops->files.front());
    auto bytes = c.load(path);
    if (!bytes) return kUsageError;
    std::string text;
    for (const ReviewRow& row : c.review(path, *bytes)) {
        text += row.key;
        text += '\t';
        text += row.storedValue();
        text += '\t';
        text += row.description;
        text += '\t';
        text += row.shownText;
        text += '\n';
    }
    c.out << text << std::flush;
    return c.out ? 0 : c.fail("cannot write standard output");
}

int normalize(Context& c, Args args) {
    auto ops = operands(c, args, true, false, {}, true);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("normalize takes one FILE");
    const std::string path(ops->files.front());
    std::unique_ptr<fileio::Lock> lock;
    if (!lockInPlace(c, *ops, lock)) return kUsageError;
    auto bytes = c.load(path);
    if (!bytes) return kUsageError;
    return emit(c, *ops, normalizeConfig(*bytes, [&](Id id) { c.warn(path, id); }), modeFrom(path));
}

int doc(Context& c, Args args) {
    // --chm-project DIR: the HTML Help project of orbex.chm, written into DIR.
    static constexpr Option kOptions[] = {{"--chm-project", "", true, "a folder name"}};
    auto ops = operands(c, args, true, false, kOptions);
    if (!ops) return kUsageError;
    if (!ops->files.empty()) return c.usage("doc takes no FILE");
    if (!ops->has("--chm-project")) return emit(c, *ops, helpBook());
    const std::string& chm = ops->options.at("--chm-project");
    if (ops->output) return c.usage("doc takes either -o or --chm-project");
    if (chm.empty()) return c.usage("option '--chm-project' needs a folder name");
    std::string error;
    if (!makeFolder(chm, error)) return c.fail("cannot make the folder '" + chm + "': " + error);
    fileio::ReplaceOptions options;
    options.force = ops->force;
    for (const HelpFile& f : chmProject()) {
        const std::string path = chm + "/" + f.name;
        if (!replaceFile(path, f.bytes, error, options))
            return c.fail("cannot write '" + path + "': " + error);
    }
    return 0;
}

int get(Context& c, Args args) {
    auto ops = operands(c, args, false);
    if (!ops) return kUsageError;
    if (ops->files.size() != 2) return c.usage("get takes FILE and KEY");
    const std::string path(ops->files[0]);
    const std::string key(ops->files[1]);
    if (!find(key)) return c.usage("unknown key '" + key + "'");
    auto bytes = c.load(path);
    if (!bytes) return kUsageError;
    for (const ReviewRow& row : c.review(path, *bytes)) {
        if (row.key != key) continue;
        c.out << row.storedValue() << '\n' << std::flush;
        return c.out ? 0 : c.fail("cannot write standard output");
    }
    return 1;  // unset: the file does not hold the key
}

int set(Context& c, Args args) {
    auto ops = operands(c, args, true, true, {}, true);
    if (!ops) return kUsageError;
    if (ops->files.empty()) return c.usage("set takes FILE, then KEY=VALUE or -u KEY");
    const std::string path(ops->files.front());
    std::vector<Change> changes;
    for (std::size_t i = 1; i < ops->files.size(); ++i) {
        const std::string_view a = ops->files[i];
        const std::size_t eq = a.find('=');
        if (eq == std::string::npos) return c.usage("'" + std::string(a) + "' is not KEY=VALUE");
        const std::string key(a.substr(0, eq)), value(a.substr(eq + 1));
        const auto id = find(key);
        if (!id) return c.usage("unknown key '" + key + "'");
        if (std::string why = refusal(param(*id), value); !why.empty())
            return c.fail(key + " " + why);
        changes.push_back({*id, value});
    }
    for (const std::string& key : ops->unset) {
        const auto id = find(key);
        if (!id || !unsetRefusal(param(*id)).empty()) return c.usage("unknown key '" + key + "'");
        changes.push_back({*id, std::nullopt});
    }
    std::unique_ptr<fileio::Lock> lock;
    if (!lockInPlace(c, *ops, lock)) return kUsageError;
    auto bytes = c.load(path);
    if (!bytes) return kUsageError;

    MemoryStore store;
    readConfig(*bytes, store);
    // A value given here that the review would reset is refused, and nothing is written.
    const Edit edit = applyChanges(store, changes);
    if (edit.refused) return c.fail(edit.reason);
    for (Id id : edit.reset) c.warn(path, id);
    return emit(c, *ops, WriteConfig(edit.table), modeFrom(path));
}

// A typical configuration of the editor's menu, applied to the file as the menu does.
int preset(Context& c, Args args) {
    auto ops = operands(c, args, true);
    if (!ops) return kUsageError;
    if (ops->files.size() != 2) return c.usage("preset takes NAME and FILE");
    const Preset* chosen = findPreset(ops->files[0]);
    if (!chosen) return c.usage("unknown preset '" + std::string(ops->files[0]) + "'");
    const std::string path(ops->files[1]);
    auto bytes = c.load(path);
    if (!bytes) return kUsageError;
    MemoryStore store;
    readConfig(*bytes, store);
    applyPreset(store, *chosen);
    return emit(c, *ops, WriteConfig(BuildReviewTable(store, [&](Id id) { c.warn(path, id); })),
                modeFrom(path));
}

int check(Context& c, Args args) {
    auto ops = operands(c, args, false);
    if (!ops) return kUsageError;
    if (ops->files.empty()) return c.usage("check takes at least one FILE");
    int code = 0;
    std::string out, input;
    // The files are read ahead, in order, while the ones before them are checked; standard
    // input is read here.
    const std::span<const std::string_view> files = ops->files;
    fileio::ReadAhead reader(files.size(), [&files](std::size_t i, std::string& path) {
        if (files[i] == "-") return false;
        path.assign(files[i]);
        return true;
    });
    // One report for all files (a lambda of many captures would be stored anew for each).
    std::string_view name;
    const std::function<void(const Finding&)> report = [&](const Finding& f) {
        out += name;
        out += ':';
        out += std::to_string(f.line);
        out += ": ";
        if (!f.key.empty()) {
            out += f.key;
            out += ": ";
        }
        out += message(f);
        out += '\n';
        if (code == 0) code = 1;
        if (out.size() > 65536) {
            c.out << out;
            out.clear();
        }
    };
    for (const std::string_view path : files) {
        const fileio::ReadAhead::File file = reader.next();
        std::string_view bytes = file.bytes;
        if (file.error) {
            code = c.readFailure(path, *file.error);
            continue;
        }
        if (file.skipped) {
            if (!c.load("-", input)) {
                code = kUsageError;
                continue;
            }
            bytes = input;
        }
        name = c.nameOf(path);
        lintConfig(bytes, report);
    }
    c.out << out << std::flush;
    return c.out ? code : c.fail("cannot write standard output");
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    const std::vector<std::string_view> views(args.begin(), args.end());
    return run(Args(views), in, out, err);
}

int run(Args args, std::istream& in, std::ostream& out, std::ostream& err) {
    Context c{in, out, err};
    if (args.empty()) return c.usage("no command given");
    const std::string_view command = args.front();
    // A page that cannot be written is a failure like any other output's.
    const auto page = [&](std::string_view text) {
        out << text << std::flush;
        return out ? 0 : c.fail("cannot write standard output");
    };
    if (command == "--help" || command == "-h" || command == "help") return page(usage());
    if (command == "--version") return page("orbcfg-cli " + std::string(kVersion) + "\n");
    // COMMAND --help: the same page, which documents every command.
    const auto operandsStart = std::find(args.begin() + 1, args.end(), "--");
    if (std::find(args.begin() + 1, operandsStart, "--help") != operandsStart) return page(usage());
    if (command == "show") return show(c, args);
    if (command == "normalize") return normalize(c, args);
    if (command == "check") return check(c, args);
    if (command == "get") return get(c, args);
    if (command == "doc") return doc(c, args);
    if (command == "set") return set(c, args);
    if (command == "lint") return lint(c, args);
    if (command == "which") return which(c, args);
    if (command == "diff") return diff(c, args);
    if (command == "export") return exportFleet(c, args);
    if (command == "import") return importFleet(c, args);
    if (command == "preset") return preset(c, args);
    if (command == "fetched") return fetched(c, args);
    if (command == "build") return build(c, args);
    if (command == "explain") return explain(c, args);
    if (command == "init") return init(c, args);
    return c.usage("unknown command '" + std::string(command) + "'");
}

}  // namespace orbex::cli
