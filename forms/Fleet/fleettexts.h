// What the fleet window's table and dialogs say of the files: the kind of a file, a finding,
// the lines a write changes; and how they read a file of the folder.
#pragma once

#include <QString>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/fleet.h"
#include "model/layers.h"

namespace fleettexts {

// A file of the folder read by the file library, within its bound; the reason in Russian.
std::optional<std::string> readBounded(const std::string& path, std::string& error);
// Every file of an import or a build in one batch, as orbcfg-cli writes them: a new file never
// takes a name that another program took meanwhile, a changed one is replaced only while it
// holds what the preview showed; a put-back only while it holds what was just written.
bool replaceAsPlanned(std::span<const orbex::fleet::FileBytes> files,
                      orbex::fleet::BatchFailure& failure);

// "MAC", "имя" or "общий": whose file it is.
QString kindText(const orbex::fleet::Record& record);
// A finding's code in Russian; an unknown code as it is.
QString codeText(std::string_view code);
// Its short name, as the column of findings shows it: "дубль IP", "строка пропущена".
QString shortName(std::string_view code);
// The codes of the findings, in the order the column of findings names them.
inline constexpr std::string_view kFindingCodes[] = {
    orbex::fleet::code::kDuplicateIp,   orbex::fleet::code::kDuplicateMac,
    orbex::fleet::code::kDuplicateName, orbex::fleet::code::kBadMacName,
    orbex::fleet::code::kIgnoredLine,   orbex::fleet::code::kResetValue,
    orbex::fleet::code::kTemporaryFile,
};
// The short name of a file that cannot be read.
inline constexpr char kUnreadable[] = "не читается";
// The short names of a file that differs from what the last build wrote, and of one that no
// row of the open layered source builds.
inline constexpr char kDrift[] = "изменён вручную";
inline constexpr char kOrphan[] = "лишний";
// What a finding says: `others` are the other files of its group, as a finding across files
// names them ("b.cfg, c.cfg и ещё 3"), empty for other findings.
QString findingMessage(const orbex::fleet::Finding& finding, const QString& others);
// One line of a row's tooltip: the place, the code's text, and what the finding says.
QString findingText(const orbex::fleet::Finding& finding, const QString& others = {});
// A refusal's place in a preview: "строка 3, столбец 2 (IP)", or "файл" for the whole text.
inline constexpr orbex::fleet::PlaceWords kRussianPlace{"строка ", ", столбец ", "файл"};
// Why an import, a bulk edit or a layered source refuses.
QString refusalText(const orbex::fleet::Refusal& refusal);
// The refusals of a layered source, one a line: those of devices.csv with their row and column.
QString sourceRefusals(const std::vector<orbex::fleet::Refusal>& refusals, std::size_t more);
// What a build does to a file: "новый", "изменится", "без изменений", "изменён вручную",
// "лишний".
QString statusText(orbex::layers::Status status);
// The parameters `after` keeps differently from `before`, as orbcfg-cli diff shows them,
// each line indented.
QString diffLines(const std::string& before, const std::string& after);

}  // namespace fleettexts
