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

std::optional<std::vector<Row>> parse(std::string_view s, Error& error) {
    if (s.starts_with(kBom)) s.remove_prefix(kBom.size());
    const char sep = separatorOf(s);
    std::vector<Row> rows;
    Row row;
    std::string field;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        if (s[i] == '"') {
            // A quoted field: up to the quote that is not doubled.
            ++i;
            for (;;) {
                const std::size_t q = s.find('"', i);
                if (q == std::string_view::npos) {
                    error = {static_cast<int>(rows.size()) + 1, "a quoted field is not closed"};
                    return std::nullopt;
                }
                field.append(s, i, q - i);
                i = q + 1;
                if (i < n && s[i] == '"') {
                    field += '"';
                    ++i;
                    continue;
                }
                break;
            }
            if (i < n && s[i] == '\r' && i + 1 < n && s[i + 1] == '\n') ++i;
            if (i < n && s[i] != sep && s[i] != '\n') {
                error = {static_cast<int>(rows.size()) + 1, "text after a closing quote"};
                return std::nullopt;
            }
        } else {
            std::size_t end = i;
            while (end < n && s[end] != sep && s[end] != '\n') ++end;
            std::string_view plain = s.substr(i, end - i);
            if (end < n && s[end] == '\n' && plain.ends_with('\r')) plain.remove_suffix(1);
            field.assign(plain);
            i = end;
        }
        row.push_back(std::move(field));
        field.clear();
        if (i < n && s[i] == sep) {
            ++i;
            if (i == n) row.emplace_back();  // a separator at the very end: one more field
            continue;
        }
        ++i;  // the line feed, or past the end
        rows.push_back(std::move(row));
        row.clear();
    }
    if (!row.empty()) rows.push_back(std::move(row));
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
