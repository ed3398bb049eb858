// What the fleet window's table and dialogs say of the files: the kind of a file, a finding,
// the lines a write changes; and how they read a file of the folder.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "model/fleet.h"

namespace fleettexts {

// A file of the folder read by the file library, within its bound; the reason in Russian.
std::optional<std::string> readBounded(const std::string& path, std::string& error);

// "MAC", "имя" or "общий": whose file it is.
QString kindText(const orbex::fleet::Record& record);
// A finding's code in Russian; an unknown code as it is.
QString codeText(std::string_view code);
// One line of a row's tooltip: the place, the Russian text, the code and the message.
QString findingText(const orbex::fleet::Finding& finding);
// The parameters `after` keeps differently from `before`, as orbcfg-cli diff shows them,
// each line indented.
QString diffLines(const std::string& before, const std::string& after);

}  // namespace fleettexts
