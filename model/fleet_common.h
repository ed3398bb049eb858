// What the files of the fleet share: paths of the folder's files, how messages quote the input,
// and the order of findings.
#pragma once

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

#include "model/fleet.h"
#include "model/lint.h"
#include "model/text.h"

namespace orbex::fleet::detail {

namespace fs = std::filesystem;

// Threads that read a folder at most.
inline constexpr std::size_t kReaders = 8;

// Names are UTF-8 throughout; on Windows a path made of them goes to the system as UTF-16, not
// through the ANSI code page, which holds no Cyrillic on most machines.
inline fs::path pathOf(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

// A file of the folder, by its name relative to it ("/" between folders).
inline std::string inFolder(const fs::path& root, const std::string& file) {
    return utf8Of(root / pathOf(file));
}

// Threads that share out `jobs` files: one for every two processors (with the files in the
// cache a thread does not wait, and on a machine of two busy processors a second thread costs
// more than it gains: measured with bench/fleet), at most kReaders, one for a small folder.
inline std::size_t readerThreads(std::size_t jobs) {
    return std::clamp<std::size_t>(
        std::min<std::size_t>(std::thread::hardware_concurrency() / 2, kReaders), 1,
        jobs / 256 + 1);
}

// A text of the input in a message: in quotes, its control characters escaped.
inline std::string inQuotes(std::string_view s) {
    return "'" + text::printable(s) + "'";
}

inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Place of each key in the review order; keys without a control after all others.
const std::array<int, kKeyCount>& reviewRank();

// A finding of a file's own check, as the fleet reports it.
inline Finding ownFinding(const std::string& file, const orbex::Finding& f) {
    Finding out;
    out.file = file;
    out.line = f.line;
    out.key = f.key;
    out.code = f.resets() ? code::kResetValue : code::kIgnoredLine;
    out.value = f.value;
    out.check = f.code;
    out.hint = f.hint;
    out.xFlag = f.xFlag;
    return out;
}

inline bool byFileThenLine(const Finding& a, const Finding& b) {
    if (a.file != b.file) return a.file < b.file;
    return a.line < b.line;
}

}  // namespace orbex::fleet::detail
