// MAC addresses as administrators write them, and the file a terminal looks for by its MAC.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orbex {

// The address in the form of its file name, upper case: "AA^BB^CC^DD^EE^FF". Accepts
// aa:bb:cc:dd:ee:ff, aa-bb-cc-dd-ee-ff, aabb.ccdd.eeff, aabbccddeeff and AA^BB^CC^DD^EE^FF, in
// any case, with blanks around it; nullopt for anything else.
std::optional<std::string> parseMac(std::string_view text);

// "AA^BB^CC^DD^EE^FF.cfg" for any spelling parseMac takes.
std::optional<std::string> macFileName(std::string_view text);

// The address of a MAC file name (six pairs of hex digits separated by "^", either case, then
// ".cfg"), upper case; nullopt when the name is not one.
std::optional<std::string> macOfFileName(std::string_view fileName);

}  // namespace orbex
