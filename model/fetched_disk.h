// A TFTP server's logs and the fleet's folder read from disk for the analysis of what the
// terminals fetched, for the tool and the fleet window alike.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

#include "model/fetched.h"
#include "model/fleet_disk.h"
#include "model/tftplog.h"

namespace orbex::fetched {

// One log, a file or a stream (`in` not null; `name` stands for it), read piece by piece into
// the lines of `lines`: gzip data (told by its first two bytes, not its name) through the
// decompressor first. False with the reason in `error` when it cannot be read or its gzip data
// is corrupt.
bool readLog(const std::string& name, std::istream* in, tftplog::LineSplitter& lines,
             fleet::ReasonText reason, std::string& error);

// The folder's .cfg files, the components of its absolute path and lint's findings by file;
// false with the reason in `error` when it cannot be read.
bool loadFolder(const std::string& dir, Folder& folder, fleet::ReasonText reason,
                std::string& error);

}  // namespace orbex::fetched
