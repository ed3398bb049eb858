// Reading a whole file, or a stream, within a bound.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <memory>
#include <utility>

#include "fileio/platform.h"

namespace orbex::fileio {

namespace {

// The one bounded read of a file: at most one byte more than `limit` is asked for, so that a
// file that grows past the bound is caught without a look at its size (a folder opens and
// fails at its first read). `sink.room(n)` gives a place for up to n more bytes,
// `sink.roomSize(n)` its size, `sink.took(n)` keeps what a read put there, `sink.size()`
// counts what is kept.
template <typename Sink>
bool readAtMost(const std::string& path, Sink& sink, Error& error, std::size_t limit,
                Accept accept) {
    error = {};
    sink.clear();
    const auto fail = [&](Error e) {
        sink.clear();
        error = std::move(e);
        return false;
    };
    struct Closer {
        Handle handle = kNoHandle;
        ~Closer() {
            if (handle != kNoHandle) closeFile(handle);
        }
    } file;
    if (Failure f = openToRead(path, accept, file.handle))
        return fail(errorOf(f, path, false, true));
    while (sink.size() <= limit) {
        const std::size_t want = limit + 1 - sink.size();
        char* const place = sink.room(want);
        std::size_t got = 0;
        if (Failure f = readSome(file.handle, place, sink.roomSize(want), got))
            return fail(errorOf(f, path, false, false));
        if (got == 0) break;
        sink.took(got);
    }
    if (sink.size() > limit) return fail(tooLargeError(path, false));
    return true;
}

// Into a string, through a chunk on the stack: growing the string to read into it would clear
// every byte of it first.
struct StringSink {
    explicit StringSink(std::string& b) : bytes(b) {}
    std::string& bytes;
    char chunk[65536];  // left as it is: a read fills it
    void clear() { bytes.clear(); }
    std::size_t size() const { return bytes.size(); }
    char* room(std::size_t) { return chunk; }
    std::size_t roomSize(std::size_t want) const { return std::min(sizeof chunk, want); }
    void took(std::size_t n) { bytes.append(chunk, n); }
};

}  // namespace

bool readInto(const std::string& path, std::string& buffer, Error& error, std::size_t limit,
              Accept accept) {
    StringSink sink(buffer);
    return readAtMost(path, sink, error, limit, accept);
}

// Straight into the buffer, which grows as the file needs.
struct Buffer::Sink {
    Buffer& b;
    void clear() { b.size_ = 0; }
    std::size_t size() const { return b.size_; }
    char* room(std::size_t want) {
        if (b.size_ == b.capacity_) b.reserve(std::min(b.capacity_ * 2, b.size_ + want));
        return b.data_.get() + b.size_;
    }
    std::size_t roomSize(std::size_t want) const { return std::min(b.capacity_ - b.size_, want); }
    void took(std::size_t n) { b.size_ += n; }
};

bool readInto(const std::string& path, Buffer& buffer, Error& error, std::size_t limit,
              Accept accept) {
    buffer.size_ = 0;  // nothing of the last file kept when the room is made
    buffer.prepare();
    Buffer::Sink sink{buffer};
    return readAtMost(path, sink, error, limit, accept);
}

std::optional<std::string> readFile(const std::string& path, Error& error, std::size_t limit,
                                    Accept accept) {
    std::string bytes;
    if (!readInto(path, bytes, error, limit, accept)) return std::nullopt;
    return bytes;
}

std::optional<std::string> readStream(std::istream& in, const std::string& name, Error& error,
                                      std::size_t limit) {
    error = {};
    std::string bytes;
    char buffer[65536];
    while (bytes.size() <= limit) {
        const std::size_t want = std::min(sizeof buffer, limit + 1 - bytes.size());
        in.read(buffer, static_cast<std::streamsize>(want));
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (in.bad()) {
            error = errorOf(systemFailure(EIO), name, false, false);
            return std::nullopt;
        }
        if (!in) break;
    }
    if (bytes.size() > limit) {
        error = tooLargeError(name, false);
        return std::nullopt;
    }
    return bytes;
}

namespace {

// The size of one piece of a piecewise read: large enough that a read costs little per byte,
// small enough to stay in the cache while its lines are taken apart.
constexpr std::size_t kPiece = std::size_t{256} * 1024;

}  // namespace

bool readPieces(const std::string& path, const Piece& piece, Error& error) {
    error = {};
    struct Closer {
        Handle handle = kNoHandle;
        ~Closer() {
            if (handle != kNoHandle) closeFile(handle);
        }
    } file;
    if (Failure f = openToRead(path, Accept::Any, file.handle)) {
        error = errorOf(f, path, false, true);
        return false;
    }
    const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
    for (;;) {
        std::size_t got = 0;
        if (Failure f = readSome(file.handle, buffer.get(), kPiece, got)) {
            error = errorOf(f, path, false, false);
            return false;
        }
        if (got == 0) return true;
        piece(std::string_view(buffer.get(), got));
    }
}

bool readPieces(std::istream& in, const std::string& name, const Piece& piece, Error& error) {
    error = {};
    const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
    for (;;) {
        in.read(buffer.get(), static_cast<std::streamsize>(kPiece));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > 0) piece(std::string_view(buffer.get(), got));
        if (in.bad()) {
            error = errorOf(systemFailure(EIO), name, false, false);
            return false;
        }
        if (!in) return true;
    }
}

void Buffer::prepare() {
    // A megabyte and more served one large file: let it go rather than hold it to the end.
    if (capacity_ > kKeptCapacity || capacity_ == 0) {
        data_.reset();
        capacity_ = 0;
        reserve(kFirstCapacity);
    }
}

void Buffer::reserve(std::size_t capacity) {
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

}  // namespace orbex::fileio
