// SHA-256 (FIPS 180-4): the fingerprint by which a build of a layered source knows the bytes it
// wrote.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orbex {

using Digest = std::array<std::uint8_t, 32>;

Digest sha256(std::string_view bytes);
// The digest as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);
std::string hexOf(const Digest& digest);

namespace detail {
// The rounds in plain C++, whatever the processor offers; and whether sha256 uses the
// processor's own instructions instead (x86 with the SHA extensions).
Digest sha256Portable(std::string_view bytes);
bool usesShaInstructions();
}  // namespace detail

}  // namespace orbex
