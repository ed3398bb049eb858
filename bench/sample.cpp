#include "bench/sample.h"

#include <cstdlib>

#include "model/ports.h"
#include "model/review.h"
#include "model/writer.h"

namespace orbex::bench {
namespace {

std::string address(unsigned a, unsigned b) {
    return "10.0." + std::to_string(a % 256) + "." + std::to_string(1 + b % 254);
}

std::string textValue(const Param& p, unsigned v) {
    const std::string_view key = p.key;
    switch (p.check) {
        case Check::Number:
            return std::to_string(1 + (v * 37 + key.size()) % 5000);
        case Check::Address:
            return address(v / 254, v + key.size());
        case Check::AddressList:
            return address(v, 1) + " " + address(v, 2 + key.size());
        case Check::Any:
            break;
    }
    if (key.starts_with("COM")) {
        PortSettings s;
        s.speed = static_cast<int>((v + key.size()) % 9);
        s.parity = static_cast<int>(v % 3);
        s.dataBits = static_cast<int>(v % 2);
        s.stopBits = static_cast<int>((v / 2) % 2);
        s.xonxoff = v % 2 != 0;
        s.rtscts = v % 3 == 0;
        s.local = v % 5 == 0;
        return composePortValue(s);
    }
    if (key.starts_with("CTIME")) return std::to_string(100 + v % 900);
    if (key == "NMASK") return "255.255.255.0";
    if (key == "MOUSE_ACCELERATION") return std::to_string(1 + v % 8);
    if (key == "USERN")
        return v % 3 == 0 ? "оператор" + std::to_string(v) : "user" + std::to_string(v);
    if (key == "MNAME") return "term-" + std::to_string(v);
    if (key == "DIR") return "C:\\Рабочая папка\\" + std::to_string(v % 100);
    if (key == "WKEY") return "0123456789abcdef" + std::to_string(v % 10);
    return std::string(key) + "-" + std::to_string(v % 1000);
}

}  // namespace

void fillStore(Store& store, unsigned v) {
    for (Id id : controlOrder()) {
        const Param& p = param(id);
        switch (p.kind) {
            case Kind::Text:
                store.setText(id, textValue(p, v));
                break;
            case Kind::Switch:
                store.setCheck(id,
                               (v + static_cast<unsigned>(id)) % 2 ? Tri::Checked : Tri::Unchecked);
                break;
            case Kind::Choice:
                store.setItem(
                    id, 1 + static_cast<int>((v * 7 + static_cast<unsigned>(id)) % p.table.size()));
                break;
            case Kind::None:
                break;
        }
    }
}

std::string fullConfig(unsigned variant) {
    MemoryStore store;
    fillStore(store, variant);
    bool warned = false;
    const ReviewTable table = BuildReviewTable(store, [&](Id) { warned = true; });
    if (warned || table.size() != 96) std::abort();  // 94 controls, and X and FB
    return WriteConfig(table);
}

}  // namespace orbex::bench
