#include "store.h"

namespace orbex {

void Store::ResetAll() {
    for (Id id : controlOrder()) {
        switch (param(id).kind) {
            case Kind::Text:
                setText(id, kUnset);
                break;
            case Kind::Switch:
                setCheck(id, Tri::Grayed);
                break;
            case Kind::Choice:
                setItem(id, 0);
                break;
            case Kind::None:
                break;
        }
    }
}

bool Store::isUnset(Id id) const {
    switch (param(id).kind) {
        case Kind::Text: {
            std::string buffer;
            return textView(id, buffer) == kUnset;
        }
        case Kind::Switch:
            return check(id) == Tri::Grayed;
        case Kind::Choice:
            return item(id) == 0;
        case Kind::None:
            break;
    }
    return true;
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

void copyStore(const Store& from, Store& to) {
    for (Id id : controlOrder()) {
        switch (param(id).kind) {
            case Kind::Text:
                to.setText(id, from.text(id));
                break;
            case Kind::Switch:
                to.setCheck(id, from.check(id));
                break;
            case Kind::Choice:
                if (from.item(id) < 0) {
                    to.setText(id, from.text(id));
                } else {
                    to.setItem(id, from.item(id));
                }
                break;
            case Kind::None:
                break;
        }
    }
}

}  // namespace orbex
