// Reading a configuration file into a store.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/catalogue.h"
#include "model/parse.h"
#include "model/store.h"

namespace orbex {

// Applies one parameter line to the store, as the open command does for every line.
void applyParameter(Store& store, Id key, std::string_view value, bool xFlag);

// The open command: ResetAll, then every parameter line in file order, CHIPSET read with the
// X flag of the whole file (the first X line that says "on" or "off"). Returns that flag.
bool readConfig(std::string_view bytes, Store& store);

}  // namespace orbex
