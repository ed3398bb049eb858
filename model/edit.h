// Changing a configuration as `orbcfg-cli set` and `import` do: values as the file stores them
// (AUTOSTART=on, RAZR=1280x1024, CHIPSET=auto_x), refused when the editor would not keep them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/catalogue.h"
#include "model/review.h"
#include "model/store.h"

namespace orbex {

struct Change {
    Id id = 0;
    std::optional<std::string> value;  // none: make the parameter unset
};

// The same with the value in someone else's storage (a cell of a CSV being read).
struct ChangeView {
    Id id = 0;
    std::optional<std::string_view> value;  // none: make the parameter unset
};

// Why a value cannot be given to a key, or the key made unset.
enum class ValueFault : std::uint8_t {
    None,
    FromChipset,   // X and FB: written from CHIPSET
    NotEdited,     // a key without a control
    OnOff,         // a switch takes on or off
    OneOf,         // a value outside the key's table (param(key).table)
    QuoteOrBreak,  // a single quote or a line break in the value
    Control,       // detail: the control character, as text::printable shows it
    UseUnset,      // the unset marker given as a value
    FailsCheck,    // detail: the value (printable) that the key's check does not pass
};
struct ValueRefusal {
    ValueFault fault = ValueFault::None;
    std::string detail;
    explicit operator bool() const { return fault != ValueFault::None; }
    bool operator==(const ValueRefusal&) const = default;
};

// Why `value` cannot be given to the key; None when it can.
ValueRefusal valueRefusal(const Param& p, std::string_view value);
// Why the key cannot be made unset (it has no control); None when it can.
ValueRefusal unsetRefusalOf(const Param& p);
// In the words of orbcfg-cli: "takes on or off"; empty for None.
std::string refusalText(const Param& p, const ValueRefusal& r);
// The same after the key: "AUTOSTART takes on or off", "IP: '10.0..1' is not an IPv4 address".
std::string keyRefusalText(const Param& p, const ValueRefusal& r);

// refusalText of valueRefusal and of unsetRefusalOf.
std::string refusal(const Param& p, std::string_view value);
std::string unsetRefusal(const Param& p);

struct Edit {
    ReviewTable table;          // the rows the file is written from
    std::vector<Id> reset;      // values already in the store that the review reset
    std::optional<Id> refused;  // a change refused, or whose value the review would reset
    ValueRefusal why;           // why
    std::string reason;         // its keyRefusalText, "IP: '10.0..1' is not an IPv4 address"
};

// Applies the changes to the store in their order, then builds the review table. A change
// that refusal() or unsetRefusal() refuses is not applied at all: `refused` names it and the
// store is left as it was. When the review resets a value that a change gave, `refused` names
// it and nothing should be written.
Edit applyChanges(Store& store, std::span<const Change> changes);
// The same for changes that each passed refusal() (a value) or unsetRefusal() (none) already,
// into `edit`, whose table's storage serves the new table (one edit for many files).
void applyPassedChanges(Store& store, std::span<const ChangeView> changes, Edit& edit);

// The changes given to the store in their order, as applyPassedChanges gives them, without
// building the review table: each passed refusal() (a value) or unsetRefusal() (none) already.
void applyValues(Store& store, std::span<const ChangeView> changes);

}  // namespace orbex
