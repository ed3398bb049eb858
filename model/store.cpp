#include "model/store.h"

namespace orbex {

void unset(Store& store, Id id) {
    switch (param(id).kind) {
        case Kind::Text:
            store.setText(id, kUnset);
            break;
        case Kind::Switch:
            store.setCheck(id, Tri::Grayed);
            break;
        case Kind::Choice:
            store.setItem(id, 0);
            break;
        case Kind::None:
            break;
    }
}

std::optional<std::string_view> storedValue(const Store& store, Id id, std::string& buffer) {
    const Param& p = param(id);
    switch (p.kind) {
        case Kind::Text:
            if (std::string_view t = store.textView(id, buffer); t != kUnset) return t;
            break;
        case Kind::Switch:
            if (const Tri c = store.check(id); c != Tri::Grayed)
                return c == Tri::Checked ? "on" : "off";
            break;
        case Kind::Choice: {
            const int item = store.item(id);
            if (item == 0) break;
            if (item < 0 || item > static_cast<int>(p.table.size()))
                return store.textView(id, buffer);  // a code of its own
            return p.table[static_cast<std::size_t>(item - 1)].value;
        }
        case Kind::None:
            break;
    }
    return std::nullopt;
}

void copyParam(const Store& from, Id id, Store& to, std::string& buffer) {
    switch (param(id).kind) {
        case Kind::Text:
            to.setText(id, from.textView(id, buffer));
            break;
        case Kind::Switch:
            to.setCheck(id, from.check(id));
            break;
        case Kind::Choice:
            if (const int item = from.item(id); item >= 0) {
                to.setItem(id, item);
            } else {
                to.setText(id, from.textView(id, buffer));
            }
            break;
        case Kind::None:
            break;
    }
}

void applyPreset(Store& store, const Preset& preset) {
    if (preset.startsNew) store.ResetAll();
    for (const Setting& s : preset.settings) {
        const Param& p = param(s.id);
        if (p.kind == Kind::Choice) {
            store.setItem(s.id, itemOf(p.table, s.value).value_or(0));
        } else {
            store.setCheck(s.id, s.value == "on" ? Tri::Checked : Tri::Unchecked);
        }
    }
}

void Store::ResetAll() {
    for (Id id : controlOrder()) unset(*this, id);
}

MemoryStore::MemoryStore() {
    ResetAll();
}

void MemoryStore::setText(Id id, std::string_view value) {
    const Kind kind = param(id).kind;
    unset_[id] = kind == Kind::Text && value == kUnset;
    if (unset_[id]) {
        texts_[id].clear();
    } else {
        texts_[id] = value;
    }
    if (kind == Kind::Choice) items_[id] = -1;
}

void MemoryStore::ResetAll() {
    checks_.fill(Tri::Grayed);
    items_.fill(0);
    // Cleared in place, so that the strings keep their memory from one file to the next.
    for (Id id = 0; id < kKeyCount; ++id) {
        texts_[id].clear();
        unset_[id] = param(id).kind == Kind::Text;
    }
}

}  // namespace orbex
