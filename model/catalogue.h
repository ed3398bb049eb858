// The parameter catalogue: the 116 keys of a terminal configuration, their kinds, value
// tables, checks, captions and places on the editor window. Everything else works from it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace orbex {

// Index of a key in catalogue order (0 = USERN, 115 = ##).
using Id = int;

enum class Kind : std::uint8_t { Text, Switch, Choice, None };

// The check a Text value must pass when the review table is built.
enum class Check : std::uint8_t { Any, Number, Address, AddressList };

// Tabs of the editor window, in page order.
enum class Page : std::uint8_t {
    NoPage,
    General,
    Network,
    Video,
    Devices,
    Printer,
    Ports,
    Vnc,
    WiFi
};

// A switch or list whose state enables other rows of the window.
enum class Rule : std::uint8_t {
    NoRule,
    WhenUnchecked,  // dependants enabled while the switch is unchecked
    WhenChecked,    // ... while it is checked
    WhenItem2,      // ... while the list shows item 2
    WhenNotItem1,   // ... while the list shows anything but item 1
};

struct ValueChoice {
    std::string_view value;    // what the file stores
    std::string_view display;  // what the list shows
};
using ValueTable = std::span<const ValueChoice>;

enum Flag : std::uint8_t {
    Masked = 1,    // the edit shows "|" for every character
    Editable = 2,  // the list also takes typed text
    Hidden = 4,    // the row is never shown; its "D" button is hidden too
    NoHelp = 8,    // the row has no "?" button
    Port = 16,     // a serial port's settings value, edited in the port dialog
    Secret = 32,   // a password or key: files and tables holding it are kept from others
};

struct Param {
    std::string_view key{};
    Kind kind = Kind::None;
    ValueTable table{};              // Choice keys only
    Check check = Check::Any;        // Text keys only
    std::string_view caption{};      // the row's label
    std::string_view description{};  // the review table's description (Switch, Choice, X, FB)
    int review = 0;                  // 1-based place in the window's creation order; 0 = no control
    Page page = Page::NoPage;
    int row = 0;                 // 1-based row on the page
    int tab = 0;                 // place in the page's tab order, when it differs from the row
    std::string_view label{};    // object name of a separate label (Switch and Choice rows)
    std::string_view help{};     // help keyword of the "?" button, when it is not the key
    std::string_view follows{};  // key of the switch or list that enables this row
    Rule rule = Rule::NoRule;    // how this key enables the rows that follow it
    int width = 0;               // control width in layout pixels; 0 = the standard 121
    std::uint8_t flags = 0;

    constexpr bool has(Flag f) const { return (flags & f) != 0; }
    constexpr bool hasControl() const { return kind != Kind::None; }
    constexpr int tabPlace() const { return tab != 0 ? tab : row; }
    constexpr std::string_view helpKeyword() const { return help.empty() ? key : help; }
};

inline constexpr std::string_view kUnset = "По умолчанию";  // the default marker
inline constexpr std::string_view kBom = "\xEF\xBB\xBF";
inline constexpr int kKeyCount = 116;
inline constexpr std::size_t kMaxKeyLength = 18;

std::span<const Param> catalogue();
const Param& param(Id id);
Id lookup(std::string_view key);  // exact, case-sensitive; -1 when the text is no key
inline std::optional<Id> find(std::string_view key) {
    const Id id = lookup(key);
    return id < 0 ? std::nullopt : std::optional<Id>(id);
}
// The keys that have a control, in the window's creation order (the review order).
std::span<const Id> controlOrder();

// 1-based list item whose row value equals the stored value exactly; nullopt when none does.
std::optional<int> itemOf(ValueTable table, std::string_view value);

// CHIPSET carries two more keys. A value ending in "_x" is stored cut before its "_x", with
// X='on'; a value holding "fb" (not "fbdev") is stored as it is, with FB='on'; any other value
// is stored as it is with both off.
struct ChipsetParts {
    std::string_view chipset;  // what the file stores for CHIPSET
    bool x = false;
    bool fb = false;
};
ChipsetParts splitChipset(std::string_view value);
// The reverse: the CHIPSET list item of a stored value, which with the file's X flag set is
// looked up with "_x" appended.
std::optional<int> chipsetItem(std::string_view value, bool xFlag);

// The review-table description: the hint of a switch or list, the label caption of an edit
// without its last character.
std::string_view descriptionOf(const Param& p);

// Keys that the reading, the review and the writing treat specially.
namespace keys {
inline constexpr std::string_view X = "X";
inline constexpr std::string_view FB = "FB";
inline constexpr std::string_view CHIPSET = "CHIPSET";
inline constexpr std::string_view KEYMAP = "KEYMAP";
inline constexpr std::string_view DNS = "DNS";
}  // namespace keys
Id idOf(std::string_view key);  // find() for a key known to exist

// The two keys of serial port n (1 to 19): its settings value COMn and its timeout CTIMEn.
struct PortKeys {
    Id settings = -1;
    Id timeout = -1;
};
std::optional<PortKeys> portKeys(int n);  // nullopt for a port there is not

// The typical configurations of the editor's menu. A setting is a switch's "on" or "off" or a
// list's stored value, checked against the key's value table when the program is compiled.
struct Setting {
    Id id = -1;
    std::string_view value;
};
struct Preset {
    std::string_view name;     // for the command line, in Latin letters
    std::string_view caption;  // the menu item
    bool startsNew = false;    // begins with every parameter unset
    std::span<const Setting> settings;
};
std::span<const Preset> presets();
const Preset* findPreset(std::string_view name);  // nullptr when there is none

// The value tables of the serial port dialog; the display equals the value in every row.
namespace port {
ValueTable speed();
ValueTable parity();
ValueTable dataBits();
ValueTable stopBits();
}  // namespace port

}  // namespace orbex
