// Random fleets for the tests: files of every kind of value and line, and names of every kind.
#pragma once

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "model/catalogue.h"

namespace orbex::testing {

// A fleet of random files: values of every kind, with separators, quotes of the CSV, blanks,
// Cyrillic, empty texts, plus lines that reading ignores and values the review resets.
class FleetGen {
  public:
    explicit FleetGen(std::uint32_t seed) : rng_(seed) {}

    int upTo(int n) { return std::uniform_int_distribution<int>(0, n)(rng_); }

    std::string text() {
        // The characters that begin a spreadsheet's formula too.
        static const std::vector<std::string> bits = {"a", "Z", "7",  " ", ",", ";", "\"", "Ж",
                                                      "ё", "€", "\t", "=", "#", "@", "-",  "+"};
        std::string s;
        for (int n = upTo(6); n > 0; --n)
            s += bits[static_cast<std::size_t>(upTo(static_cast<int>(bits.size()) - 1))];
        return s;
    }

    std::string value(const Param& p) {
        switch (p.kind) {
            case Kind::Switch:
                return upTo(9) == 0 ? "yes" : upTo(1) ? "on" : "off";
            case Kind::Choice:
                return std::string(
                    p.table[static_cast<std::size_t>(upTo(static_cast<int>(p.table.size()) - 1))]
                        .value);
            default:
                break;
        }
        switch (p.check) {
            case Check::Number:
                return upTo(5) == 0 ? "many" : std::to_string(upTo(9999) - 100);
            case Check::Address:
            case Check::AddressList:
                return upTo(5) == 0 ? "10.0..1" : "10.0." + std::to_string(upTo(255)) + ".1";
            case Check::Any:
                break;
        }
        return text();
    }

    std::string file() {
        std::string bytes = upTo(1) ? "\xEF\xBB\xBF" : "";
        const std::string end = upTo(1) ? "\r\n" : "\n";
        const auto keys = catalogue();
        for (int n = upTo(25); n > 0; --n) {
            const Param& p = keys[static_cast<std::size_t>(upTo(kKeyCount - 1))];
            if (p.key == "##") continue;
            if (upTo(15) == 0) bytes += "# comment" + end;
            if (upTo(20) == 0) bytes += std::string(p.key) + " = 'x'" + end;
            std::string v = p.key == "X" ? (upTo(1) ? "on" : "off") : value(p);
            std::erase(v, '\'');
            bytes += std::string(p.key) + "='" + v + "'" + end;
        }
        return bytes;
    }

    std::string name(int i) {
        if (i == 0 && upTo(1)) return "default.cfg";
        if (upTo(9) == 0) return ".k,;\"" + std::to_string(i) + ".cfg";  // hidden, CSV quotes
        if (upTo(9) == 0) return (upTo(1) ? "=1+" : "'") + std::to_string(i) + ".cfg";
        if (upTo(1)) {
            char mac[32];
            std::snprintf(mac, sizeof mac, "%02X^%02X^%02X^%02X^%02X^%02X.cfg", upTo(255),
                          upTo(255), upTo(255), upTo(255), upTo(255), i);
            return mac;
        }
        return "term-" + std::to_string(i) + (upTo(1) ? "" : "Ж") + ".cfg";
    }

  private:
    std::mt19937 rng_;
};

}  // namespace orbex::testing
