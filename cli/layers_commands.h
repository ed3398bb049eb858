// The commands of orbcfg-cli over a layered source (model/layers.h): build, explain, init, and
// lint of a source.
#pragma once

#include <string>

#include "cli/context.h"

namespace orbex::cli {

int build(Context& c, Args args);
int explain(Context& c, Args args);
int init(Context& c, Args args);
// lint SRC: the source's files, its device list, and the findings across the files it builds.
int lintSource(Context& c, const std::string& src, bool json);

}  // namespace orbex::cli
