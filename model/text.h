// Text encodings of the configuration file: values are UTF-8; older files and the terminals'
// own tools use the Windows-1251 code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orbex::text {

bool isUtf8(std::string_view bytes);
// Windows-1251 bytes as UTF-8 (the unassigned byte 98 becomes U+FFFD).
std::string fromCp1251(std::string_view bytes);
// The value as it survives the Windows-1251 code page: every character outside it becomes "?".
// Line breaks and Ctrl-Z cannot stand inside a line of the file: CR is dropped (as the
// text-mode file always did), LF and byte 1A become blanks.
std::string throughCp1251(std::string_view utf8);
void appendThroughCp1251(std::string& out, std::string_view utf8);  // the same, appended
// UTF-8 HTML as Windows-1251 bytes, for readers that know no other: a character outside the
// code page becomes a character reference "&#N;", an invalid byte "?".
std::string cp1251Html(std::string_view utf8);
// True when the text holds a control character (bytes 00 to 1F and 7F); TAB counts only
// when `tabToo`.
bool hasControl(std::string_view s, bool tabToo = true);
// The text for a message: control characters written as \t, \n, \r or \xNN, so that a
// message stays one line and shows what the text holds.
std::string printable(std::string_view s);
// Counting and cutting in characters (code points); invalid bytes count one each.
std::size_t length(std::string_view utf8);
std::string_view cut(std::string_view utf8, std::size_t chars);
// A file name as reports print it: UTF-8 characters as they are; every byte that is not part of
// one, and every control byte, as \xHH (two lower-case hex digits); a backslash as \\. Distinct
// names stay distinct, and the result is UTF-8 on one line.
std::string escapedName(std::string_view name);

}  // namespace orbex::text
