#include "review.h"

#include <charconv>

#include "checks.h"
#include "text.h"

namespace orbex {
namespace {

constexpr std::string_view kBlank = " ";

void setCell(std::string& cell, std::string_view s) {
    cell.assign(s.empty() ? kBlank : s);
}

// Made in place: the row's strings are the only copies.
void addRow(ReviewTable& table, std::string_view description, std::string_view key,
            std::string_view value, std::string_view shown) {
    ReviewRow& row = table.emplace_back();
    row.description = description.empty() ? kBlank : description;
    row.key = key.empty() ? kBlank : key;
    setCell(row.value, value);
    row.valueLength = std::to_string(text::length(value));
    setCell(row.shownText, shown);
}

void addChipset(ReviewTable& table, const Param& p, int item) {
    const ValueChoice& row = p.table[item - 1];
    const ChipsetParts parts = splitChipset(row.value);
    static const Param& px = param(idOf(keys::X));
    static const Param& pfb = param(idOf(keys::FB));
    const auto word = [](bool on) { return on ? std::string_view("on") : "off"; };
    addRow(table, px.description, px.key, word(parts.x), word(parts.x));
    addRow(table, pfb.description, pfb.key, word(parts.fb), word(parts.fb));
    addRow(table, p.description, p.key, parts.chipset, row.display);
}

enum class Outcome { Done, Restart };

Outcome build(Store& store, const Warn& warn, ReviewTable& table) {
    static const Id dns = idOf(keys::DNS);
    table.clear();
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
        const Param& p = param(id);
        switch (p.kind) {
            case Kind::Text: {
                const std::string_view t = store.textView(id, buffer);
                if (t == kUnset) break;
                if (id != dns) {
                    const Verdict v = judge(id, t, dnsFlag);
                    if (v != Verdict::Keep) {
                        store.setText(id, kUnset);
                        warn(id);
                        if (v == Verdict::ResetAndRestart) return Outcome::Restart;
                        break;
                    }
                }
                addRow(table, descriptionOf(p), p.key, t, t);
                break;
            }
            case Kind::Switch: {
                const Tri c = store.check(id);
                if (c == Tri::Grayed) break;
                const bool on = c == Tri::Checked;
                addRow(table, p.description, p.key, on ? "on" : "off", on ? "да" : "нет");
                break;
            }
            case Kind::Choice: {
                const int item = store.item(id);
                if (item == 0) break;
                if (item < 0 || item > static_cast<int>(p.table.size())) {
                    const std::string_view t = store.textView(id, buffer);  // a code of its own
                    addRow(table, p.description, p.key, t, t);
                } else if (p.key == keys::CHIPSET) {
                    addChipset(table, p, item);
                } else {
                    const ValueChoice& row = p.table[item - 1];
                    addRow(table, p.description, p.key, row.value, row.display);
                }
                break;
            }
            case Kind::None:
                break;
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

ReviewTable BuildReviewTable(Store& store, const Warn& warn) {
    ReviewTable table;
    table.reserve(96);
    // Every restart leaves one more address unset, so there are fewer restarts than keys.
    for (int i = 0; i <= kKeyCount && build(store, warn, table) == Outcome::Restart; ++i) {
    }
    return table;
}

}  // namespace orbex
