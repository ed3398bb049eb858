// Decompressing gzip data piece by piece, through zlib.
#include <zlib.h>

#include <climits>
#include <memory>
#include <utility>

#include "fileio/fileio.h"

namespace orbex::fileio {

namespace {

constexpr std::size_t kOut = std::size_t{256} * 1024;

}  // namespace

struct Gunzip::Stream {
    z_stream z{};
    bool open = false;      // inflateInit2 succeeded
    bool inMember = false;  // within a member: its end is still to come
    bool afterEnd = false;  // a member ended: what follows is another member or padding
    bool padding = false;   // zero bytes after the last member
    bool failed = false;
    Piece out;
    std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kOut);

    ~Stream() {
        if (open) inflateEnd(&z);
    }

    bool fail(std::string& error, std::string why) {
        failed = true;
        error = "corrupt gzip data: " + std::move(why);
        return false;
    }

    // Between members: zero bytes are padding, 1F begins the next member; anything else is
    // not gzip data. True when `bytes` holds the next member's first byte (not consumed).
    bool skipBetween(std::string_view& bytes, std::string& error) {
        while (!bytes.empty() && bytes.front() == '\0') {
            padding = true;
            bytes.remove_prefix(1);
        }
        if (bytes.empty()) return false;
        if (padding || static_cast<unsigned char>(bytes.front()) != 0x1f)
            return fail(error, "data after the end of the compressed stream");
        inflateReset(&z);
        afterEnd = false;
        return true;
    }

    // Inflates what the stream holds, handing out each full buffer; false at an error.
    bool inflateSome(std::string& error) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.get());
        z.avail_out = static_cast<uInt>(kOut);
        const int rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t made = kOut - z.avail_out;
        if (made > 0) out(std::string_view(buffer.get(), made));
        if (rc == Z_STREAM_END) {
            inMember = false;
            afterEnd = true;
            return true;
        }
        if (rc == Z_OK || rc == Z_BUF_ERROR) return true;
        return fail(error, z.msg ? z.msg : "inflate failed");
    }
};

Gunzip::Gunzip(Piece out) : stream_(std::make_unique<Stream>()) {
    stream_->out = std::move(out);
    // 16 + 15: a gzip header and trailer around the deflate data, the largest window.
    stream_->open = inflateInit2(&stream_->z, 16 + MAX_WBITS) == Z_OK;
}

Gunzip::~Gunzip() = default;

bool Gunzip::isGzip(std::string_view firstBytes) {
    return firstBytes.size() >= 2 && static_cast<unsigned char>(firstBytes[0]) == 0x1f &&
           static_cast<unsigned char>(firstBytes[1]) == 0x8b;
}

bool Gunzip::feed(std::string_view bytes, std::string& error) {
    Stream& s = *stream_;
    if (s.failed) return false;
    if (!s.open) return s.fail(error, "zlib could not start");
    while (!bytes.empty()) {
        if (s.afterEnd && !s.skipBetween(bytes, error)) return !s.failed;
        // A piece larger than zlib's counter goes in parts.
        const std::size_t part = std::min<std::size_t>(bytes.size(), UINT_MAX);
        s.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        s.z.avail_in = static_cast<uInt>(part);
        s.inMember = true;
        while (s.z.avail_in > 0 && !s.afterEnd)
            if (!s.inflateSome(error)) return false;
        // The member's end leaves the rest of the piece to what follows it.
        bytes.remove_prefix(part - s.z.avail_in);
        // With the input used up, inflate may still hold output for a full buffer.
        while (!s.afterEnd && s.z.avail_out == 0)
            if (!s.inflateSome(error)) return false;
    }
    return true;
}

bool Gunzip::finish(std::string& error) {
    Stream& s = *stream_;
    if (s.failed) return false;
    if (s.inMember) return s.fail(error, "unexpected end of the compressed data");
    return true;
}

}  // namespace orbex::fileio
