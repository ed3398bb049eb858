// Reading the files of a list ahead of their user, in a thread of its own.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "fileio/fileio.h"

namespace orbex::fileio {

// What the reading thread and the user share, under one mutex. Either side that has to wait
// sleeps until the other is half a ring ahead (or done), so that the two wake each other once
// in half a ring of files, not at every file.
struct ReadAhead::Shared {
    std::mutex mutex;
    std::condition_variable filled, freed;
    std::size_t produced = 0;  // files read into their slots
    std::size_t released = 0;  // files the user is done with, their slots free again
    std::size_t wanted = 0;    // the user sleeps until this many are read
    bool readerWaits = false, userWaits = false, stop = false;
    std::thread thread;
};

bool ReadAhead::defaultThreaded() {
    return std::thread::hardware_concurrency() > 1;
}

ReadAhead::ReadAhead(std::size_t count, PathOf pathOf, bool threaded, Accept accept)
    : count_(count),
      pathOf_(std::move(pathOf)),
      threaded_(threaded && count > 1),
      accept_(accept),
      slots_(std::make_unique<Slot[]>(threaded_ ? kSlots : 1)) {
    if (!threaded_) return;
    shared_ = std::make_unique<Shared>();
    shared_->thread = std::thread([this] { produce(); });
}

ReadAhead::~ReadAhead() {
    if (!shared_) return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->freed.notify_one();
    shared_->thread.join();
}

void ReadAhead::fill(std::size_t i, Slot& slot, std::string& path) {
    slot.skipped = !pathOf_(i, path);
    slot.ok = !slot.skipped && readInto(path, slot.buffer, slot.error, kInputLimit, accept_);
}

void ReadAhead::produce() {
    Shared& s = *shared_;
    std::string path;
    for (std::size_t i = 0; i < count_; ++i) {
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            if (i - s.released >= kSlots) {
                s.readerWaits = true;
                s.freed.wait(lock, [&] { return s.stop || i - s.released <= kSlots / 2; });
                s.readerWaits = false;
            }
            if (s.stop) return;
        }
        fill(i, slots_[i % kSlots], path);
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.produced = i + 1;
            wake = s.userWaits && s.produced >= s.wanted;
        }
        if (wake) s.filled.notify_one();
    }
}

ReadAhead::File ReadAhead::next() {
    const std::size_t i = taken_++;
    Slot* slot = &slots_[0];
    if (!threaded_) {
        fill(i, *slot, path_);
    } else {
        Shared& s = *shared_;
        bool wake = false;
        {
            // The file before this one is done with: its slot may be read into again.
            std::unique_lock<std::mutex> lock(s.mutex);
            s.released = i;
            wake = s.readerWaits && s.produced - s.released <= kSlots / 2;
            if (s.produced <= i) {
                if (wake) s.freed.notify_one();
                wake = false;
                s.wanted = std::min(count_, i + kSlots / 2);
                s.userWaits = true;
                s.filled.wait(lock, [&] { return s.produced >= s.wanted; });
                s.userWaits = false;
            }
        }
        if (wake) s.freed.notify_one();
        slot = &slots_[i % kSlots];
    }
    File f;
    f.skipped = slot->skipped;
    if (!slot->skipped && !slot->ok) f.error = &slot->error;
    if (slot->ok) f.bytes = slot->buffer.bytes();
    return f;
}

}  // namespace orbex::fileio
