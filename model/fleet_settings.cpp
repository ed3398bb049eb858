#include "model/fleet.h"

#include <array>

#include "model/checks.h"
#include "model/csv.h"
#include "model/fleet_common.h"
#include "model/reader.h"

namespace orbex::fleet {

using namespace detail;

namespace detail {

const std::array<int, kKeyCount>& reviewRank() {
    static const std::array<int, kKeyCount> rank = [] {
        std::array<int, kKeyCount> r;
        r.fill(kKeyCount);
        int place = 0;
        for (Id id : controlOrder()) r[id] = place++;
        return r;
    }();
    return rank;
}

}  // namespace detail

Settings settingsOf(Store& store, const Warn& warn) {
    // The review's checks alone: its table is not needed here, only what it resets.
    std::string buffer;
    forEachReset([&](Id id) { return store.textView(id, buffer); },
                 [&](Id id) {
                     store.setText(id, kUnset);
                     warn(id);
                 });
    const auto stored = [&](Id id) { return storedValue(store, id, buffer); };
    // Counted first: a fleet holds many of these, each no larger than it needs.
    std::size_t set = 0;
    for (Id id : controlOrder()) set += stored(id).has_value();
    Settings out;
    out.reserve(set);
    for (Id id : controlOrder())
        if (const auto value = stored(id)) out.push_back({id, std::string(*value)});
    return out;
}

Settings settingsOf(std::string_view bytes, const Warn& warn) {
    MemoryStore store;
    readConfig(bytes, store);
    return settingsOf(store, warn);
}

const std::string* valueOf(const Settings& settings, Id id) {
    for (const Setting& s : settings)
        if (s.id == id) return &s.value;
    return nullptr;
}

std::vector<Difference> diff(const Settings& a, const Settings& b) {
    const auto& rank = reviewRank();
    std::vector<Difference> out;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const int ra = i < a.size() ? rank[a[i].id] : kKeyCount + 1;
        const int rb = j < b.size() ? rank[b[j].id] : kKeyCount + 1;
        if (ra < rb) {
            out.push_back({a[i].id, a[i].value, std::nullopt});
            ++i;
        } else if (rb < ra) {
            out.push_back({b[j].id, std::nullopt, b[j].value});
            ++j;
        } else {
            if (a[i].value != b[j].value) out.push_back({a[i].id, a[i].value, b[j].value});
            ++i, ++j;
        }
    }
    return out;
}

std::string diffText(std::span<const Difference> differences, std::string_view indent) {
    std::string out;
    const auto line = [&](char sign, Id id, const std::string& value) {
        out += indent;
        out += sign;
        out += param(id).key;
        out += "='";
        out += value;
        out += "'\n";
    };
    for (const Difference& d : differences) {
        if (d.a) line('-', d.id, *d.a);
        if (d.b) line('+', d.id, *d.b);
    }
    return out;
}

std::string exportCsv(std::span<const Record> records, CsvStyle style) {
    const char separator = style == CsvStyle::Excel ? ';' : ',';
    std::array<bool, kKeyCount> used{};
    for (const Record& r : records)
        for (const Setting& s : r.settings) used[s.id] = true;
    std::vector<Id> columns;
    for (Id id : controlOrder())
        if (used[id]) columns.push_back(id);
    std::vector<int> column(kKeyCount, -1);
    for (std::size_t c = 0; c < columns.size(); ++c) column[columns[c]] = static_cast<int>(c);

    // Room for the cells as they are; quotes, where a cell needs them, grow it.
    std::size_t size = 1024;
    for (const Record& r : records) {
        size += r.file.size() + columns.size() + 3;
        for (const Setting& s : r.settings) size += s.value.size() + 2;
    }
    std::string out;
    out.reserve(size);
    if (style == CsvStyle::Excel) out += kBom;
    std::vector<std::string_view> cells(columns.size() + 1);
    cells[0] = "file";
    for (std::size_t c = 0; c < columns.size(); ++c) cells[c + 1] = param(columns[c]).key;
    csv::appendRow(out, cells, separator);
    // A name or value that a spreadsheet would take for a formula is marked as text; the
    // empty text, '', is written as it is.
    std::vector<bool> empty(columns.size() + 1);
    for (const Record& r : records) {
        std::fill(cells.begin(), cells.end(), std::string_view());
        std::fill(empty.begin(), empty.end(), false);
        cells[0] = r.file;
        for (const Setting& s : r.settings) {
            const std::size_t c = static_cast<std::size_t>(column[s.id]) + 1;
            cells[c] = s.value;
            empty[c] = s.value.empty();
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out += separator;
            if (empty[c]) {
                out += "''";
            } else {
                csv::appendMarkedField(out, cells[c]);
            }
        }
        out += "\r\n";
    }
    return out;
}

std::size_t secretCells(std::span<const Record> records) {
    std::size_t n = 0;
    for (const Record& r : records)
        for (const Setting& s : r.settings) n += param(s.id).has(Secret) && !s.value.empty();
    return n;
}

}  // namespace orbex::fleet
