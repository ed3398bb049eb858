#include "cli/context.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "fileio/fileio.h"
#include "model/reader.h"
#include "model/text.h"

namespace orbex::cli {

// Messages quote names and values of the input: their control characters are escaped, so
// that a message stays one line.
int Context::fail(std::string_view message) {
    err << "orbcfg-cli: " << text::printable(message) << '\n';
    return kUsageError;
}

int Context::usage(std::string_view message) {
    err << "orbcfg-cli: " << text::printable(message) << "\nTry 'orbcfg-cli --help'.\n";
    return kUsageError;
}

std::optional<std::string> Context::load(const std::string& path, std::string_view what) {
    std::string bytes;
    if (!load(path, bytes, what)) return std::nullopt;
    return bytes;
}

bool Context::load(const std::string& path, std::string& buffer, std::string_view what) {
    fileio::Error e;
    if (path == "-") {
        if (auto bytes = fileio::readStream(in, std::string(nameOf(path)), e)) {
            buffer = std::move(*bytes);
            return true;
        }
    } else if (fileio::readInto(path, buffer, e)) {
        return true;
    }
    readFailure(path, e, what);
    return false;
}

int Context::readFailure(std::string_view path, const fileio::Error& e, std::string_view what) {
    if (e.kind == fileio::Kind::TooLarge)
        return fail(std::string(nameOf(path)) + " is larger than " + fileio::inputLimitText() +
                    ": " + std::string(what));
    if (path == "-") return fail("cannot read standard input");
    return fail("cannot read '" + std::string(path) + "': " + e.reason);
}

ReviewTable Context::review(const std::string& path, std::string_view bytes) {
    MemoryStore store;
    readConfig(bytes, store);
    return BuildReviewTable(store, [&](Id id) { warn(path, id); });
}

void Context::warn(const std::string& path, Id id) {
    std::string text = warningText(param(id).key);
    std::replace(text.begin(), text.end(), '\n', ' ');
    err << text::printable(nameOf(path)) << ": " << text << '\n';
}

namespace {

// The option that the argument names: --name, --name=VALUE or its short form.
const Option* match(std::span<const Option> extra, std::string_view a) {
    for (const Option& o : extra) {
        if (a == o.name || (!o.brief.empty() && a == o.brief)) return &o;
        if (o.takesValue && a.starts_with(o.name) && a.size() > o.name.size() &&
            a[o.name.size()] == '=')
            return &o;
    }
    return nullptr;
}

}  // namespace

std::optional<Operands> operands(Context& c, Args args, bool takesOutput, bool takesUnset,
                                 std::span<const Option> extra, bool takesInPlace) {
    Operands ops;
    bool options = true;
    std::size_t first = 0, count = 0;  // the operands while they stand together in `args`
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && takesOutput && a == "--force") {
            ops.force = true;
        } else if (options && takesInPlace && (a == "-i" || a == "--in-place")) {
            ops.inPlace = true;
        } else if (options && takesOutput && (a == "-o" || a == "--output")) {
            if (i + 1 == args.size())
                return c.usage("option '" + std::string(a) + "' needs a file name"), std::nullopt;
            if (ops.output)
                return c.usage("option '" + std::string(a) + "' given twice"), std::nullopt;
            ops.output = std::string(args[++i]);
        } else if (options && takesUnset && (a == "-u" || a == "--unset")) {
            if (i + 1 == args.size())
                return c.usage("option '" + std::string(a) + "' needs a key"), std::nullopt;
            ops.unset.emplace_back(args[++i]);
        } else if (options && takesOutput && a.starts_with("--output=")) {
            ops.output = std::string(a.substr(9));
        } else if (const Option* o = options ? match(extra, a) : nullptr) {
            const std::size_t eq = a.find('=');
            std::string value;
            if (o->takesValue && eq != std::string::npos) {
                value = a.substr(eq + 1);
            } else if (o->takesValue) {
                if (i + 1 == args.size())
                    return c.usage("option '" + std::string(a) + "' needs " + std::string(o->what)),
                           std::nullopt;
                value = args[++i];
            }
            if (ops.has(o->name))
                return c.usage("option '" + std::string(a) + "' given twice"), std::nullopt;
            ops.options[std::string(o->name)] = value;
        } else if (options && a.size() > 1 && a.front() == '-') {
            return c.usage("unknown option '" + std::string(a) + "'"), std::nullopt;
        } else if (count == 0 || (ops.scattered.empty() && first + count == i)) {
            if (count++ == 0) first = i;
        } else {
            if (ops.scattered.empty()) ops.scattered.assign(&args[first], &args[first] + count);
            ops.scattered.push_back(a);
        }
    }
    ops.files = ops.scattered.empty() ? args.subspan(first, count) : ops.scattered;
    if (ops.inPlace && ops.output)
        return c.usage("options '-i' and '-o' exclude each other"), std::nullopt;
    return ops;
}

// The file's bytes to standard output or, replacing it in one step, to the -o file.
int emit(Context& c, const Operands& ops, std::string_view bytes, std::optional<unsigned> newMode) {
    if (ops.output && *ops.output != "-") {
        fileio::Error e;
        fileio::ReplaceOptions options;
        options.force = ops.force;
        options.newFileMode = newMode;
        if (fileio::replaceFile(*ops.output, bytes, e, options)) return 0;
        if (e.kind == fileio::Kind::ReadOnly)
            return c.fail("cannot write '" + *ops.output + "': " + e.reason +
                          " (--force replaces it)");
        return c.fail("cannot write '" + *ops.output + "': " + e.reason);
    }
    c.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    c.out.flush();
    return c.out ? 0 : c.fail("cannot write standard output");
}

std::optional<unsigned> modeFrom(const std::string& path) {
    if (path == "-") return std::nullopt;
    return fileio::newFileMode(std::span(&path, 1));
}

}  // namespace orbex::cli
