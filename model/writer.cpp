#include "writer.h"

#include <array>

#include "catalogue.h"
#include "text.h"

namespace orbex {
namespace {

const std::array<std::string, 6>& header() {
    static const std::array<std::string, 6> lines = {
        "# This text in UTF-8. Use Notepad.",
        "#",
        "# Файл конфигурации для терминального клиента ORBEX",
        "# Создан менеджером конфигураций ORBEX (Orbcfg.exe)",
        "# Новые версии доступны на сайте " + siteAddress() + "/download/",
        "# С уважением ООО \"Valtrix\"",
    };
    return lines;
}

// Splits a text at its line feeds; each piece keeps its line feed, the last may have none.
template <typename F>
void forEachPiece(std::string_view text, F&& f) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        f(text.substr(pos, end - pos));
        pos = end;
    }
}

}  // namespace

std::string_view headerLine(int n) {
    return header().at(static_cast<std::size_t>(n));
}

int FilterConfigLine(std::string_view piece, std::string& out) {
    if (piece.starts_with('#')) {
        out += piece;
        return 0;
    }
    if (piece == "\n") {
        out += '\n';
        return 0;
    }
    // Keys hold no "=": only the text before the first "=" can be a key followed by "='".
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos || eq + 1 >= piece.size() || piece[eq + 1] != '\'' ||
        !find(piece.substr(0, eq)))
        return 1;
    const std::size_t quote = piece.find('\'', eq + 2);
    if (quote == std::string_view::npos) return 1;
    out += piece.substr(0, quote + 1);
    out += '\n';
    return 0;
}

std::string CleanConfigFile(std::string_view text) {
    std::string out(kBom);
    out.reserve(text.size() + kBom.size());
    forEachPiece(text, [&](std::string_view piece) {
        if (piece.size() >= 4 && piece.starts_with(kBom)) piece.remove_prefix(kBom.size());
        FilterConfigLine(piece, out);
    });
    return out;
}

std::string WriteConfig(const ReviewTable& table) {
    std::string dat(kBom);
    dat.reserve(512 + table.size() * 96);
    for (const std::string& line : header()) {
        dat += line;
        dat += '\n';
    }
    for (const ReviewRow& row : table) {
        dat += "\n# ";
        text::appendThroughCp1251(dat, row.description);
        dat += ": ";
        text::appendThroughCp1251(dat, row.shownText);
        dat += '\n';
        dat += row.key;
        dat += "='";
        text::appendThroughCp1251(dat, row.storedValue());
        dat += "'\n";
    }
    const std::string clean = CleanConfigFile(dat);
    dat.clear();  // its memory takes the text with CR LF line ends
    dat.reserve(clean.size() + clean.size() / 16);
    forEachPiece(clean, [&](std::string_view piece) {
        if (piece.ends_with('\n')) {
            dat.append(piece.substr(0, piece.size() - 1));
            dat += "\r\n";
        } else {
            dat.append(piece);
        }
    });
    return dat;
}

}  // namespace orbex
