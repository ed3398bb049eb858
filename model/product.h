// The product's addresses and notices, kept in one place.
#pragma once

#include <string>
#include <string_view>

namespace orbex {

// The product web site, "http://" and its host (the build's ORBCFG_SITE_HOST).
std::string siteAddress();
// The documentation page of a key: the site's conf.html with the key as anchor, unescaped.
std::string pageAddress(std::string_view key);

inline constexpr std::string_view kTitle = "Менеджер конфигураций ORBEX";  // the program's name
inline constexpr std::string_view kVersion = "1.6.8-28.2";
inline constexpr std::string_view kSupportEmail = "support@orbex.example";
inline constexpr std::string_view kSupportContact = "100000000";
inline constexpr std::string_view kMakerNotice = "© ООО «Valtrix», 2026";

}  // namespace orbex
