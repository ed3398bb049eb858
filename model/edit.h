// Changing a configuration as `orbcfg-cli set` and `import` do: values as the file stores them
// (AUTOSTART=on, RAZR=1280x1024, CHIPSET=auto_x), refused when the editor would not keep them.
#pragma once

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

// Why `value` cannot be given to the key; empty when it can.
std::string refusal(const Param& p, std::string_view value);

// Why the key cannot be made unset (it has no control); empty when it can.
std::string unsetRefusal(const Param& p);

struct Edit {
    ReviewTable table;          // the rows the file is written from
    std::vector<Id> reset;      // values already in the store that the review reset
    std::optional<Id> refused;  // a change refused, or whose value the review would reset
    std::string reason;         // why, as "IP: '10.0..1' is not an IPv4 address"
};

// Applies the changes to the store in their order, then builds the review table. A change
// that refusal() or unsetRefusal() refuses is not applied at all: `refused` names it and the
// store is left as it was. When the review resets a value that a change gave, `refused` names
// it and nothing should be written.
Edit applyChanges(Store& store, std::span<const Change> changes);
// The same for changes that each passed refusal() (a value) or unsetRefusal() (none) already,
// into `edit`, whose table's storage serves the new table (one edit for many files).
void applyPassedChanges(Store& store, std::span<const ChangeView> changes, Edit& edit);

}  // namespace orbex
