// What the commands of orbcfg-cli share: the streams, one-line failures, reading inputs,
// operands and writing the result.
#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/fileio.h"
#include "model/catalogue.h"
#include "model/review.h"

namespace orbex::cli {

inline constexpr int kUsageError = 2;

// A command line without the program name, as views of the caller's strings (of argv itself):
// a check of many files holds their names once.
using Args = std::span<const std::string_view>;

struct Context {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;

    // One line on standard error; the exit code of a failure.
    int fail(std::string_view message);
    // The same, with a pointer to --help.
    int usage(std::string_view message);
    // A file as messages name it: a view of `path`, or of a text of its own.
    std::string_view nameOf(std::string_view path) const { return path == "-" ? "(stdin)" : path; }

    // The bytes of a file, or of standard input for "-"; nullopt after a failure. `what` is
    // what a file larger than the limit is not.
    std::optional<std::string> load(const std::string& path,
                                    std::string_view what = kConfiguration);
    // The same into `buffer`, whose storage serves the next file; false after a failure.
    bool load(const std::string& path, std::string& buffer, std::string_view what = kConfiguration);
    // The one line of a file that cannot be read; the exit code of a failure.
    int readFailure(std::string_view path, const fileio::Error& e,
                    std::string_view what = kConfiguration);
    static constexpr std::string_view kConfiguration = "not a terminal configuration";

    // The table the editor shows after opening the file; warnings on standard error.
    ReviewTable review(const std::string& path, std::string_view bytes);

    // A reset value's warning, on one line.
    void warn(const std::string& path, Id id);
};

// A command's own option: "--name", its short form ("-d") if any, and whether a value follows.
struct Option {
    std::string_view name;
    std::string_view brief;
    bool takesValue = false;
    std::string_view what = "a value";  // what the value is, as in "needs a folder name"
};

// Splits the arguments into operands, the value of -o (with --force where there is one), -i
// where the command edits in place, and the command's own options; nullopt after a usage error.
struct Operands {
    // The operands: the arguments themselves when they stand together (a check of many files
    // copies none of their names), else views of them in `scattered`.
    std::span<const std::string_view> files;
    std::vector<std::string_view> scattered;
    Operands() = default;
    Operands(Operands&&) = default;  // `files` stays valid: a moved vector keeps its storage
    Operands& operator=(Operands&&) = default;
    Operands(const Operands&) = delete;
    std::optional<std::string> output;
    std::vector<std::string> unset;              // set: -u KEY
    std::map<std::string, std::string> options;  // by long name; "" for an option without value
    bool inPlace = false;                        // -i: the output is FILE, edited under a lock
    bool force = false;                          // --force: a read-only output is replaced too
    bool has(std::string_view name) const { return options.contains(std::string(name)); }
};
std::optional<Operands> operands(Context& c, Args args, bool takesOutput, bool takesUnset = false,
                                 std::span<const Option> extra = {}, bool takesInPlace = false);

// The bytes to standard output or, replacing it in one step, to the -o file (a read-only one
// only with --force); a new file gets `newMode` (fileio::newFileMode).
int emit(Context& c, const Operands& ops, std::string_view bytes,
         std::optional<unsigned> newMode = std::nullopt);

// The mode of a new file made from FILE alone: FILE's own (none for standard input).
std::optional<unsigned> modeFrom(const std::string& path);

}  // namespace orbex::cli
