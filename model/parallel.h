// Work shared out among a few threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace orbex {

// Calls `body(state, i)` for every i below `count`, on `threads` threads (the caller's among
// them): each takes the next index that is left, so that slow items do not hold up the rest.
// Each thread has a `State` of its own, made at its start, for what it reuses from item to item.
// Returns when every item is done.
template <typename State, typename Body>
void parallelForWith(std::size_t count, std::size_t threads, Body&& body) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        State state{};
        for (std::size_t i; (i = next.fetch_add(1)) < count;) body(state, i);
    };
    std::vector<std::thread> pool;
    if (threads > count) threads = count;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
}

// The same without a state of each thread: `body(i)`.
template <typename Body>
void parallelFor(std::size_t count, std::size_t threads, Body&& body) {
    struct None {};
    parallelForWith<None>(count, threads, [&body](None&, std::size_t i) { body(i); });
}

}  // namespace orbex
