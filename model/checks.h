// The checks that the review applies to addresses and numbers.
#pragma once

#include <string>
#include <string_view>

#include "model/catalogue.h"

namespace orbex {

// Empty, or four dot-separated decimal groups: the first 1..255, the others 0..255.
bool IsValidIpAddress(std::string_view text);
// Blank-separated addresses, each valid; a text without entries is checked as one address.
bool IsValidIpList(std::string_view text);
// A signed 32-bit integer: leading blanks, a sign, decimal digits or hexadecimal ones after
// "$", "x", "X", "0x" or "0X", and nothing after them.
bool IsWholeNumber(std::string_view text);

// What a check asks for, as in "... is not a whole number".
std::string describe(Check check);

}  // namespace orbex
