#include "csv.h"

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
        if (c == '\n') break;
    }
    return ',';
}

}  // namespace

Reader::Reader(std::string_view bytes) : s_(bytes) {
    if (s_.starts_with(kBom)) s_.remove_prefix(kBom.size());
    sep_ = separatorOf(s_);
}

bool Reader::next(std::span<const std::string_view>& fields) {
    const std::size_t n = s_.size();
    if (error_ || i_ >= n) return false;
    fields_.clear();
    std::size_t owned = 0;  // of unquoted_, in use by this record
    ++row_;
    std::size_t& i = i_;
    for (;;) {
        std::string_view field;
        if (s_[i] == '"') {
            // A quoted field: up to the quote that is not doubled. Without a doubled quote it
            // is the text between the quotes.
            ++i;
            std::string* joined = nullptr;
            for (;;) {
                const std::size_t q = s_.find('"', i);
                if (q == std::string_view::npos) {
                    error_ = Error{row_, "a quoted field is not closed"};
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
                if (doubled) {
                    *joined += '"';
                    ++i;
                    continue;
                }
                break;
            }
            if (joined) field = *joined;
            if (i < n && s_[i] == '\r' && i + 1 < n && s_[i + 1] == '\n') ++i;
            if (i < n && s_[i] != sep_ && s_[i] != '\n') {
                error_ = Error{row_, "text after a closing quote"};
                return false;
            }
        } else {
            std::size_t end = i;
            while (end < n && s_[end] != sep_ && s_[end] != '\n') ++end;
            field = s_.substr(i, end - i);
            if (end < n && s_[end] == '\n' && field.ends_with('\r')) field.remove_suffix(1);
            i = end;
        }
        fields_.push_back(field);
        if (i < n && s_[i] == sep_) {
            ++i;
            if (i < n) continue;
            fields_.emplace_back();  // a separator at the very end: one more field
            break;
        }
        if (i < n) ++i;  // the line feed
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

void appendRow(std::string& out, std::span<const std::string_view> fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        appendField(out, fields[i]);
    }
    out += "\r\n";
}

}  // namespace orbex::csv
