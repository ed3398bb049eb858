#include "model/fleet_rows.h"

#include <system_error>

#include "model/csv.h"
#include "model/fleet_common.h"
#include "model/mac.h"
#include "model/text.h"

namespace orbex::fleet::detail {

std::optional<TargetColumn> targetColumnOf(std::string_view header) {
    const std::string low = lowered(trimmed(header));
    if (low == "file") return TargetColumn::File;
    if (low == "mac") return TargetColumn::Mac;
    if (low == "name") return TargetColumn::Name;
    return std::nullopt;
}

std::optional<std::string> targetOf(TargetColumn kind, std::string_view cell, Refusal& why) {
    cell = csv::withoutTextMark(cell);
    const auto refuse = [&](RefusalCode code) {
        why.code = code;
        why.subject = text::printable(cell);
        return std::nullopt;
    };
    if (trimmed(cell).empty()) return refuse(RefusalCode::EmptyTarget);
    if (kind != TargetColumn::Mac && trimmed(cell).size() != cell.size())
        return refuse(RefusalCode::TargetBlanks);
    if (kind == TargetColumn::Mac) {
        cell = trimmed(cell);
        auto file = macFileName(cell);
        if (!file) return refuse(RefusalCode::NotMac);
        return file;
    }
    if (kind == TargetColumn::Name) {
        if (!isComputerName(cell)) return refuse(RefusalCode::NotComputerName);
        std::string file = std::string(cell) + ".cfg";
        if (file == kCommonFile) return refuse(RefusalCode::CommonByName);
        return file;
    }
    // A name in the folder itself; ":" is no part of a file name on Windows, nor is a control
    // character on either system.
    const bool plain =
        cell.find_first_of("/\\:") == std::string_view::npos && !text::hasControl(cell);
    if (!plain || !cell.ends_with(".cfg") || cell.size() == 4)
        return refuse(RefusalCode::NotCfgName);
    return std::string(cell);
}

std::optional<Id> keyColumn(std::string_view header, int column, std::array<int, kKeyCount>& seen,
                            Refusal& why) {
    const std::string_view h = trimmed(header);
    const auto id = find(h);
    if (!id) {
        why = h.empty() ? because(RefusalCode::EmptyHeader)
                        : because(RefusalCode::NotAKey, text::printable(h));
    } else if (ValueRefusal r =
                   unsetRefusalOf(param(*id)) ? valueRefusal(param(*id), "") : ValueRefusal{}) {
        why = badValue(param(*id).key, std::move(r));
    } else if (seen[*id]) {
        why = because(RefusalCode::SameKey, {}, {}, seen[*id]);
    } else {
        seen[*id] = column;
        return id;
    }
    return std::nullopt;
}

std::string_view cellValue(std::string_view cell) {
    return cell == "''" ? std::string_view() : csv::withoutTextMark(cell);
}

std::string sameFileKey(std::string name) {
#ifdef _WIN32
    for (char& c : name) c = lower(c);
#endif
    return name;
}

std::optional<std::string> landing(const fs::path& root, const fs::path& canonicalRoot,
                                   const std::string& file, bool& link) {
    fs::path p = root / pathOf(file);
    link = false;
    std::error_code ec;
    for (int hops = 0; hops < 40; ++hops) {
        const fs::file_status st = fs::symlink_status(p, ec);
        if (ec || !fs::is_symlink(st)) {
            if (!link) return file;
            // The folder it lands in, links followed; the name itself may not be there yet.
            const fs::path folder = fs::weakly_canonical(p.parent_path(), ec);
            if (ec) return std::nullopt;
            const fs::path rel = folder.lexically_relative(canonicalRoot);
            if (rel.empty() || *rel.begin() == "..") return std::nullopt;
            return utf8Of((rel == "." ? fs::path() : rel) / p.filename());
        }
        link = true;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) return std::nullopt;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return std::nullopt;
}

Refusal because(RefusalCode code, std::string subject, std::string detail, int number) {
    Refusal r;
    r.code = code;
    r.subject = std::move(subject);
    r.detail = std::move(detail);
    r.number = number;
    return r;
}

Refusal badValue(std::string_view key, ValueRefusal why) {
    Refusal r = because(RefusalCode::BadValue);
    r.key = key;
    r.value = std::move(why);
    return r;
}

}  // namespace orbex::fleet::detail
