// The configuration is the state of one control per key. Reading, the review and writing act
// on it through this interface: the editor window implements it over its controls, the
// command-line tool and the tests over plain memory.
#pragma once

#include <array>
#include <bitset>
#include <optional>
#include <string>
#include <string_view>

#include "model/catalogue.h"

namespace orbex {

enum class Tri : std::uint8_t { Unchecked, Checked, Grayed };  // Grayed = unset

class Store {
  public:
    virtual ~Store() = default;

    // Text keys: the edit's text, UTF-8; kUnset is the unset state.
    // KEYMAP: the list's own text, a layout code typed or read that no row matches; setting it
    // leaves no item selected.
    virtual std::string text(Id id) const = 0;
    virtual void setText(Id id, std::string_view value) = 0;
    // The same text without a copy where the store holds it: valid until the store or
    // `buffer` changes.
    virtual std::string_view textView(Id id, std::string& buffer) const {
        return buffer = text(id);
    }

    // Switch keys.
    virtual Tri check(Id id) const = 0;
    virtual void setCheck(Id id, Tri state) = 0;

    // Choice keys: 0 is the unset item, k is row k - 1 of the value table; -1 means that the
    // editable list holds a text of its own and no item is selected. Selecting an item runs
    // whatever the list does on a change (the window's dependency rules).
    virtual int item(Id id) const = 0;
    virtual void setItem(Id id, int item) = 0;

    // Every parameter unset.
    virtual void ResetAll();
};

// Makes one parameter unset: the default marker in an edit, item 0 in a list, a grayed switch.
// Keys without a control have no unset state and are left alone.
void unset(Store& store, Id id);

// The value a file stores for a parameter, as the store holds it: the text of an edit, "on" or
// "off" for a switch, the value of a list's item or the list's own text; nullopt when unset.
// The view is valid until the store or `buffer` changes.
std::optional<std::string_view> storedValue(const Store& store, Id id, std::string& buffer);

// One parameter of `from` given to `to` as `from` holds it: an edit's text, a switch's state, a
// list's item or the list's own text. `buffer` is scratch space.
void copyParam(const Store& from, Id id, Store& to, std::string& buffer);

// A typical configuration: every parameter unset first when the preset starts anew, then its
// settings in order, each list's and switch's change running as a user's would.
void applyPreset(Store& store, const Preset& preset);

// The configuration in plain memory, every parameter unset at first.
class MemoryStore final : public Store {
  public:
    MemoryStore();
    std::string text(Id id) const override { return std::string(textView(id)); }
    std::string_view textView(Id id, std::string&) const override { return textView(id); }
    void setText(Id id, std::string_view value) override;
    Tri check(Id id) const override { return checks_[id]; }
    void setCheck(Id id, Tri state) override { checks_[id] = state; }
    int item(Id id) const override { return items_[id]; }
    void setItem(Id id, int item) override { items_[id] = item, texts_[id].clear(); }
    void ResetAll() override;

    // Spelled out: a defaulted comparison would be deleted, Store having none.
    bool operator==(const MemoryStore& o) const {
        return texts_ == o.texts_ && unset_ == o.unset_ && checks_ == o.checks_ &&
               items_ == o.items_;
    }

  private:
    std::string_view textView(Id id) const { return unset_[id] ? kUnset : texts_[id]; }

    std::array<std::string, kKeyCount> texts_;
    std::bitset<kKeyCount> unset_;  // Text keys in the unset state, their string left empty
    std::array<Tri, kKeyCount> checks_;
    std::array<int, kKeyCount> items_;
};

}  // namespace orbex
