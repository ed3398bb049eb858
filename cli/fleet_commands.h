// The commands of orbcfg-cli over a folder of terminal files: lint, which, diff, export, import.
#pragma once

#include <string>
#include <vector>

#include "context.h"

namespace orbex::cli {

int lint(Context& c, const std::vector<std::string>& args);
int which(Context& c, const std::vector<std::string>& args);
int diff(Context& c, const std::vector<std::string>& args);
int exportFleet(Context& c, const std::vector<std::string>& args);
int importFleet(Context& c, const std::vector<std::string>& args);

}  // namespace orbex::cli
