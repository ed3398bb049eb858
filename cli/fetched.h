// orbcfg-cli fetched: what the terminals fetched, from the TFTP server's log.
#pragma once

#include "cli/context.h"

namespace orbex::cli {

int fetched(Context& c, Args args);

}  // namespace orbex::cli
