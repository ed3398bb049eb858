// The help's topics on the fleet: the fleet window, its import and export, the fleet
// commands of orbcfg-cli, and layered sources. Sections of the help book and pages of the HTML
// Help project as the other topics (helpbook.h).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace orbex {

enum class HelpLinks;

// "FLEET", "FIMPORT", "FEXPORT", "FCLI", "FSOURCE", "FLOG", in the help's order.
std::span<const std::string_view> fleetHelpKeywords();
bool isFleetHelpKeyword(std::string_view keyword);
// The topic's title; empty for a keyword that is none of them.
std::string_view fleetHelpTitle(std::string_view keyword);
// The topic's section (HTML, UTF-8), its links to the other topics made by `target`.
std::string fleetHelpSection(std::string_view keyword, HelpLinks links);

}  // namespace orbex
