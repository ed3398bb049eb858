#include "writer.h"

#include <array>

#include "catalogue.h"
#include "reader.h"
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

int FilterConfigLine(std::string_view piece, std::string& out) {
    if (piece == "\n") {
        out += '\n';
        return 0;
    }
    const Line line = parseLine(piece);
    if (line.type == Line::Type::Comment) {
        out += piece;
        return 0;
    }
    if (line.type != Line::Type::Param) return 1;
    // Cut right after the closing quote.
    out += piece.substr(
        0, static_cast<std::size_t>(line.value.data() - piece.data()) + line.value.size() + 1);
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

namespace {

// CleanConfigFile's pass over a part of the working text that starts at the start of a line,
// appended to `out` (which holds the mark already) with CR LF line ends.
void appendClean(std::string& out, std::string_view text) {
    forEachPiece(text, [&](std::string_view piece) {
        if (piece.size() >= 4 && piece.starts_with(kBom)) piece.remove_prefix(kBom.size());
        if (FilterConfigLine(piece, out) == 0 && out.back() == '\n') {
            out.back() = '\r';
            out += '\n';
        }
    });
}

// Whether the key's own review description passes the code page unchanged.
bool plainDescription(Id id) {
    static const auto plain = [] {
        std::array<bool, kKeyCount> a{};
        for (Id i = 0; i < kKeyCount; ++i) {
            const std::string_view d = descriptionOf(param(i));
            a[i] = text::throughCp1251(d) == d;
        }
        return a;
    }();
    return plain[id];
}

// The description of a row that the review made is the catalogue's own text, the very bytes.
bool ownDescription(const ReviewRow& r, Id id) {
    const std::string_view d = descriptionOf(param(id));
    return r.description.data() == d.data() && r.description.size() == d.size();
}

}  // namespace

// The working text row by row, cleaned as it is made, straight into the file's bytes: the same
// bytes as cleaning the whole text and then ending its lines in CR LF.
std::string WriteConfig(const ReviewTable& table) {
    static const std::string head = [] {
        std::string text(kBom);
        for (const std::string& line : header()) {
            text += line;
            text += '\n';
        }
        std::string out(kBom);
        appendClean(out, text);
        return out;
    }();
    std::string bytes = head;
    bytes.reserve(head.size() + table.size() * 128);
    std::string row;
    for (const ReviewRow& r : table) {
        const auto id = r.key.starts_with('#') ? std::nullopt : find(r.key);
        if (id) {
            // The clean-up keeps the three lines of a known key as they are, but for the end of
            // the value at its first quote: no text on them is left with a line break or a CR.
            bytes += "\r\n# ";
            if (ownDescription(r, *id) && plainDescription(*id)) {
                bytes += r.description;
            } else {
                text::appendThroughCp1251(bytes, r.description);
            }
            bytes += ": ";
            const std::size_t shown = bytes.size();
            text::appendThroughCp1251(bytes, r.shownText);
            const std::size_t shownEnd = bytes.size();
            bytes += "\r\n";
            bytes += r.key;
            bytes += "='";
            const std::size_t value = bytes.size();
            if (const std::string_view v = r.storedValue(); v == r.shownText) {
                bytes.append(bytes, shown, shownEnd - shown);  // a text shows as it is
            } else {
                text::appendThroughCp1251(bytes, v);
            }
            if (auto quote = bytes.find('\'', value); quote != std::string::npos)
                bytes.resize(quote);
            bytes += "'\r\n";
            continue;
        }
        row.assign("\n# ");
        text::appendThroughCp1251(row, r.description);
        row += ": ";
        text::appendThroughCp1251(row, r.shownText);
        row += '\n';
        row += r.key;
        row += "='";
        text::appendThroughCp1251(row, r.storedValue());
        row += "'\n";
        appendClean(bytes, row);
    }
    return bytes;
}

std::string normalizeConfig(std::string_view bytes, const Warn& warn) {
    MemoryStore store;
    readConfig(bytes, store);
    return WriteConfig(BuildReviewTable(store, warn));
}

}  // namespace orbex
