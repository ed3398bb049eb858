// Comma-separated values as RFC 4180 has them, read as spreadsheets write them.
#pragma once

#include <cstdint>
#include <deque>
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
    bool unclosed = false;  // a quoted field not closed; else text after a closing quote
};

// The records of the text one at a time, without a copy of the text. A leading byte-order mark
// is skipped; the separator is a comma or a semicolon, whichever the first record uses first
// outside quotes; records end with CR LF, LF or CR alone (inside quotes a line break belongs
// to the field); a line break at the end adds no record. Fields in double quotes hold "" for one
// quote. A quoted field that is not closed, or whose closing quote is followed by text, is an
// error.
class Reader {
  public:
    // A record's fields after the first `maxFields` are read but not kept: a line of millions
    // of separators costs no memory.
    explicit Reader(std::string_view bytes, std::size_t maxFields = SIZE_MAX);

    // The next record's fields, views into the text (or into the reader, for a field that held
    // "") that stay valid until the next call; false at the end or at an error.
    bool next(std::span<const std::string_view>& fields);
    const std::optional<Error>& error() const { return error_; }
    int row() const { return row_; }  // of the record last returned, from 1
    // Of the record last returned: the 1-based place of its first non-empty field among those
    // not kept; 0 when there is none.
    std::size_t filledBeyond() const { return filledBeyond_; }

  private:
    bool quotedField(std::string_view& field, bool& ownText, std::size_t& owned);
    std::string_view plainField();
    bool atFieldEnd(std::size_t i) const {
        return i >= s_.size() || s_[i] == sep_ || s_[i] == '\n' || s_[i] == '\r';
    }

    std::string_view s_;
    std::size_t maxFields_;
    std::size_t filledBeyond_ = 0;
    char sep_ = ',';
    std::size_t i_ = 0;
    int row_ = 0;
    std::optional<Error> error_;
    std::vector<std::string_view> fields_;
    std::deque<std::string> unquoted_;  // fields that held "", stable while the deque grows
};

// Every record at once (see Reader); nullopt when a quoted field is not closed or its closing
// quote is followed by text.
std::optional<std::vector<Row>> parse(std::string_view bytes, Error& error);

// One field, in double quotes when it holds the separator, a quote, CR or LF.
void appendField(std::string& out, std::string_view field);
// The fields separated by `separator` (a comma or a semicolon), then CR LF.
void appendRow(std::string& out, std::span<const std::string_view> fields, char separator = ',');

// A spreadsheet takes a cell beginning with = + - @ (or TAB or CR before them) as a formula.
// Such a cell is written with a leading ' (the spreadsheets' mark of text), and so is one
// beginning with ' itself, so that reading drops exactly one leading ' of any cell holding more
// than that and gets the text back. appendMarkedField appends the field so, as appendField.
bool needsTextMark(std::string_view field);
void appendMarkedField(std::string& out, std::string_view field);
// The cell without its mark: one leading ' dropped when more follows it.
std::string_view withoutTextMark(std::string_view cell);

}  // namespace orbex::csv
