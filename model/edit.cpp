#include "model/edit.h"

#include <algorithm>

#include "model/checks.h"
#include "model/reader.h"
#include "model/text.h"

namespace orbex {
namespace {

// What a line of the file can hold between its quotes: no quote, no line break, no other
// control character but TAB (which reading keeps as it is).
ValueRefusal textRefusal(std::string_view value) {
    if (value.find_first_of("'\r\n") != std::string_view::npos)
        return {ValueFault::QuoteOrBreak, {}};
    if (const auto c = std::find_if(value.begin(), value.end(),
                                    [](char ch) {
                                        return text::hasControl({&ch, 1}, false);
                                    });
        c != value.end())
        return {ValueFault::Control, text::printable({&*c, 1})};
    if (value == kUnset) return {ValueFault::UseUnset, {}};
    return {};
}

}  // namespace

ValueRefusal valueRefusal(const Param& p, std::string_view value) {
    switch (p.kind) {
        case Kind::None:
            if (p.key == keys::X || p.key == keys::FB) return {ValueFault::FromChipset, {}};
            return {ValueFault::NotEdited, {}};
        case Kind::Switch:
            if (value == "on" || value == "off") break;
            return {ValueFault::OnOff, {}};
        case Kind::Choice:
            if (itemOf(p.table, value)) break;
            if (p.has(Editable)) return textRefusal(value);
            return {ValueFault::OneOf, {}};
        case Kind::Text:
            return textRefusal(value);
    }
    return {};
}

ValueRefusal unsetRefusalOf(const Param& p) {
    if (p.hasControl()) return {};
    return {ValueFault::NotEdited, {}};
}

std::string refusalText(const Param& p, const ValueRefusal& r) {
    switch (r.fault) {
        case ValueFault::None:
            break;
        case ValueFault::FromChipset:
            return "is written from CHIPSET; set CHIPSET to a value ending in _x or holding fb";
        case ValueFault::NotEdited:
            return "is not edited by the program";
        case ValueFault::OnOff:
            return "takes on or off";
        case ValueFault::OneOf: {
            std::string values;
            for (const ValueChoice& row : p.table) values += " " + std::string(row.value);
            return "takes one of:" + values;
        }
        case ValueFault::QuoteOrBreak:
            return "cannot hold a single quote or a line break";
        case ValueFault::Control:
            return "cannot hold a control character (" + r.detail + ")";
        case ValueFault::UseUnset:
            return "use -u to make it unset";
        case ValueFault::FailsCheck:
            return "'" + r.detail + "' is not " + describe(p.check);
    }
    return "";
}

std::string keyRefusalText(const Param& p, const ValueRefusal& r) {
    return std::string(p.key) + (r.fault == ValueFault::FailsCheck ? ": " : " ") +
           refusalText(p, r);
}

std::string refusal(const Param& p, std::string_view value) {
    return refusalText(p, valueRefusal(p, value));
}

std::string unsetRefusal(const Param& p) {
    return refusalText(p, unsetRefusalOf(p));
}

void applyValues(Store& store, std::span<const ChangeView> changes) {
    for (const ChangeView& ch : changes) {
        const Param& p = param(ch.id);
        if (!ch.value) {
            unset(store, ch.id);
        } else if (p.kind == Kind::Choice && !p.has(Editable)) {
            store.setItem(ch.id, *itemOf(p.table, *ch.value));  // CHIPSET takes auto_x as it is
        } else {
            applyParameter(store, ch.id, *ch.value, false);
        }
    }
}

void applyPassedChanges(Store& store, std::span<const ChangeView> changes, Edit& edit) {
    edit.reset.clear();
    edit.refused.reset();
    edit.why = {};
    edit.reason.clear();
    applyValues(store, changes);
    // The value a change gave last to the key, if any.
    const auto given = [&](Id id) -> const std::string_view* {
        for (auto it = changes.rbegin(); it != changes.rend(); ++it)
            if (it->id == id) return it->value ? &*it->value : nullptr;
        return nullptr;
    };
    BuildReviewTable(
        store,
        [&](Id id) {
            if (const std::string_view* value = given(id)) {
                if (!edit.refused) {
                    edit.refused = id;
                    edit.why = {ValueFault::FailsCheck, text::printable(*value)};
                    edit.reason = keyRefusalText(param(id), edit.why);
                }
            } else {
                edit.reset.push_back(id);
            }
        },
        edit.table);
}

Edit applyChanges(Store& store, std::span<const Change> changes) {
    Edit edit;
    std::vector<ChangeView> views;
    views.reserve(changes.size());
    for (const Change& ch : changes) {
        const Param& p = param(ch.id);
        if (ValueRefusal why = ch.value ? valueRefusal(p, *ch.value) : unsetRefusalOf(p)) {
            edit.refused = ch.id;
            edit.reason = keyRefusalText(p, why);
            edit.why = std::move(why);
            return edit;  // nothing applied
        }
        views.push_back(
            {ch.id, ch.value ? std::optional<std::string_view>(*ch.value) : std::nullopt});
    }
    applyPassedChanges(store, views, edit);
    return edit;
}

}  // namespace orbex
