// What the CSV of an import and the device list of a layered source share: the target column
// and its cells, the key columns and their cells, where a write of a file lands, and the
// refusals they make. Internal to the fleet's code.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "model/catalogue.h"
#include "model/edit.h"
#include "model/fleet.h"

namespace orbex::fleet::detail {

enum class TargetColumn : std::uint8_t { File, Mac, Name };

// The target column a header cell names: file, mac or name, in any case, blanks around it.
std::optional<TargetColumn> targetColumnOf(std::string_view header);

// The file a row's target cell names, or why it names none (`why` gets its code and subject).
// A `file` cell names the file exactly, in its case; a `mac` cell makes the upper-case name
// terminals ask for. A name is never trimmed: " a.cfg" is another file than "a.cfg", so blanks
// around it are refused.
std::optional<std::string> targetOf(TargetColumn kind, std::string_view cell, Refusal& why);

// The key a header cell names, when it is no target column, or why it is refused (an empty
// header, no key, a key that cannot be left unset, a key of an earlier column). `seen[id]` is
// the column, from 1, that named key `id` so far; the key's is noted there.
std::optional<Id> keyColumn(std::string_view header, int column, std::array<int, kKeyCount>& seen,
                            Refusal& why);

// A non-empty cell of a key column as the value it sets: '' is the empty text; else a leading
// ' that marks the cell as text is dropped (a value holds no ').
std::string_view cellValue(std::string_view cell);

// Two names of one file to a duplicate check: on Windows names ignore case (ASCII letters here:
// MAC file names are ASCII), elsewhere they are what they are.
std::string sameFileKey(std::string name);

// Where a write of `file` lands, relative to the folder (`canonicalRoot`): `file` itself, or
// for a symbolic link the file at the end of its links (which need not exist yet). nullopt
// when the links lead out of the folder, go round in a circle, or cannot be read.
std::optional<std::string> landing(const std::filesystem::path& root,
                                   const std::filesystem::path& canonicalRoot,
                                   const std::string& file, bool& link);

Refusal because(RefusalCode code, std::string subject = {}, std::string detail = {},
                int number = 0);
Refusal badValue(std::string_view key, ValueRefusal why);

}  // namespace orbex::fleet::detail
