#include "cli.h"

#include <algorithm>
#include <iostream>
#include <iterator>
#include <optional>

#include "checks.h"
#include "chmproject.h"
#include "files.h"
#include "helpbook.h"
#include "lint.h"
#include "reader.h"
#include "review.h"
#include "writer.h"

namespace orbex::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: orbcfg-cli COMMAND [ARGS]\n"
    "Checks and rewrites ORBEX terminal configuration files.\n"
    "\n"
    "Commands:\n"
    "  show FILE                 print the review table the editor builds after opening FILE:\n"
    "                            key, value, description and shown text, separated by tabs\n"
    "  normalize FILE [-o OUT]   write the bytes the editor saves after opening FILE,\n"
    "                            to standard output or, replacing it in one step, to OUT\n"
    "  check FILE...             report the lines that reading ignores and the values the\n"
    "                            review would reset; exit 1 when anything is reported\n"
    "  get FILE KEY              print the value FILE stores for KEY; exit 1 when it is unset\n"
    "  set FILE [KEY=VALUE]... [-u KEY]... [-o OUT]\n"
    "                            change values (as stored: CHIPSET=auto_x, AUTOSTART=on) or\n"
    "                            make them unset, and write the result as normalize does\n"
    "  doc [-o OUT]              print the help book: every key, its values and checks (HTML)\n"
    "  doc --chm-project DIR     write the HTML Help project of orbex.chm into DIR, made of the\n"
    "                            same sections (compile it on Windows: hhc DIR/orbex.hhp)\n"
    "\n"
    "FILE may be - for standard input. Warnings of the review go to standard error.\n"
    "Options: --help, --version.\n"
    "Exit codes: 0 success, 1 findings of check, 2 a bad command line or a file that cannot\n"
    "be read or written.\n";

constexpr int kUsageError = 2;

struct Context {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;

    int fail(std::string_view message) {
        err << "orbcfg-cli: " << message << '\n';
        return kUsageError;
    }
    int usage(std::string_view message) {
        err << "orbcfg-cli: " << message << "\nTry 'orbcfg-cli --help'.\n";
        return kUsageError;
    }
    std::string nameOf(const std::string& path) const { return path == "-" ? "(stdin)" : path; }

    std::optional<std::string> load(const std::string& path) {
        if (path == "-") {
            std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (in.bad()) {
                fail("cannot read standard input");
                return std::nullopt;
            }
            return bytes;
        }
        std::string error;
        auto bytes = readFile(path, error);
        if (!bytes) fail("cannot read '" + path + "': " + error);
        return bytes;
    }

    // The table the editor shows after opening the file; warnings on standard error.
    ReviewTable review(const std::string& path, std::string_view bytes) {
        MemoryStore store;
        readConfig(bytes, store);
        return BuildReviewTable(store, [&](Id id) { warn(path, id); });
    }

    // A reset value's warning, on one line.
    void warn(const std::string& path, Id id) {
        std::string text = warningText(param(id).key);
        std::replace(text.begin(), text.end(), '\n', ' ');
        err << nameOf(path) << ": " << text << '\n';
    }
};

// Splits the arguments into operands and the value of -o; nullopt after a usage error.
struct Operands {
    std::vector<std::string> files;
    std::optional<std::string> output;
    std::vector<std::string> unset;  // set: -u KEY
};
std::optional<Operands> operands(Context& c, const std::vector<std::string>& args, bool takesOutput,
                                 bool takesUnset = false) {
    Operands ops;
    bool options = true;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && takesOutput && (a == "-o" || a == "--output")) {
            if (i + 1 == args.size())
                return c.usage("option '" + a + "' needs a file name"), std::nullopt;
            if (ops.output) return c.usage("option '" + a + "' given twice"), std::nullopt;
            ops.output = args[++i];
        } else if (options && takesUnset && (a == "-u" || a == "--unset")) {
            if (i + 1 == args.size())
                return c.usage("option '" + a + "' needs a key"), std::nullopt;
            ops.unset.push_back(args[++i]);
        } else if (options && takesOutput && a.starts_with("--output=")) {
            ops.output = a.substr(9);
        } else if (options && a.size() > 1 && a.front() == '-') {
            return c.usage("unknown option '" + a + "'"), std::nullopt;
        } else {
            ops.files.push_back(a);
        }
    }
    return ops;
}

int show(Context& c, const std::vector<std::string>& args) {
    auto ops = operands(c, args, false);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("show takes one FILE");
    const std::string& path = ops->files.front();
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

// The file's bytes to standard output or, replacing it in one step, to the -o file.
int emit(Context& c, const Operands& ops, std::string_view bytes) {
    if (ops.output && *ops.output != "-") {
        std::string error;
        if (!replaceFile(*ops.output, bytes, error))
            return c.fail("cannot write '" + *ops.output + "': " + error);
        return 0;
    }
    c.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    c.out.flush();
    return c.out ? 0 : c.fail("cannot write standard output");
}

int normalize(Context& c, const std::vector<std::string>& args) {
    auto ops = operands(c, args, true);
    if (!ops) return kUsageError;
    if (ops->files.size() != 1) return c.usage("normalize takes one FILE");
    const std::string& path = ops->files.front();
    auto bytes = c.load(path);
    if (!bytes) return kUsageError;
    return emit(c, *ops, normalizeConfig(*bytes, [&](Id id) { c.warn(path, id); }));
}

int doc(Context& c, std::vector<std::string> args) {
    // --chm-project DIR: the HTML Help project of orbex.chm, written into DIR.
    std::optional<std::string> chm;
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--chm-project" || args[i].starts_with("--chm-project=")) {
            if (chm) return c.usage("option '--chm-project' given twice");
            if (args[i] == "--chm-project") {
                if (i + 1 == args.size())
                    return c.usage("option '--chm-project' needs a folder name");
                chm = args[i + 1];
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            } else {
                chm = args[i].substr(14);
            }
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i--));
        }
    }
    auto ops = operands(c, args, true);
    if (!ops) return kUsageError;
    if (!ops->files.empty()) return c.usage("doc takes no FILE");
    if (!chm) return emit(c, *ops, helpBook());
    if (ops->output) return c.usage("doc takes either -o or --chm-project");
    if (chm->empty()) return c.usage("option '--chm-project' needs a folder name");
    std::string error;
    if (!makeFolder(*chm, error)) return c.fail("cannot make the folder '" + *chm + "': " + error);
    for (const HelpFile& f : chmProject()) {
        const std::string path = *chm + "/" + f.name;
        if (!replaceFile(path, f.bytes, error))
            return c.fail("cannot write '" + path + "': " + error);
    }
    return 0;
}

int get(Context& c, const std::vector<std::string>& args) {
    auto ops = operands(c, args, false);
    if (!ops) return kUsageError;
    if (ops->files.size() != 2) return c.usage("get takes FILE and KEY");
    const std::string& path = ops->files[0];
    const std::string& key = ops->files[1];
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

// Why a value cannot be given to a key on the command line; empty when it can.
std::string refusal(const Param& p, std::string_view value) {
    switch (p.kind) {
        case Kind::None:
            if (p.key == keys::X || p.key == keys::FB)
                return "is written from CHIPSET; set CHIPSET to a value ending in _x or holding fb";
            return "is not edited by the program";
        case Kind::Switch:
            return value == "on" || value == "off" ? "" : "takes on or off";
        case Kind::Choice: {
            if (p.has(Editable) || itemOf(p.table, value)) break;
            std::string values;
            for (const ValueChoice& row : p.table) values += " " + std::string(row.value);
            return "takes one of:" + values;
        }
        case Kind::Text:
            if (value.find_first_of("'\r\n\x1A") != std::string_view::npos)
                return "cannot hold a single quote or a line break";
            if (value == kUnset) return "use -u to make it unset";
            break;
    }
    return "";
}

int set(Context& c, const std::vector<std::string>& args) {
    auto ops = operands(c, args, true, true);
    if (!ops) return kUsageError;
    if (ops->files.empty()) return c.usage("set takes FILE, then KEY=VALUE or -u KEY");
    const std::string path = ops->files.front();
    struct Change {
        Id id;
        std::optional<std::string> value;  // none: unset
    };
    std::vector<Change> changes;
    for (std::size_t i = 1; i < ops->files.size(); ++i) {
        const std::string& a = ops->files[i];
        const std::size_t eq = a.find('=');
        if (eq == std::string::npos) return c.usage("'" + a + "' is not KEY=VALUE");
        const std::string key = a.substr(0, eq), value = a.substr(eq + 1);
        const auto id = find(key);
        if (!id) return c.usage("unknown key '" + key + "'");
        if (std::string why = refusal(param(*id), value); !why.empty())
            return c.fail(key + " " + why);
        changes.push_back({*id, value});
    }
    for (const std::string& key : ops->unset) {
        const auto id = find(key);
        if (!id || !param(*id).hasControl()) return c.usage("unknown key '" + key + "'");
        changes.push_back({*id, std::nullopt});
    }
    auto bytes = c.load(path);
    if (!bytes) return kUsageError;

    MemoryStore store;
    readConfig(*bytes, store);
    for (const Change& ch : changes) {
        const Param& p = param(ch.id);
        if (!ch.value) {
            if (p.kind == Kind::Text) store.setText(ch.id, kUnset);
            if (p.kind == Kind::Switch) store.setCheck(ch.id, Tri::Grayed);
            if (p.kind == Kind::Choice) store.setItem(ch.id, 0);
        } else if (p.kind == Kind::Choice && !p.has(Editable)) {
            store.setItem(ch.id, *itemOf(p.table, *ch.value));  // CHIPSET takes auto_x as it is
        } else {
            applyParameter(store, ch.id, *ch.value, false);
        }
    }
    // A value given here that the review would reset is refused, and nothing is written.
    const MemoryStore before = store;
    std::vector<Id> reset;
    const ReviewTable table = BuildReviewTable(store, [&](Id id) { reset.push_back(id); });
    for (Id id : reset) {
        const bool given = std::any_of(changes.begin(), changes.end(),
                                       [&](const Change& ch) { return ch.id == id && ch.value; });
        if (given)
            return c.fail(std::string(param(id).key) + ": '" + before.text(id) + "' is not " +
                          describe(param(id).check));
    }
    for (Id id : reset) c.warn(path, id);
    return emit(c, *ops, WriteConfig(table));
}

int check(Context& c, const std::vector<std::string>& args) {
    auto ops = operands(c, args, false);
    if (!ops) return kUsageError;
    if (ops->files.empty()) return c.usage("check takes at least one FILE");
    int code = 0;
    std::string report;
    for (const std::string& path : ops->files) {
        auto bytes = c.load(path);
        if (!bytes) {
            code = kUsageError;
            continue;
        }
        for (const Finding& f : lintConfig(*bytes)) {
            report += c.nameOf(path);
            report += ':';
            report += std::to_string(f.line);
            report += ": ";
            if (!f.key.empty()) {
                report += f.key;
                report += ": ";
            }
            report += f.message;
            report += '\n';
            if (code == 0) code = 1;
        }
        if (report.size() > 65536) {
            c.out << report;
            report.clear();
        }
    }
    c.out << report << std::flush;
    return c.out ? code : c.fail("cannot write standard output");
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    Context c{in, out, err};
    if (args.empty()) return c.usage("no command given");
    const std::string& command = args.front();
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "--version") {
        out << "orbcfg-cli " << kVersion << '\n';
        return 0;
    }
    if (command == "show") return show(c, args);
    if (command == "normalize") return normalize(c, args);
    if (command == "check") return check(c, args);
    if (command == "get") return get(c, args);
    if (command == "doc") return doc(c, args);
    if (command == "set") return set(c, args);
    return c.usage("unknown command '" + command + "'");
}

}  // namespace orbex::cli
