#include "model/review.h"

#include <charconv>

#include "model/checks.h"
#include "model/text.h"

namespace orbex {
namespace {

constexpr std::string_view kBlank = " ";

void setCell(std::string& cell, std::string_view s) {
    cell.assign(s.empty() ? kBlank : s);
}

// The rows built so far: the first `size` of the table; the rows after them are left over from
// an earlier build, and their strings' storage serves the next rows.
struct Rows {
    ReviewTable& table;
    std::size_t size = 0;
};

// Made in place: the row's strings are the only copies; its description and key are the
// catalogue's.
void addRow(Rows& rows, Id id, std::string_view value, std::string_view shown) {
    const Param& p = param(id);
    ReviewRow& row =
        rows.size < rows.table.size() ? rows.table[rows.size] : rows.table.emplace_back();
    ++rows.size;
    row.id = id;
    const std::string_view description = descriptionOf(p);
    row.description = description.empty() ? kBlank : description;
    row.key = p.key;
    setCell(row.value, value);
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, text::length(value)).ptr;
    row.valueLength.assign(digits, end);
    setCell(row.shownText, shown);
}

void addChipset(Rows& table, Id id, int item) {
    static const Id x = idOf(keys::X), fb = idOf(keys::FB);
    const ValueChoice& row = param(id).table[item - 1];
    const ChipsetParts parts = splitChipset(row.value);
    const auto word = [](bool on) { return on ? std::string_view("on") : "off"; };
    addRow(table, x, word(parts.x), word(parts.x));
    addRow(table, fb, word(parts.fb), word(parts.fb));
    addRow(table, id, parts.chipset, row.display);
}

enum class Outcome { Done, Restart };

Outcome build(Store& store, const Warn& warn, Rows& table) {
    static const Id dns = idOf(keys::DNS);
    table.size = 0;
    bool dnsFlag = false;
    std::string buffer;
    if (const std::string_view t = store.textView(dns, buffer); t != kUnset) {
        if (judge(dns, t, false) != Verdict::Keep) {
            store.setText(dns, kUnset);
            warn(dns);
            return Outcome::Restart;
        }
        dnsFlag = true;
    }
    for (Id id : controlOrder()) {
        const std::optional<std::string_view> value = storedValue(store, id, buffer);
        if (!value) continue;
        const Param& p = param(id);
        if (p.kind == Kind::Text && id != dns) {
            if (const Verdict v = judge(id, *value, dnsFlag); v != Verdict::Keep) {
                store.setText(id, kUnset);
                warn(id);
                if (v == Verdict::ResetAndRestart) return Outcome::Restart;
                continue;
            }
        }
        const int item = p.kind == Kind::Choice ? store.item(id) : 0;
        const bool listed = item >= 1 && item <= static_cast<int>(p.table.size());
        if (p.kind == Kind::Switch) {
            addRow(table, id, *value, *value == "on" ? "да" : "нет");
        } else if (!listed) {
            addRow(table, id, *value, *value);  // a text, or a list's code of its own
        } else if (p.key == keys::CHIPSET) {
            addChipset(table, id, item);
        } else {
            addRow(table, id, *value, p.table[static_cast<std::size_t>(item - 1)].display);
        }
    }
    return Outcome::Done;
}

}  // namespace

Verdict judge(Id id, std::string_view t, bool dnsFlag) {
    switch (param(id).check) {
        case Check::Number:
            return IsWholeNumber(t) ? Verdict::Keep : Verdict::Reset;
        case Check::AddressList:
            return dnsFlag || IsValidIpList(t) ? Verdict::Keep : Verdict::ResetAndRestart;
        case Check::Address:
            return IsValidIpAddress(t) ? Verdict::Keep : Verdict::ResetAndRestart;
        case Check::Any:
            break;
    }
    return Verdict::Keep;
}

std::span<const Id> checkedKeys() {
    static const std::vector<Id> ids = [] {
        const Id dns = idOf(keys::DNS);
        std::vector<Id> v{dns};
        for (Id id : controlOrder())
            if (id != dns && param(id).check != Check::Any) v.push_back(id);
        return v;
    }();
    return ids;
}

std::string_view ReviewRow::storedValue() const {
    std::size_t chars = 0;
    const char* end = valueLength.data() + valueLength.size();
    const auto [ptr, error] = std::from_chars(valueLength.data(), end, chars);
    if (error != std::errc() || ptr != end)
        chars = std::stoul(valueLength);  // anything but plain digits, as stoul reads it
    return text::cut(value, chars);
}

std::string settingText(const ReviewRow& row) {
    std::string s = "# ";
    s += row.description;
    s += ": ";
    s += row.shownText;
    s += "\r\n";
    s += row.key;
    s += "='";
    s += row.storedValue();
    return s + "'";
}

std::string warningText(std::string_view key) {
    std::string s = "Внимание!\nЗначение параметра ";
    s += key;
    s += " неверно!\nСброшено на значение по умолчанию";
    return s;
}

void BuildReviewTable(Store& store, const Warn& warn, ReviewTable& table) {
    Rows rows{table};
    // Every restart leaves one more address unset, so there are fewer restarts than keys.
    for (int i = 0; i <= kKeyCount && build(store, warn, rows) == Outcome::Restart; ++i) {
    }
    table.resize(rows.size);
}

ReviewTable BuildReviewTable(Store& store, const Warn& warn) {
    ReviewTable table;
    table.reserve(96);
    BuildReviewTable(store, warn, table);
    return table;
}

}  // namespace orbex
