// The review table's fields the printed table does not show, and the order and effect of the
// value checks. Row order and descriptions of every row are held by tests/data/full.*.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/fleet.h"
#include "model/review.h"
#include "model/store.h"

using namespace orbex;

namespace {

struct Built {
    ReviewTable table;
    std::string warned;  // keys in warning order, each followed by a blank
};

Built build(Store& s, const std::function<void(Id)>& also = {}) {
    Built b;
    b.table = BuildReviewTable(s, [&](Id id) {
        b.warned += std::string(param(id).key) + " ";
        if (also) also(id);
    });
    return b;
}

Built buildTexts(std::initializer_list<std::pair<const char*, std::string>> texts) {
    MemoryStore s;
    for (const auto& [k, v] : texts) s.setText(idOf(k), v);
    return build(s);
}

std::string keysOf(const ReviewTable& t) {
    std::string k;
    for (const ReviewRow& r : t) k += std::string(r.key) + " ";
    return k;
}

}  // namespace

TEST(ReviewTable, RowsByKind) {
    MemoryStore s;
    s.setCheck(idOf("AUTOSTART"), Tri::Checked);
    s.setCheck(idOf("COMPRESS"), Tri::Unchecked);
    s.setItem(idOf("EXIT"), 2);
    s.setText(idOf("USERN"), "Привет мир");
    s.setText(idOf("PASSW"), "");
    s.setText(idOf("KEYMAP"), "41D");
    const ReviewTable t = build(s).table;
    const ReviewTable expected = {
        {"Имя пользователя:", "USERN", "Привет мир", "10", "Привет мир", idOf("USERN")},
        {"Пароль:", "PASSW", " ", "0", " ", idOf("PASSW")},
        {"Раскладка клавиатуры", "KEYMAP", "41D", "3", "41D", idOf("KEYMAP")},
        {"Автостарт", "AUTOSTART", "on", "2", "да", idOf("AUTOSTART")},
        {"Сжатие RDP", "COMPRESS", "off", "3", "нет", idOf("COMPRESS")},
        {"Завершение сеанса", "EXIT", "msg", "3", "Сообщение", idOf("EXIT")},
    };
    EXPECT_EQ(t, expected);
    EXPECT_EQ(t[1].storedValue(), "");
}

TEST(ReviewTable, ChipsetGivesThreeRows) {
    const Id chipset = idOf("CHIPSET");
    const ValueTable rows = param(chipset).table;
    std::string got;
    for (const char* v : {"auto_x", "radeonfb", "fbdev_x", "VESA", "matroxfb_base", "radeonhd_x"}) {
        MemoryStore s;
        s.setItem(chipset, *itemOf(rows, v));
        const ReviewTable t = build(s).table;
        ASSERT_EQ(t.size(), 3u);
        EXPECT_EQ(std::string(t[0].description) + "|" + std::string(t[1].description) + "|" +
                      std::string(t[2].description),
                  "Использовать драйвера Xorg|Использовать драйвера FB|Видеодрайвер");
        EXPECT_EQ(t[2].shownText, rows[static_cast<std::size_t>(*itemOf(rows, v) - 1)].display);
        for (const ReviewRow& r : t) got += std::string(r.key) + "=" + r.value + " ";
        got += "| ";
    }
    EXPECT_EQ(got,
              "X=on FB=off CHIPSET=auto | X=off FB=on CHIPSET=radeonfb | "
              "X=on FB=off CHIPSET=fbdev | X=off FB=off CHIPSET=VESA | "
              "X=off FB=on CHIPSET=matroxfb_base | X=on FB=off CHIPSET=radeonhd | ");
}

TEST(ReviewChecks, WarningText) {
    EXPECT_EQ(warningText("DNS"),
              "Внимание!\nЗначение параметра DNS неверно!\nСброшено на значение по умолчанию");
}

TEST(ReviewChecks, DnsDecidesWhetherServerListsAreChecked) {
    for (const char* dns : {"10.0.0.53", ""}) {
        const Built b = buildTexts({{"DNS", dns}, {"TSERV", "terminal.example"}, {"SSHS", "x y"}});
        EXPECT_EQ(b.warned, "") << dns;
        EXPECT_EQ(keysOf(b.table), "TSERV SSHS DNS ");
    }
    const Built unset = buildTexts({{"TSERV", "terminal.example"}, {"VNCS", "10.0.0.1  10.0.0.2"}});
    EXPECT_EQ(unset.warned, "TSERV ");
    EXPECT_EQ(keysOf(unset.table), "VNCS ");
    // A bad DNS is warned about first; unset then, it no longer spares TSERV.
    const Built bad =
        buildTexts({{"TSERV", "terminal.example"}, {"DNS", "10.0.0"}, {"IP", "1.2.3.04"}});
    EXPECT_EQ(bad.warned, "DNS TSERV ");
    EXPECT_EQ(keysOf(bad.table), "IP ");
    EXPECT_EQ(buildTexts({{"DNS", "10.0.0.1 "}}).warned, "DNS ");  // one address, not a list
}

TEST(ReviewChecks, AddressesCheckedInFull) {
    std::string list;
    for (int i = 1; i <= 40; ++i) list += "172.16.0." + std::to_string(i) + " ";
    EXPECT_EQ(buildTexts({{"TSERV", list}}).warned, "");
    EXPECT_EQ(buildTexts({{"TSERV", list + "172.16.0.300"}}).warned, "TSERV ");
    EXPECT_EQ(buildTexts({{"IP", "10.0..1"}, {"TFTP", "1.2.3."}, {"NMASK", "x"}}).warned,
              "IP TFTP ");
}

// A failing address starts the build again; a failing number lets it go on. The warning hook
// sets an earlier row to tell the two apart: only a restart picks it up.
TEST(ReviewChecks, AddressesRestartNumbersContinue) {
    MemoryStore s;
    s.setText(idOf("TELS"), "bad");
    EXPECT_EQ(keysOf(build(s, [&](Id) { s.setText(idOf("USERN"), "late"); }).table), "USERN ");
    MemoryStore t;
    t.setText(idOf("KDELAY"), "bad");
    EXPECT_EQ(keysOf(build(t, [&](Id) { t.setText(idOf("USERN"), "late"); }).table), "");
    EXPECT_EQ(t.text(idOf("KDELAY")), kUnset);
}

TEST(ReviewChecks, EveryBadValueWarnsOnce) {
    MemoryStore s;
    for (const char* k :
         {"POWEROFF", "TSERV", "VNCS", "TELS", "SSHS", "IP", "ROUTER", "TFTP", "KDELAY", "KRATE",
          "VOLUME", "NPORT", "VNCPORT", "WCHANNEL", "WTIMEOUT", "DNS"})
        s.setText(idOf(k), "bad");
    s.setText(idOf("USERN"), "kept");
    const Built b = build(s);
    EXPECT_EQ(b.warned,
              "DNS POWEROFF TSERV VNCS TELS SSHS IP ROUTER TFTP KDELAY KRATE VOLUME NPORT VNCPORT "
              "WCHANNEL WTIMEOUT ");
    EXPECT_EQ(keysOf(b.table), "USERN ");
    EXPECT_EQ(build(s).warned, "");
}

// What a fleet keeps of a file resets what the review table resets, warns in the same order,
// and keeps every row the table keeps.
TEST(ReviewChecks, FleetSettingsFollowTheReviewTable) {
    const std::vector<std::vector<std::pair<const char*, std::string>>> cases = {
        {{"TSERV", "terminal.example"}, {"DNS", "10.0.0"}, {"IP", "1.2.3.04"}},
        {{"DNS", ""}, {"TSERV", "terminal.example"}, {"KDELAY", "x"}, {"IP", "10.0.0.1"}},
        {{"POWEROFF", "bad"}, {"TELS", "bad"}, {"KRATE", "bad"}, {"USERN", ""}, {"DNS", "bad"}},
        {{"IP", "10.0..1"}, {"TFTP", "1.2.3."}, {"NMASK", "x"}, {"MNAME", "kassa"}},
    };
    for (const auto& texts : cases) {
        MemoryStore a, b;
        for (const auto& [k, v] : texts) a.setText(idOf(k), v), b.setText(idOf(k), v);
        a.setCheck(idOf("AUTOSTART"), Tri::Checked), b.setCheck(idOf("AUTOSTART"), Tri::Checked);
        const Built built = build(a);
        std::string warned;
        const fleet::Settings kept =
            fleet::settingsOf(b, [&](Id id) { warned += std::string(param(id).key) + " "; });
        EXPECT_EQ(warned, built.warned);
        EXPECT_TRUE(a == b) << built.warned;
        std::string rows, settings;
        for (const ReviewRow& r : built.table)
            if (r.key != "X" && r.key != "FB") rows += std::string(r.key) + " ";
        for (const fleet::Setting& s : kept) settings += std::string(param(s.id).key) + " ";
        EXPECT_EQ(settings, rows);
    }
}

TEST(ReviewTable, ATableBuiltAgainHoldsNothingOfTheLastBuild) {
    // A full configuration, then one of fewer rows whose bad address makes the build start
    // again: the second build into the same table equals a build into a fresh one.
    MemoryStore full;
    for (Id id : controlOrder()) {
        const Param& p = param(id);
        if (p.kind == Kind::Text && p.check == Check::Any)
            full.setText(id, "длинный текст " + std::string(p.key));
        if (p.kind == Kind::Switch) full.setCheck(id, Tri::Checked);
        if (p.kind == Kind::Choice) full.setItem(id, static_cast<int>(p.table.size()));
    }
    const auto small = [] {
        MemoryStore s;
        s.setText(idOf("USERN"), "");
        s.setText(idOf("IP"), "10.0..1");
        s.setItem(idOf("CHIPSET"), 1);
        s.setText(idOf("VOLUME"), "7");
        return s;
    };
    MemoryStore a = full, b = small(), c = small();
    ReviewTable table;
    BuildReviewTable(
        a, [](Id) {}, table);
    ASSERT_EQ(table, BuildReviewTable(full, [](Id) {}));
    std::string warned;
    BuildReviewTable(
        b, [&](Id id) { warned += std::string(param(id).key) + " "; }, table);
    EXPECT_EQ(table, BuildReviewTable(c, [](Id) {}));
    EXPECT_EQ(warned, "IP ");
    EXPECT_EQ(keysOf(table), keysOf(BuildReviewTable(c, [](Id) {})));
}
