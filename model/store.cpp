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
