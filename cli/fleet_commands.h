// The commands of orbcfg-cli over a folder of terminal files: lint, which, diff, export, import.
#pragma once

#include <string>
#include <vector>

#include "cli/context.h"

namespace orbex::cli {

int lint(Context& c, Args args);
int which(Context& c, Args args);
int diff(Context& c, Args args);
int exportFleet(Context& c, Args args);
int importFleet(Context& c, Args args);

}  // namespace orbex::cli
