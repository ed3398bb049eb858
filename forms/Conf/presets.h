// The typical configurations of the menu "Типовые конфигурации".
#pragma once

#include <span>
#include <string_view>

// One setting of a preset: a list's item or a switch's state (0 unchecked, 1 checked).
struct PresetValue {
    std::string_view key;
    int value;
};

struct Preset {
    const char* action;  // objectName of the menu item
    const char* caption;
    bool startsNew;  // begins with "Новый"
    std::span<const PresetValue> values;
};

std::span<const Preset> presets();
