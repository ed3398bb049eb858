#include "model/edit.h"

#include <algorithm>

#include "model/checks.h"
#include "model/reader.h"
#include "model/text.h"

namespace orbex {
namespace {

// What a line of the file can hold between its quotes: no quote, no line break, no other
// control character but TAB (which reading keeps as it is).
std::string textRefusal(std::string_view value) {
    if (value.find_first_of("'\r\n") != std::string_view::npos)
        return "cannot hold a single quote or a line break";
    if (const auto c = std::find_if(value.begin(), value.end(),
                                    [](char ch) {
                                        return text::hasControl({&ch, 1}, false);
                                    });
        c != value.end())
        return "cannot hold a control character (" + text::printable({&*c, 1}) + ")";
    if (value == kUnset) return "use -u to make it unset";
    return "";
}

}  // namespace

std::string refusal(const Param& p, std::string_view value) {
    switch (p.kind) {
        case Kind::None:
            if (p.key == keys::X || p.key == keys::FB)
                return "is written from CHIPSET; set CHIPSET to a value ending in _x or holding fb";
            return "is not edited by the program";
        case Kind::Switch:
            return value == "on" || value == "off" ? "" : "takes on or off";
        case Kind::Choice: {
            if (itemOf(p.table, value)) break;
            if (p.has(Editable)) return textRefusal(value);
            std::string values;
            for (const ValueChoice& row : p.table) values += " " + std::string(row.value);
            return "takes one of:" + values;
        }
        case Kind::Text:
            return textRefusal(value);
    }
    return "";
}

std::string unsetRefusal(const Param& p) {
    return p.hasControl() ? "" : "is not edited by the program";
}

void applyPassedChanges(Store& store, std::span<const ChangeView> changes, Edit& edit) {
    edit.reset.clear();
    edit.refused.reset();
    edit.reason.clear();
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
                    edit.reason = std::string(param(id).key) + ": '" + text::printable(*value) +
                                  "' is not " + describe(param(id).check);
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
        if (std::string why = ch.value ? refusal(p, *ch.value) : unsetRefusal(p); !why.empty()) {
            edit.refused = ch.id;
            edit.reason = std::string(p.key) + " " + why;
            return edit;  // nothing applied
        }
        views.push_back(
            {ch.id, ch.value ? std::optional<std::string_view>(*ch.value) : std::nullopt});
    }
    applyPassedChanges(store, views, edit);
    return edit;
}

}  // namespace orbex
