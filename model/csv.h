// Comma-separated values as RFC 4180 has them, read as spreadsheets write them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orbex::csv {

using Row = std::vector<std::string>;

struct Error {
    int row = 0;  // 1-based record
    std::string message;
};

// The records of the text. A leading byte-order mark is skipped; the separator is a comma or
// a semicolon, whichever the first record uses first outside quotes; records end with CR LF or
// LF (inside quotes a line break belongs to the field); a line break at the end adds no
// record. Fields in double quotes hold "" for one quote. nullopt when a quoted field is not
// closed or its closing quote is followed by text.
std::optional<std::vector<Row>> parse(std::string_view bytes, Error& error);

// One field, in double quotes when it holds the separator, a quote, CR or LF.
void appendField(std::string& out, std::string_view field);
// The fields separated by commas, then CR LF.
void appendRow(std::string& out, std::span<const std::string_view> fields);

}  // namespace orbex::csv
