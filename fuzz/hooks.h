// What both fuzz targets hand libFuzzer and AddressSanitizer: marks put into inputs by the
// mutator (stretch.h), and a smaller quarantine with no fill of new memory: with the default
// 256 MiB each input's allocations fault in fresh pages, which took more time than the code
// under test. Included once by each target.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/stretch.h"

extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16:max_malloc_fill_size=0";
}

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    return orbex::fuzz::mutateWithMarks(data, size, maxSize, seed, LLVMFuzzerMutate);
}
