#include "model/writer.h"

#include <array>

#include "model/catalogue.h"
#include "model/reader.h"
#include "model/text.h"

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

}  // namespace

std::span<const std::string> headerLines() {
    return header();
}

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

namespace {

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

}  // namespace

std::size_t appendComment(std::string& out, const ReviewRow& r) {
    out += "# ";
    if (plainDescription(r.id) && r.description == descriptionOf(param(r.id))) {
        out += r.description;
    } else {
        text::appendThroughCp1251(out, r.description);
    }
    out += ": ";
    const std::size_t shown = out.size();
    text::appendThroughCp1251(out, r.shownText);
    return shown;
}

// The file's bytes row by row. Every line written is one that the clean-up filter keeps as it
// is: the header and the description lines are comments, and the value ends before its first
// single quote, where FilterConfigLine cuts a key line; no text holds a line break or a CR.
std::string WriteConfig(const ReviewTable& table) {
    static const std::string head = [] {
        std::string out(kBom);
        for (const std::string& line : header()) {
            out += line;
            out += "\r\n";
        }
        return out;
    }();
    // Room for exactly what the rows can take: passing the code page never lengthens a text.
    std::size_t size = head.size();
    for (const ReviewRow& r : table)
        size += r.description.size() + r.shownText.size() + r.key.size() + r.value.size() + 14;
    std::string bytes;
    bytes.reserve(size);
    bytes += head;
    for (const ReviewRow& r : table) {
        bytes += "\r\n";
        const std::size_t shown = appendComment(bytes, r);
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
        if (auto quote = bytes.find('\'', value); quote != std::string::npos) bytes.resize(quote);
        bytes += "'\r\n";
    }
    return bytes;
}

std::string normalizeConfig(std::string_view bytes, const Warn& warn) {
    MemoryStore store;
    readConfig(bytes, store);
    return WriteConfig(BuildReviewTable(store, warn));
}

}  // namespace orbex
