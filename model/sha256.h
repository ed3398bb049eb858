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

}  // namespace orbex
