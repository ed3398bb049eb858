// What the tool's commands over folders share: reading a folder's file and replacing a plan's
// files, refusals and lint's lines in the tool's words, output that goes out in pieces.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/context.h"
#include "model/fleet.h"

namespace orbex::cli {

// A file of a folder, its error in English.
std::optional<std::string> readWithLimits(const std::string& path, std::string& error);

// A plan's files in one batch; a deferred signal stops it, so that what was renamed is put back.
// Forced, a read-only file is replaced too.
bool replaceAll(std::span<const fleet::FileBytes> files, fleet::BatchFailure& failure);
bool replaceAllForced(std::span<const fleet::FileBytes> files, fleet::BatchFailure& failure);
// The same unforced, a read-only file's failure saying that --force replaces it.
bool replaceAllTellingForce(std::span<const fleet::FileBytes> files, fleet::BatchFailure& failure);
bool putBack(std::span<const fleet::FileBytes> files, fleet::BatchFailure& failure);

// A refusal as messages give it: "row 3, column 2 (IP): reason".
std::string refusalText(const fleet::Refusal& r);

// Standard output flushed: 0, or the failure's exit code.
int written(Context& c);

// A JSON string: quotes, backslashes and control characters escaped; bytes that are not UTF-8
// read as Windows-1251, as values of the files do, so that the output stays UTF-8.
void appendJson(std::string& out, std::string_view s);

// A file of the folder as messages name it. "/" joins on Windows too.
std::string pathIn(const std::string& dir, const std::string& file);

// One finding of lint: FILE:LINE: code: KEY: message, or its JSON object.
struct LintLine {
    std::string_view file;  // printed escaped (text::escapedName)
    int line = 0;           // 0: none
    std::string_view key;   // empty: none
    std::string_view code;
    std::string message;
    std::size_t group = fleet::kNoGroup;
};
LintLine lintLineOf(const fleet::Finding& f, std::span<const fleet::Record> records,
                    std::span<const fleet::Group> groups);
// The line; in JSON after a separator unless it is the first (`count` 0).
void appendLintLine(std::string& out, const LintLine& line, bool json, std::size_t count);

// Output that goes out in pieces as it is made: it is never held whole.
class Streamed {
  public:
    explicit Streamed(Context& c) : c_(c) {}
    std::string& text() { return text_; }
    void maybeFlush();
    void finish();

  private:
    Context& c_;
    std::string text_;
};

// The groups of lint's JSON, each once and in full: a finding names only a few of its files.
void appendJsonGroups(Streamed& out, std::span<const fleet::Record> records,
                      std::span<const fleet::Group> groups);

}  // namespace orbex::cli
