// The settings value of a redirected serial port (COM1 to COM13): seven blank-separated words,
// speed, parity, data bits, stop bits, then XONXOFF, RTSCTS and LOCAL, each with a "-" when off.
#pragma once

#include <string>
#include <string_view>

namespace orbex {

struct PortSettings {
    // Rows of the port value tables; row 0 is each table's default.
    int speed = 0;
    int parity = 0;
    int dataBits = 0;
    int stopBits = 0;
    bool xonxoff = false;
    bool rtscts = false;
    bool local = false;
    bool operator==(const PortSettings&) const = default;
};

// Words may come in any order; the later word wins, unknown words are ignored. A run of white
// space keeps its first character, and only blanks separate words.
PortSettings parsePortValue(std::string_view text);

std::string composePortValue(const PortSettings& settings);

}  // namespace orbex
