#include "model/fleet_disk.h"

#include <vector>

namespace orbex::fleet {

std::string englishReason(const fileio::Error& error) {
    return error.reason;
}

std::optional<std::string> readFolderFile(const std::string& path, std::string& error,
                                          ReasonText reason) {
    fileio::Error e;
    auto bytes = fileio::readFile(path, e, fileio::kInputLimit, fileio::Accept::Regular);
    if (!bytes) error = reason(e);
    return bytes;
}

bool replacePlanned(std::span<const FileBytes> files, BatchFailure& failure, ReasonText reason,
                    bool stopOnSignal) {
    fileio::ReplaceOptions options;
    options.stopOnSignal = stopOnSignal;
    return replacePlanned(files, failure, reason, options);
}

bool replacePlanned(std::span<const FileBytes> files, BatchFailure& failure, ReasonText reason,
                    const fileio::ReplaceOptions& options) {
    std::vector<fileio::Replacement> batch;
    batch.reserve(files.size());
    for (const FileBytes& f : files)
        batch.push_back({f.path, f.bytes,
                         f.status == Status::New ? fileio::Expected::absent()
                                                 : fileio::Expected::holding(f.old)});
    fileio::Error e;
    fileio::BatchResult result;
    if (fileio::replaceFiles(batch, e, result, options)) return true;
    failure.failed = result.failed;
    failure.renamed = result.renamed;
    failure.reason = reason(e);
    return false;
}

}  // namespace orbex::fleet
