// The fleet's files on disk: a folder's file read, and a plan's files replaced in one batch,
// for the tool and the fleet window alike. Apart from the model, which reads and writes
// nothing itself.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "fileio/fileio.h"
#include "model/fleet.h"

namespace orbex::fleet {

// How a caller words a file's error: the English reason, fileio::russianReason, ...
using ReasonText = std::string (*)(const fileio::Error& error);
// The reason as fileio gives it, in English.
std::string englishReason(const fileio::Error& error);

// A file of a folder: a regular file within the bound (a FIFO put there is refused, not
// waited for). On failure, `error` is the reason in the caller's words.
std::optional<std::string> readFolderFile(const std::string& path, std::string& error,
                                          ReasonText reason);

// All of a plan's files at once, with one flush for all; the failed file and the renamed ones
// reported in `failure`. A new file never replaces one that appeared meanwhile, a changed one
// is replaced only while it holds what the plan read: another writer's file stays. With
// `stopOnSignal` a deferred signal stops it, so that what was renamed can be put back.
bool replacePlanned(std::span<const FileBytes> files, BatchFailure& failure, ReasonText reason,
                    bool stopOnSignal = false);
// The same with the options of the whole batch (a read-only file forced, the mode of new files).
bool replacePlanned(std::span<const FileBytes> files, BatchFailure& failure, ReasonText reason,
                    const fileio::ReplaceOptions& options);

}  // namespace orbex::fleet
