// Configurations for the benchmarks: every control set to a valid value, varied by a number.
#pragma once

#include <string>

#include "model/store.h"

namespace orbex::bench {

// Every one of the 94 controls set; `variant` changes the values (0 is the reference file).
void fillStore(Store& store, unsigned variant);

// The bytes the program writes for fillStore(variant).
std::string fullConfig(unsigned variant);

}  // namespace orbex::bench
