#include "presets.h"

namespace {

// Lists first, in the order COLOR, CHIPSET, RAZR, COM, CACH, PRINTER, then the switches.
constexpr PresetValue kWeak[] = {
    {"COLOR", 1}, {"CHIPSET", 2}, {"RAZR", 1},  {"COM", 1},   {"CACH", 2},     {"PRINTER", 1},
    {"W", 0},     {"F", 0},       {"M", 0},     {"T", 0},     {"FLOPPY", 0},   {"CDROMS", 0},
    {"FLASH", 0}, {"HD", 0},      {"SOUND", 0}, {"SCARD", 0}, {"COMPRESS", 0},
};
constexpr PresetValue kFast[] = {
    {"COLOR", 1}, {"CHIPSET", 1}, {"RAZR", 1},  {"COM", 1},   {"CACH", 3},     {"PRINTER", 1},
    {"W", 0},     {"F", 0},       {"M", 0},     {"T", 0},     {"FLOPPY", 0},   {"CDROMS", 0},
    {"FLASH", 0}, {"HD", 0},      {"SOUND", 0}, {"SCARD", 0}, {"COMPRESS", 1},
};
constexpr PresetValue kComfort[] = {
    {"COLOR", 3}, {"CHIPSET", 1}, {"RAZR", 10}, {"COM", 2},   {"CACH", 3},     {"PRINTER", 2},
    {"W", 1},     {"F", 1},       {"M", 1},     {"T", 1},     {"FLOPPY", 1},   {"CDROMS", 1},
    {"FLASH", 1}, {"HD", 1},      {"SOUND", 1}, {"SCARD", 1}, {"COMPRESS", 1},
};
constexpr PresetValue kPrintServer[] = {{"PRINTER", 2}};
constexpr PresetValue kWindows2000[] = {{"COLOR", 2}, {"SAMBA", 1}, {"COM", 2}};

constexpr Preset kPresets[] = {
    {"N19", "Слабая машина", true, kWeak},
    {"N21", "Максимальная производительность", true, kFast},
    {"N31", "Наибольший комфорт", true, kComfort},
    {"N20", "Уменьшение траффика", true, kFast},
    {"N51", "Аппаратный принт-сервер", true, kPrintServer},
    {"Windows2000Server1", "Windows 2000 Server", false, kWindows2000},
};

}  // namespace

std::span<const Preset> presets() {
    return kPresets;
}
