// Faults injected into the file library through its seam.
#pragma once

#include "fileio/fileio.h"

namespace orbex::testing {

// Puts a hook in place for the scope, and removes it when the scope ends, whatever happens.
struct Hooked {
    explicit Hooked(fileio::seam::Hook hook) { fileio::seam::setHook(std::move(hook)); }
    ~Hooked() { fileio::seam::setHook({}); }
    Hooked(const Hooked&) = delete;
    Hooked& operator=(const Hooked&) = delete;
};

}  // namespace orbex::testing
