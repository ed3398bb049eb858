// The catalogue is data that every other part trusts; these tests hold it to the published key
// list and value tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "model/catalogue.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/store.h"

using namespace orbex;

namespace {

// "value=display" per row, rows joined by "; ".
std::string render(ValueTable t) {
    std::string s;
    for (const ValueChoice& c : t) {
        if (!s.empty()) s += "; ";
        s += std::string(c.value) + "=" + std::string(c.display);
    }
    return s;
}
std::string same(std::string_view values) {  // display equal to the value in every row
    std::istringstream in{std::string(values)};
    std::string s, v;
    while (in >> v) s += (s.empty() ? "" : "; ") + v + "=" + v;
    return s;
}
// The list of a key as a user meets it: for every value of `expected` ("value=shown; ..."), a
// file setting the key to it, read and reviewed, shows the row's text; then one row of the list
// for each value, none more.
std::string table(std::string_view key, std::string_view expected) {
    const ValueTable rows = param(idOf(key)).table;
    std::string s;
    std::size_t count = 0;
    for (std::size_t at = 0; at < expected.size();) {
        const std::size_t end = std::min(expected.find("; ", at), expected.size());
        const std::string_view entry = expected.substr(at, end - at);
        const std::string value(entry.substr(0, entry.find('=')));
        at = end + 2;
        ++count;
        MemoryStore store;
        readConfig(std::string(key) + "='" + value + "'\r\n", store);
        std::string shown = "(not read)";
        for (const ReviewRow& row : BuildReviewTable(store, [](Id) {}))
            if (row.key == key) shown = row.shownText;
        if (!s.empty()) s += "; ";
        s += value + "=" + shown;
    }
    if (rows.size() != count) s += " and " + std::to_string(rows.size()) + " rows in the list";
    return s;
}
void expectList(std::string_view key, const std::string& want) {
    EXPECT_EQ(table(key, want), want) << key;
}
std::string keysWhere(bool (*pick)(const Param&)) {
    std::string s;
    for (const Param& p : catalogue())
        if (pick(p)) s += (s.empty() ? "" : " ") + std::string(p.key);
    return s;
}

}  // namespace

TEST(Catalogue, KeysInOrderAndFoundExactly) {
    EXPECT_EQ(keysWhere([](const Param&) { return true; }),
              "USERN PASSW DOMAIN MNAME CMD DIR KEYMAP AUTOSTART COMPRESS POWEROFF NUMLOCK KEEP "
              "CRYPT APM DHCP TSERV VNCS TELS SSHS IP NMASK ROUTER TFTP DNS VNC_TRUECOLOR "
              "VNC_SHARED VNC_ASKPORT VNCPORT VNCPASSWD VIDEO RAZR COLOR REFRESH CHIPSET "
              "INTERLACED MOUSE MOUSE_ACCEL MOUSE_ACCELERATION W F M T CACH KDELAY KRATE PRINTER "
              "PRINTER_W PRINTER_P PRINTER2 FLOPPY CDROMS FLASH HD SOUND SAMBA USB_SND COM SCARD "
              "SCOFF VOLUME LPT REFR REFR_H COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 "
              "COM11 COM12 COM13 COM14 COM15 COM16 COM17 COM18 COM19 NPORT CTIME1 CTIME2 CTIME3 "
              "CTIME4 CTIME5 CTIME6 CTIME7 CTIME8 CTIME9 CTIME10 CTIME11 CTIME12 CTIME13 CTIME14 "
              "CTIME15 CTIME16 CTIME17 CTIME18 CTIME19 FREE EXIT X FB TSON WIFI WSSID WAUTHMODE "
              "WKEYTYPE WKEY WTIMEOUT WCHANNEL reconfig ##");
    ASSERT_EQ(catalogue().size(), 116u);
    for (Id i = 0; i < kKeyCount; ++i) EXPECT_EQ(find(param(i).key), std::optional<Id>(i));
    for (const char* k : {"usern", "RECONFIG", "USERN ", " USERN", "COM20", "#", "", "USER"})
        EXPECT_FALSE(find(k)) << k;
}

TEST(Catalogue, KindsAndChecks) {
    EXPECT_EQ(keysWhere([](const Param& p) { return p.kind == Kind::Switch; }),
              "AUTOSTART COMPRESS NUMLOCK KEEP CRYPT APM DHCP VNC_TRUECOLOR VNC_SHARED "
              "VNC_ASKPORT INTERLACED W F M T PRINTER_W PRINTER2 FLOPPY CDROMS FLASH HD SOUND "
              "SAMBA USB_SND SCARD SCOFF LPT");
    EXPECT_EQ(keysWhere([](const Param& p) { return p.kind == Kind::Choice; }),
              "KEYMAP RAZR COLOR REFRESH CHIPSET MOUSE MOUSE_ACCEL CACH PRINTER COM EXIT WIFI "
              "WAUTHMODE WKEYTYPE");
    EXPECT_EQ(keysWhere([](const Param& p) { return p.kind == Kind::None; }),
              "VIDEO PRINTER_P REFR REFR_H COM14 COM15 COM16 COM17 COM18 COM19 CTIME14 CTIME15 "
              "CTIME16 CTIME17 CTIME18 CTIME19 FREE X FB TSON reconfig ##");
    // With the three lists above exact, the other 53 keys are the Text keys.
    int text = 0;
    for (const Param& p : catalogue()) text += p.kind == Kind::Text;
    EXPECT_EQ(text, 53);
    EXPECT_EQ(
        keysWhere([](const Param& p) { return p.kind == Kind::Text && p.check == Check::Number; }),
        "POWEROFF VNCPORT KDELAY KRATE VOLUME NPORT WTIMEOUT WCHANNEL");
    EXPECT_EQ(
        keysWhere([](const Param& p) { return p.kind == Kind::Text && p.check == Check::Address; }),
        "IP ROUTER TFTP DNS");
    EXPECT_EQ(keysWhere([](const Param& p) {
                  return p.kind == Kind::Text && p.check == Check::AddressList;
              }),
              "TSERV VNCS TELS SSHS");
    EXPECT_EQ(
        keysWhere([](const Param& p) { return p.check != Check::Any && p.kind != Kind::Text; }),
        "");
    EXPECT_EQ(keysWhere([](const Param& p) { return p.has(Editable); }), "KEYMAP");
}

TEST(Catalogue, ValueTables) {
    expectList("KEYMAP",
               "409=Английский; 419=Русский; 422=Украинский; 407=Немецкий; 40C=Французский; "
               "40D=Финский; 410=Итальянский; 415=Польский; 423=Белорусский; 425=Эстонский; "
               "426=Латвийский; 427=Литовский");
    expectList("EXIT", "menu=Меню; msg=Сообщение; off=Выключить");
    expectList("PRINTER", "off=Нет; lpt=LPT; usb=USB");
    expectList("COM", "off=выкл; ser=сервис; on=вкл");
    expectList("RAZR", same("1024x768 640x480 720x540 800x600 848x480 960x720 1072x600 "
                            "1152x864 1280x720 1280x1024 1360x768 1600x1200 1800x1012 "
                            "1920x1080 1920x1440 2048x1152"));
    expectList("COLOR", same("16 8 24 32"));
    expectList("REFRESH",
               "auto=Авто; " + same("60 65 70 75 80 85 90 95 100 105 110 120 130 140 150"));
    expectList("MOUSE", "auto=Авто; com=COM; ps2=PS2/USB");
    expectList("MOUSE_ACCEL", "auto=Авто; " + same("2 3 4 5 6 7 8"));
    expectList("CACH", "on=Нормальное; off=Отключено; max=Максимальное");
    expectList("WAUTHMODE", same("OPEN SHARED"));
    expectList("WIFI", "rt61=DWL-G510 (Чипсет RT61)");
    expectList("WKEYTYPE", "ascii=ASCII; hex=16-тиричный");
    EXPECT_EQ(render(port::speed()), same("9600 300 1200 2400 4800 19200 38400 57600 115200"));
    EXPECT_EQ(
        render(port::parity()) + "; " + render(port::dataBits()) + "; " + render(port::stopBits()),
        same("NONE EVEN ODD 8DATABITS 7DATABITS 1STOPBIT 2STOPBITS"));
}

TEST(Catalogue, ChipsetRowsAndSuffixRule) {
    const ValueTable t = param(idOf("CHIPSET")).table;
    std::string values;
    for (const ValueChoice& c : t) values += (values.empty() ? "" : " ") + std::string(c.value);
    EXPECT_EQ(values,
              "auto autofb auto_x fbdev_x VESA vesa_x ALI APM ARK ark_x geode_x ATI MACH32 atyfb "
              "ati_x R128 aty128fb r128_x RAGE radeonfb radeon_x radeonhd_x BANSHEE tdfx_x MX "
              "CHIPS chips_x CIRRUS LAGUNA cirrusfb cirrus_x ET4000 ET6000 tseng_x G400 G450C2 "
              "MILLENNIUM matroxfb_base mga_x I740 i740_x I810 i810fb intelfb intel_x NV3 rivafb "
              "nvidiafb nv_x OAK PARADISE S3 s3_x SAVAGE s3virge_x savagefb savage_x SIS sisfb "
              "sis_x TRIDENT TVGA tridentfb trident_x UNICHROME viafb via_x openchrome_x uni_x "
              "cyrix_x vmware_x i128_x neomagic_x rendition_x tga_x voodoo_x xgi_x");
    EXPECT_EQ(t.size(), 77u);
    for (const ValueChoice& c : t) {
        const bool x = c.value.ends_with("_x");
        const bool fb = c.value.find("fb") != c.value.npos && c.value.find("fbdev") == c.value.npos;
        const std::string_view want = c.value == "fbdev_x" ? " + FB + X"
                                      : x                  ? " + X"
                                      : fb                 ? " + FB"
                                                           : "";
        if (!want.empty()) {
            EXPECT_TRUE(c.display.ends_with(want)) << c.value << ": " << c.display;
        } else {
            EXPECT_FALSE(c.display.ends_with(" + X") || c.display.ends_with(" + FB")) << c.value;
        }
    }
    std::string telling;
    for (const char* v :
         {"auto", "autofb", "auto_x", "fbdev_x", "VESA", "vesa_x", "ATI", "atyfb", "R128", "CHIPS",
          "chips_x", "G450C2", "matroxfb_base", "intel_x", "S3", "vmware_x", "xgi_x"})
        telling += std::string(v) + "=" +
                   std::string(t[static_cast<std::size_t>(*itemOf(t, v) - 1)].display) + "; ";
    EXPECT_EQ(telling,
              "auto=Авто; autofb=Авто + FB; auto_x=Авто + X; fbdev_x=Авто + FB + X; "
              "VESA=Универсальный драйвер VESA; vesa_x=Универсальный драйвер VESA + X; "
              "ATI=Старые чипсеты ATI VGA; atyfb=ATI Mach64 + FB; R128=Ati Rage128 и Radeon; "
              "CHIPS=Chips &amp; Technologies; chips_x=Chips and Technologies + X; "
              "G450C2=Matrox Mystique(1064) новый; "
              "matroxfb_base=Matrox Millennium, Mystique, G100/G200 + FB; "
              "intel_x=Intel i810/15/30/45/52/55/65 i915/25 + X; S3=Чипсеты S3; "
              "vmware_x=VMWare Workstation + X; xgi_x=XGI + X; ");
}

TEST(Catalogue, ItemLookupIsExact) {
    const ValueTable cach = param(idOf("CACH")).table;
    EXPECT_EQ(itemOf(cach, "on"), 1);
    EXPECT_EQ(itemOf(cach, "max"), 3);
    for (const char* v : {"ON", "on ", " on", "o", "", "Нормальное"}) EXPECT_FALSE(itemOf(cach, v));
}

// What the file stores for a CHIPSET row reads back as the same row, and the three families
// store as the rule says.
TEST(Catalogue, ChipsetStoredAndReadBack) {
    const ValueTable t = param(idOf("CHIPSET")).table;
    for (std::size_t r = 0; r < t.size(); ++r) {
        const ChipsetParts parts = splitChipset(t[r].value);
        EXPECT_EQ(chipsetItem(parts.chipset, parts.x), static_cast<int>(r) + 1) << t[r].value;
    }
    const auto stored = [](std::string_view v) {
        const ChipsetParts p = splitChipset(v);
        return std::string(p.chipset) + (p.x ? " X" : "") + (p.fb ? " FB" : "");
    };
    EXPECT_EQ(stored("fbdev_x"), "fbdev X");
    EXPECT_EQ(stored("auto_x"), "auto X");
    EXPECT_EQ(stored("autofb"), "autofb FB");
    EXPECT_EQ(stored("matroxfb_base"), "matroxfb_base FB");
    EXPECT_EQ(stored("VESA"), "VESA");
    EXPECT_EQ(chipsetItem("fbdev", false), std::nullopt);
    EXPECT_EQ(chipsetItem("auto_x", false), itemOf(t, "auto_x"));
    EXPECT_EQ(chipsetItem("auto_", true), std::nullopt);
    EXPECT_EQ(chipsetItem("", true), std::nullopt);
}

TEST(Catalogue, PortKeys) {
    for (int n = 1; n <= 19; ++n) {
        const auto keys = portKeys(n);
        ASSERT_TRUE(keys) << n;
        EXPECT_EQ(param(keys->settings).key, "COM" + std::to_string(n));
        EXPECT_EQ(param(keys->timeout).key, "CTIME" + std::to_string(n));
    }
    EXPECT_FALSE(portKeys(0));
    EXPECT_FALSE(portKeys(20));
    EXPECT_FALSE(portKeys(-1));
}
