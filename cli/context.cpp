#include "context.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <ostream>

#include "files.h"
#include "reader.h"

namespace orbex::cli {

int Context::fail(std::string_view message) {
    err << "orbcfg-cli: " << message << '\n';
    return kUsageError;
}

int Context::usage(std::string_view message) {
    err << "orbcfg-cli: " << message << "\nTry 'orbcfg-cli --help'.\n";
    return kUsageError;
}

std::optional<std::string> Context::load(const std::string& path) {
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

ReviewTable Context::review(const std::string& path, std::string_view bytes) {
    MemoryStore store;
    readConfig(bytes, store);
    return BuildReviewTable(store, [&](Id id) { warn(path, id); });
}

void Context::warn(const std::string& path, Id id) {
    std::string text = warningText(param(id).key);
    std::replace(text.begin(), text.end(), '\n', ' ');
    err << nameOf(path) << ": " << text << '\n';
}

namespace {

// The option that the argument names: --name, --name=VALUE or its short form.
const Option* match(std::span<const Option> extra, const std::string& a) {
    for (const Option& o : extra) {
        if (a == o.name || (!o.brief.empty() && a == o.brief)) return &o;
        if (o.takesValue && a.starts_with(o.name) && a.size() > o.name.size() &&
            a[o.name.size()] == '=')
            return &o;
    }
    return nullptr;
}

}  // namespace

std::optional<Operands> operands(Context& c, const std::vector<std::string>& args, bool takesOutput,
                                 bool takesUnset, std::span<const Option> extra) {
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
        } else if (const Option* o = options ? match(extra, a) : nullptr) {
            const std::size_t eq = a.find('=');
            std::string value;
            if (o->takesValue && eq != std::string::npos) {
                value = a.substr(eq + 1);
            } else if (o->takesValue) {
                if (i + 1 == args.size())
                    return c.usage("option '" + a + "' needs a value"), std::nullopt;
                value = args[++i];
            }
            if (ops.has(o->name)) return c.usage("option '" + a + "' given twice"), std::nullopt;
            ops.options[std::string(o->name)] = value;
        } else if (options && a.size() > 1 && a.front() == '-') {
            return c.usage("unknown option '" + a + "'"), std::nullopt;
        } else {
            ops.files.push_back(a);
        }
    }
    return ops;
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

}  // namespace orbex::cli
