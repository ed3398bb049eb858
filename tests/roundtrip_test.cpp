// Property tests: whatever the editor can hold survives a save and a load, and saving what was
// loaded changes nothing the second time.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "model/reader.h"
#include "model/review.h"
#include "model/store.h"
#include "model/writer.h"

using namespace orbex;

namespace {

class Gen {
  public:
    explicit Gen(std::uint32_t seed) : rng_(seed) {}

    int upTo(int n) { return std::uniform_int_distribution<int>(0, n)(rng_); }
    bool chance(int percent) { return upTo(99) < percent; }
    const std::string& pick(const std::vector<std::string>& v) {
        return v[static_cast<std::size_t>(upTo(static_cast<int>(v.size()) - 1))];
    }

    // Text a value can hold and the file keeps: no quote, no line break, inside Windows-1251.
    std::string text(int maxLen) {
        static const std::vector<std::string> extra = {"Ж", "я", "Ё", "№",  "€",
                                                       "«", "ї", "Ђ", "\t", " "};
        std::string s;
        const int n = chance(3) ? 300 + upTo(400) : upTo(maxLen);
        for (int i = 0; i < n; ++i) {
            const char c = static_cast<char>(0x20 + upTo(0x5E));
            s += chance(25) ? pick(extra) : std::string(1, c == '\'' ? '"' : c);
        }
        return s;
    }
    std::string number() {
        const auto v = std::uniform_int_distribution<std::int64_t>(INT32_MIN, INT32_MAX)(rng_);
        if (chance(60))
            return std::string(static_cast<std::size_t>(upTo(2)), ' ') + std::to_string(v);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%llX",
                      static_cast<unsigned long long>(v < 0 ? -(v + 1) : v));
        return (v < 0 ? "-" : "") + pick({"$", "0x", "x", "0X", "X"}) + hex;
    }
    std::string address() {
        std::string s;
        do {  // leading zeros may make it longer than 15
            s = std::to_string(1 + upTo(254));
            for (int i = 0; i < 3; ++i) s += (chance(10) ? ".0" : ".") + std::to_string(upTo(255));
        } while (s.size() > 15);
        return s;
    }
    std::string addressList() {
        std::string s = chance(20) ? " " : "";
        const int n = upTo(5);
        for (int i = 0; i < n; ++i)
            s += (i ? std::string(static_cast<std::size_t>(1 + upTo(2)), ' ') : "") + address();
        return n ? s + (chance(20) ? "  " : "") : "";
    }

  private:
    std::mt19937 rng_;
};

MemoryStore randomStore(Gen& g) {
    MemoryStore s;
    for (Id id : controlOrder()) {
        const Param& p = param(id);
        if (p.kind == Kind::Switch) s.setCheck(id, static_cast<Tri>(g.upTo(2)));
        if (p.kind == Kind::Choice) {
            const std::string code = g.chance(50) ? g.text(6) : "4" + std::to_string(g.upTo(99));
            if (p.has(Editable) && g.chance(30) && !itemOf(p.table, code)) {
                s.setText(id, code);  // a layout code of its own
            } else {
                s.setItem(id, g.upTo(static_cast<int>(p.table.size())));
            }
        }
        if (p.kind != Kind::Text || g.chance(35)) continue;
        switch (p.check) {
            case Check::Number:
                s.setText(id, g.number());
                break;
            case Check::Address:
                s.setText(id, g.chance(15) ? "" : g.address());
                break;
            case Check::AddressList:
                s.setText(id, g.addressList());
                break;
            case Check::Any:
                s.setText(id, g.text(24));
                break;
        }
    }
    return s;
}

// Lines of every kind reading meets, good and bad.
std::string randomFile(Gen& g) {
    static const std::vector<std::string> keys = {
        "USERN", "IP", "DNS",       "TSERV", "VOLUME", "KEYMAP", "CHIPSET",
        "X",     "FB", "AUTOSTART", "COLOR", "COM1",   "COM10",  "CTIME3",
        "TSON",  "##", "usern",     "NOPE",  "",       "EXIT",   "WIFI"};
    static const std::vector<std::string> values = {"on",
                                                    "off",
                                                    "1.2.3.4",
                                                    "10.0..1",
                                                    "host",
                                                    "auto",
                                                    "vesa",
                                                    "fbdev",
                                                    "auto_x",
                                                    "radeonfb",
                                                    "419",
                                                    "41D",
                                                    "16",
                                                    "8",
                                                    "msg",
                                                    "42",
                                                    "$1F",
                                                    "-7",
                                                    "x",
                                                    "",
                                                    "rt61",
                                                    "Привет",
                                                    "\xCF\xF0\xE8",
                                                    "日本",
                                                    "a'b",
                                                    "\xEF\xBB\xBF",
                                                    "По умолчанию",
                                                    "\t"};
    std::string f;
    for (int i = g.upTo(40); i > 0; --i) {
        if (g.chance(10)) f += "\xEF\xBB\xBF";
        switch (g.upTo(9)) {
            case 0:
                f += "# " + g.text(30);
                break;
            case 1:
                break;
            case 2:
                f += g.text(20);
                break;
            default:
                f += g.pick(keys) + g.pick({"='", "='", "='", " = '", "=", "'"}) + g.pick(values);
                if (g.chance(60)) f += g.pick(values);
                if (g.chance(85)) f += "'";
                if (g.chance(20)) f += " trailing " + g.pick(values);
        }
        f += g.chance(30) ? "\r\n" : "\n";
    }
    if (g.chance(5)) f += "\x1AUSERN='after end'\n";
    if (g.chance(30) && !f.empty()) f.pop_back();
    return f;
}

}  // namespace

TEST(RoundTrip, SavedStoreLoadsBackUnchanged) {
    Gen g(20240611);
    for (int i = 0; i < 300; ++i) {
        const MemoryStore original = randomStore(g);
        MemoryStore reviewed = original;
        int warnings = 0;
        const std::string bytes = WriteConfig(BuildReviewTable(reviewed, [&](Id) { ++warnings; }));
        ASSERT_EQ(warnings, 0) << "iteration " << i;
        MemoryStore back;
        readConfig(bytes, back);
        ASSERT_EQ(back, original) << "iteration " << i << "\n" << bytes;
        ASSERT_EQ(normalizeConfig(bytes, [&](Id) { ++warnings; }), bytes) << "iteration " << i;
    }
}

TEST(RoundTrip, NormalizeIsIdempotent) {
    Gen g(7);
    for (int i = 0; i < 400; ++i) {
        const std::string file = randomFile(g);
        int first = 0, second = 0;
        const std::string once = normalizeConfig(file, [&](Id) { ++first; });
        ASSERT_EQ(normalizeConfig(once, [&](Id) { ++second; }), once) << "iteration " << i << "\n"
                                                                      << file;
        ASSERT_EQ(second, 0) << "iteration " << i << "\n" << file;
    }
}
