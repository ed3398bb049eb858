#include "model/fetched_disk.h"

#include <filesystem>

#include "fileio/fileio.h"
#include "model/fleet_common.h"

namespace orbex::fetched {
namespace {

// A log's bytes into lines, through the decompressor when they begin as gzip data.
class LogInput {
  public:
    explicit LogInput(tftplog::LineSplitter& lines)
        : lines_(lines), gunzip_([this](std::string_view b) { lines_.feed(b); }) {}

    bool feed(std::string_view bytes, std::string& error) {
        if (!decided_) {
            head_.append(bytes);
            if (head_.size() < 2) return true;
            return decide(error);
        }
        if (gzip_) return gunzip_.feed(bytes, error);
        lines_.feed(bytes);
        return true;
    }

    // The end of this log, and of its last line.
    bool finish(std::string& error) {
        if (!decided_ && !decide(error)) return false;
        if (gzip_ && !gunzip_.finish(error)) return false;
        lines_.finish();
        return true;
    }

  private:
    bool decide(std::string& error) {
        decided_ = true;
        gzip_ = fileio::Gunzip::isGzip(head_);
        const std::string head = std::move(head_);
        return feed(head, error);
    }

    tftplog::LineSplitter& lines_;
    fileio::Gunzip gunzip_;
    std::string head_;
    bool decided_ = false, gzip_ = false;
};

}  // namespace

bool readLog(const std::string& name, std::istream* in, tftplog::LineSplitter& lines,
             fleet::ReasonText reason, std::string& error) {
    LogInput input(lines);
    std::string corrupt;
    const fileio::Piece piece = [&](std::string_view bytes) {
        if (corrupt.empty()) input.feed(bytes, corrupt);
    };
    fileio::Error e;
    const bool read =
        in ? fileio::readPieces(*in, name, piece, e) : fileio::readPieces(name, piece, e);
    if (!read) {
        error = reason(e);
        return false;
    }
    if (corrupt.empty()) input.finish(corrupt);
    error = corrupt;
    return corrupt.empty();
}

bool loadFolder(const std::string& dir, Folder& folder, fleet::ReasonText reason,
                std::string& error) {
    auto files = fleet::listFiles(dir, false, error);
    if (!files) return false;
    folder.files = std::move(*files);
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(fleet::detail::pathOf(dir), ec);
    for (const auto& part : absolute.lexically_normal().relative_path()) {
        const std::string s = fleet::detail::utf8Of(part);
        if (!s.empty()) folder.path.push_back(s);
    }
    const auto fleet = fleet::load(
        dir,
        [reason](const std::string& path, std::string& why) {
            return fleet::readFolderFile(path, why, reason);
        },
        fleet::Options{}, error);
    if (!fleet) return false;
    for (const fleet::Finding& f : fleet->findings) ++folder.findings[f.file];
    return true;
}

}  // namespace orbex::fetched
