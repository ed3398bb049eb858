#include <algorithm>
#include <system_error>

#include "model/fleet_common.h"
#include "model/layers.h"
#include "model/text.h"

namespace orbex::layers {

using namespace fleet::detail;

namespace {

bool isHashText(std::string_view s) {
    return s.size() == 64 && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

}  // namespace

// The first line names the folder; each other line is a hash, two blanks and a file.
std::optional<Manifest> parseManifest(std::string_view text) {
    Manifest m;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (first) {
            if (line.empty()) return std::nullopt;
            m.folder = line;
            first = false;
            continue;
        }
        if (line.empty()) continue;
        if (line.size() < 67 || !isHashText(line.substr(0, 64)) || line.substr(64, 2) != "  ")
            return std::nullopt;
        m.hashes[std::string(line.substr(66))] = line.substr(0, 64);
    }
    if (first) return std::nullopt;
    return m;
}

std::string manifestText(const Manifest& manifest) {
    std::vector<const std::pair<const std::string, std::string>*> entries;
    entries.reserve(manifest.hashes.size());
    for (const auto& e : manifest.hashes) entries.push_back(&e);
    std::sort(entries.begin(), entries.end(),
              [](const auto* a, const auto* b) { return a->first < b->first; });
    std::string out = manifest.folder + "\n";
    out.reserve(out.size() + entries.size() * 100);
    for (const auto* e : entries) {
        out += e->second;
        out += "  ";
        out += e->first;
        out += '\n';
    }
    return out;
}

std::string manifestFolder(const std::string& dir) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(pathOf(dir), ec);
    return ec ? std::string() : text::escapedName(utf8Of(canonical));
}

std::optional<Manifest> readManifest(const std::string& dir, const fleet::ReadFile& read,
                                     std::string& error) {
    const fs::path path = pathOf(dir) / pathOf(kManifest);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return Manifest{};
    std::string why;
    const auto bytes = read(utf8Of(path), why);
    if (!bytes) {
        error = "cannot read " + std::string(kManifest) + ": " + why;
        return std::nullopt;
    }
    auto m = parseManifest(*bytes);
    if (!m) error = std::string(kManifest) + " is no manifest of a build";
    return m;
}

}  // namespace orbex::layers
