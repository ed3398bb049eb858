#include "model/ports.h"

#include <algorithm>

#include "model/catalogue.h"

namespace orbex {
namespace {

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

struct FlowFlag {
    std::string_view word;
    bool PortSettings::*field;
};
constexpr FlowFlag kFlags[] = {{"XONXOFF", &PortSettings::xonxoff},
                               {"RTSCTS", &PortSettings::rtscts},
                               {"LOCAL", &PortSettings::local}};

struct Table {
    ValueTable (*rows)();
    int PortSettings::*field;
};
constexpr Table kTables[] = {{port::speed, &PortSettings::speed},
                             {port::parity, &PortSettings::parity},
                             {port::dataBits, &PortSettings::dataBits},
                             {port::stopBits, &PortSettings::stopBits}};

void applyWord(PortSettings& s, std::string_view word) {
    for (const Table& t : kTables) {
        const ValueTable rows = t.rows();
        for (std::size_t k = 0; k < rows.size(); ++k)
            if (rows[k].display == word) s.*t.field = static_cast<int>(k);
    }
    for (const FlowFlag& f : kFlags) {
        if (word == f.word) s.*f.field = true;
        if (word.size() == f.word.size() + 1 && word.front() == '-' && word.substr(1) == f.word)
            s.*f.field = false;
    }
}

}  // namespace

PortSettings parsePortValue(std::string_view text) {
    std::string collapsed;
    collapsed.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(isSpace(text[i]) && i > 0 && isSpace(text[i - 1]))) collapsed += text[i];

    PortSettings s;
    std::string_view rest = collapsed;
    while (!rest.empty()) {
        const std::size_t end = rest.find(' ');
        const std::string_view word = rest.substr(0, end);
        if (!word.empty()) applyWord(s, word);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return s;
}

std::string composePortValue(const PortSettings& s) {
    std::string out;
    for (const Table& t : kTables) {
        if (!out.empty()) out += ' ';
        const ValueTable rows = t.rows();
        const int row = std::clamp(s.*t.field, 0, static_cast<int>(rows.size()) - 1);
        out += rows[static_cast<std::size_t>(row)].value;
    }
    for (const FlowFlag& f : kFlags) {
        out += ' ';
        if (!(s.*f.field)) out += '-';
        out += f.word;
    }
    return out;
}

}  // namespace orbex
