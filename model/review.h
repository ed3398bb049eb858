// The review table: every set parameter in the window's order, the single source of the file.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/catalogue.h"
#include "model/store.h"

namespace orbex {

// A cell given an empty text holds one blank; valueLength restores an empty value. The
// description and the key are the catalogue's own texts for the row's key `id`, never copied.
struct ReviewRow {
    std::string_view description;
    std::string_view key;
    std::string value;
    std::string valueLength;  // characters of the value, in decimal
    std::string shownText;
    Id id = -1;

    // The value as stored: the value cell cut to valueLength characters.
    std::string_view storedValue() const;
    bool operator==(const ReviewRow&) const = default;
};
using ReviewTable = std::vector<ReviewRow>;

// One setting as copied from the review dialog: "# description: shown", CR LF, KEY='value',
// no line end after the closing quote.
std::string settingText(const ReviewRow& row);

// Called once for every value that a check resets, with its key.
using Warn = std::function<void(Id)>;

// "Внимание!\nЗначение параметра KEY неверно!\nСброшено на значение по умолчанию"
std::string warningText(std::string_view key);

// What the checks make of the text of a set Text parameter: kept, or reset; an address that is
// reset makes the build start again. The server lists are not checked while `dnsFlag` is set
// (DNS set and valid, or empty).
enum class Verdict : std::uint8_t { Keep, Reset, ResetAndRestart };
Verdict judge(Id id, std::string_view text, bool dnsFlag);
// The Text keys that have a check, DNS first, then in the window's order.
std::span<const Id> checkedKeys();

// The checks of BuildReviewTable alone, on texts that nothing will change: `warn(id)` for every
// value that the build would reset, each once. `textOf(id)` gives a checked key's text, kUnset
// when it is unset. No table is built.
template <typename TextOf, typename F>
void forEachReset(TextOf&& textOf, F&& warn) {
    bool dnsFlag = false;
    for (Id id : checkedKeys()) {
        const std::string_view t = textOf(id);
        if (t == kUnset) continue;
        if (judge(id, t, dnsFlag) != Verdict::Keep) {
            warn(id);
        } else if (id == checkedKeys().front()) {
            dnsFlag = true;  // DNS is judged before the others
        }
    }
}

// Rebuilds the table from the store. A number that fails its check is reset and the build
// goes on; an address that fails is reset and the build starts again, so each bad value warns
// exactly once. With a valid or empty DNS the server lists are not checked.
ReviewTable BuildReviewTable(Store& store, const Warn& warn);
// The same into `table`, whose rows' storage serves the new rows (one table for many files).
void BuildReviewTable(Store& store, const Warn& warn, ReviewTable& table);

}  // namespace orbex
