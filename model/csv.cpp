#include "model/csv.h"

#include <algorithm>

namespace orbex::csv {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

char separatorOf(std::string_view s) {
    bool quoted = false;
    for (char c : s) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == ',' || c == ';') return c;
        if (c == '\n' || c == '\r') break;
    }
    return ',';
}

}  // namespace

Reader::Reader(std::string_view bytes, std::size_t maxFields) : s_(bytes), maxFields_(maxFields) {
    if (s_.starts_with(kBom)) s_.remove_prefix(kBom.size());
    sep_ = separatorOf(s_);
}

// A quoted field at i_: up to the quote that is not doubled. Without a doubled quote it is the
// text between the quotes, else its text joined in unquoted_ (`ownText`), the next of those this
// record uses (`owned`). False at an error.
bool Reader::quotedField(std::string_view& field, bool& ownText, std::size_t& owned) {
    const std::size_t n = s_.size();
    std::size_t& i = i_;
    ++i;
    std::string* joined = nullptr;
    for (;;) {
        const std::size_t q = s_.find('"', i);
        if (q == std::string_view::npos) {
            error_ = Error{row_, "a quoted field is not closed", true};
            return false;
        }
        const bool doubled = q + 1 < n && s_[q + 1] == '"';
        if (!joined && !doubled) {
            field = s_.substr(i, q - i);
            i = q + 1;
            break;
        }
        if (!joined) {
            if (owned == unquoted_.size()) unquoted_.emplace_back();
            joined = &unquoted_[owned++];
            joined->clear();
        }
        joined->append(s_, i, q - i);
        i = q + 1;
        if (!doubled) break;
        *joined += '"';
        ++i;
    }
    if (joined) field = *joined, ownText = true;
    if (!atFieldEnd(i)) {
        error_ = Error{row_, "text after a closing quote"};
        return false;
    }
    return true;
}

// A field without quotes at i_: up to the separator or the line's end.
std::string_view Reader::plainField() {
    std::size_t end = i_;
    while (!atFieldEnd(end)) ++end;
    const std::string_view field = s_.substr(i_, end - i_);
    i_ = end;
    return field;
}

bool Reader::next(std::span<const std::string_view>& fields) {
    const std::size_t n = s_.size();
    if (error_ || i_ >= n) return false;
    fields_.clear();
    filledBeyond_ = 0;
    std::size_t count = 0;  // fields of the record, kept or not
    std::size_t owned = 0;  // of unquoted_, in use by this record
    ++row_;
    std::size_t& i = i_;
    for (;;) {
        std::string_view field;
        bool ownText = false;  // the field is in unquoted_
        if (s_[i] == '"') {
            if (!quotedField(field, ownText, owned)) return false;
        } else {
            field = plainField();
        }
        if (++count <= maxFields_) {
            fields_.push_back(field);
        } else {
            if (!field.empty() && filledBeyond_ == 0) filledBeyond_ = count;
            if (ownText) --owned;  // its text is not kept either
        }
        if (i < n && s_[i] == sep_) {
            ++i;
            if (i < n) continue;
            if (++count <= maxFields_) fields_.emplace_back();  // a separator at the very end
            break;
        }
        // The line break: CR LF, LF, or CR alone (as old spreadsheets end their lines).
        if (i < n && s_[i] == '\r') ++i;
        if (i < n && s_[i] == '\n') ++i;
        break;
    }
    fields = fields_;
    return true;
}

std::optional<std::vector<Row>> parse(std::string_view s, Error& error) {
    Reader reader(s);
    std::vector<Row> rows;
    std::span<const std::string_view> fields;
    while (reader.next(fields)) rows.emplace_back(fields.begin(), fields.end());
    if (reader.error()) {
        error = *reader.error();
        return std::nullopt;
    }
    return rows;
}

void appendField(std::string& out, std::string_view field) {
    if (std::none_of(field.begin(), field.end(), [](char c) {
            return c == ',' || c == ';' || c == '"' || c == '\r' || c == '\n';
        })) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

bool needsTextMark(std::string_view field) {
    if (field.empty()) return false;
    switch (field.front()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r':
        case '\'':
            return true;
        default:
            return false;
    }
}

void appendMarkedField(std::string& out, std::string_view field) {
    if (!needsTextMark(field)) return appendField(out, field);
    // The mark goes inside the quotes, where the field needs them.
    const std::size_t at = out.size();
    appendField(out, field);
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(at + (out[at] == '"' ? 1 : 0)), '\'');
}

std::string_view withoutTextMark(std::string_view cell) {
    if (cell.size() > 1 && cell.front() == '\'') cell.remove_prefix(1);
    return cell;
}

void appendRow(std::string& out, std::span<const std::string_view> fields, char separator) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += separator;
        appendField(out, fields[i]);
    }
    out += "\r\n";
}

}  // namespace orbex::csv
