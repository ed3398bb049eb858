#include "cli/fleet_shared.h"

#include <cstdio>
#include <ostream>

#include "cli/files.h"
#include "model/fleet_disk.h"
#include "model/text.h"

namespace orbex::cli {

using namespace orbex::fleet;

std::optional<std::string> readWithLimits(const std::string& path, std::string& error) {
    return readFolderFile(path, error, reasonOf);
}

bool replaceAll(std::span<const FileBytes> files, BatchFailure& failure) {
    return replacePlanned(files, failure, englishReason, true);
}

bool replaceAllForced(std::span<const FileBytes> files, BatchFailure& failure) {
    fileio::ReplaceOptions options;
    options.stopOnSignal = true;
    options.force = true;
    return replacePlanned(files, failure, englishReason, options);
}

namespace {

std::string reasonTellingForce(const fileio::Error& e) {
    return e.kind == fileio::Kind::ReadOnly ? e.reason + " (--force replaces it)" : e.reason;
}

}  // namespace

bool replaceAllTellingForce(std::span<const FileBytes> files, BatchFailure& failure) {
    return replacePlanned(files, failure, reasonTellingForce, true);
}

bool putBack(std::span<const FileBytes> files, BatchFailure& failure) {
    return replacePlanned(files, failure, englishReason, false);
}

std::string refusalText(const Refusal& r) {
    std::string line = placeText(r);
    line += line.empty() ? reasonText(r) : ": " + reasonText(r);
    if (r.needsForce) line += " (--force replaces it)";
    return line;
}

int written(Context& c) {
    c.out.flush();
    return c.out ? 0 : c.fail("cannot write standard output");
}

// (File names come escaped, never recoded: text::escapedName.)
void appendJson(std::string& out, std::string_view s) {
    std::string recoded;
    if (!text::isUtf8(s)) s = recoded = text::fromCp1251(s);
    out += '"';
    for (char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (u < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", u);
            out += hex;
        } else {
            out += ch;
        }
    }
    out += '"';
}

std::string pathIn(const std::string& dir, const std::string& file) {
#ifdef _WIN32
    if (dir.ends_with('\\')) return dir + file;
#endif
    return dir.ends_with('/') ? dir + file : dir + "/" + file;
}

LintLine lintLineOf(const fleet::Finding& f, std::span<const Record> records,
                    std::span<const Group> groups) {
    return {f.file, f.line, f.key, f.code, message(f, records, groups), f.group};
}

void appendLintLine(std::string& out, const LintLine& l, bool json, std::size_t count) {
    if (!json) {
        out += text::escapedName(l.file);
        if (l.line > 0) out += ':' + std::to_string(l.line);
        out += ": ";
        out += l.code;
        out += ": ";
        if (!l.key.empty()) out += std::string(l.key) + ": ";
        out += l.message;
        out += '\n';
        return;
    }
    out += count == 0 ? "\n" : ",\n";
    out += "{\"file\": ";
    appendJson(out, text::escapedName(l.file));
    out += ", \"line\": ";
    out += l.line > 0 ? std::to_string(l.line) : "null";
    out += ", \"key\": ";
    if (l.key.empty()) {
        out += "null";
    } else {
        appendJson(out, l.key);
    }
    out += ", \"code\": ";
    appendJson(out, l.code);
    out += ", \"message\": ";
    appendJson(out, l.message);
    out += ", \"group\": ";
    out += l.group == kNoGroup ? "null" : std::to_string(l.group);
    out += '}';
}

void Streamed::maybeFlush() {
    if (text_.size() < 65536) return;
    c_.out << text_;
    text_.clear();
}

void Streamed::finish() {
    c_.out << text_;
    text_.clear();
}

void appendJsonGroups(Streamed& out, std::span<const Record> records,
                      std::span<const Group> groups) {
    out.text() += ", \"groups\": [";
    for (std::size_t g = 0; g < groups.size(); ++g) {
        out.text() += g == 0 ? "\n[" : ",\n[";
        bool first = true;
        for (std::size_t i : groups[g]) {
            if (!first) out.text() += ", ";
            first = false;
            appendJson(out.text(), text::escapedName(records[i].file));
            out.maybeFlush();
        }
        out.text() += ']';
    }
    out.text() += groups.empty() ? "]}\n" : "\n]}\n";
}

}  // namespace orbex::cli
