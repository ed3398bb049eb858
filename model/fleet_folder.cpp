#include "model/fleet.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "model/fleet_common.h"
#include "model/mac.h"
#include "model/text.h"

namespace orbex::fleet {

using namespace detail;

namespace {

// extension() == ".cfg" without making paths for it: the name ends in ".cfg" and holds more
// than that (".cfg" alone is a name without an extension).
bool hasCfgExtension(const fs::path& p) {
    static constexpr fs::path::value_type kExtension[] = {'.', 'c', 'f', 'g'};
    const auto& s = p.native();
    if (s.size() < 5 || !std::equal(std::begin(kExtension), std::end(kExtension), s.end() - 4))
        return false;
    const auto before = s[s.size() - 5];
    return before != '/' && before != fs::path::preferred_separator;
}

}  // namespace

Classified classify(std::string_view fileName) {
    Classified c;
    if (auto mac = macOfFileName(fileName)) {
        c.kind = FileKind::Mac;
        c.mac = std::move(*mac);
    } else if (fileName == kCommonFile) {
        c.kind = FileKind::Common;
    } else {
        c.badMacName = fileName.find('^') != std::string_view::npos;
    }
    return c;
}

bool isComputerName(std::string_view name) {
    return !name.empty() && trimmed(name).size() == name.size() &&
           name.find_first_of("/\\:^") == std::string_view::npos && !text::hasControl(name);
}

std::optional<Listing> list(const std::string& dir, bool recursive,
                            const NamePredicate& isTemporary, std::string& error) {
    Listing out;
    std::error_code ec;
    const fs::path root = pathOf(dir);
    if (!fs::is_directory(root, ec)) {
        error = ec ? ec.message() : "not a folder";
        return std::nullopt;
    }
    // Folders still to list, by their names relative to the folder ("" for itself). A
    // subfolder that cannot be listed is noted and the others are listed all the same.
    std::vector<std::string> folders{""};
    while (!folders.empty()) {
        const std::string prefix = std::move(folders.back());
        folders.pop_back();
        const auto relative = [&](const fs::path& name) {
            const std::u8string u = name.u8string();
            std::string s(prefix);
            if (!s.empty()) s += '/';
            s.append(u.begin(), u.end());
            return s;
        };
        fs::directory_iterator it(prefix.empty() ? root : root / pathOf(prefix), ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const fs::directory_entry& e = *it;
            std::error_code ignored;
            if (hasCfgExtension(e.path()) && e.is_regular_file(ignored)) {
                out.files.push_back(relative(e.path().filename()));
                continue;
            }
            if (recursive && !e.is_symlink(ignored) && e.is_directory(ignored)) {
                folders.push_back(relative(e.path().filename()));
                continue;
            }
            if (!isTemporary) continue;
            const std::u8string name = e.path().filename().u8string();
            if (isTemporary(
                    std::string_view(reinterpret_cast<const char*>(name.data()), name.size())) &&
                e.is_regular_file(ignored))
                out.temporaries.push_back(relative(e.path().filename()));
        }
        if (ec) {
            if (prefix.empty()) {
                error = ec.message();
                return std::nullopt;
            }
            out.unlisted.push_back({prefix, ec.message()});
            ec.clear();
        }
    }
    std::sort(out.files.begin(), out.files.end());
    std::sort(out.temporaries.begin(), out.temporaries.end());
    std::sort(
        out.unlisted.begin(), out.unlisted.end(),
        [](const Listing::Unlisted& a, const Listing::Unlisted& b) { return a.folder < b.folder; });
    return out;
}

std::optional<std::vector<std::string>> listFiles(const std::string& dir, bool recursive,
                                                  std::string& error) {
    auto listing = list(dir, recursive, {}, error);
    if (!listing) return std::nullopt;
    if (!listing->unlisted.empty()) {
        const Listing::Unlisted& u = listing->unlisted.front();
        error = u.folder + ": " + u.reason;
        return std::nullopt;
    }
    return std::move(listing->files);
}

std::string pathInFolder(const std::string& dir, const std::string& file) {
    return inFolder(pathOf(dir), file);
}

std::optional<std::string> resolve(std::span<const std::string> files,
                                   const std::optional<std::string>& mac,
                                   const std::optional<std::string>& name,
                                   std::span<const Source> order) {
    const auto has = [&](std::string_view f) {
        return std::find(files.begin(), files.end(), f) != files.end();
    };
    for (Source s : order) {
        switch (s) {
            case Source::Mac: {
                if (!mac) break;
                const std::string exact = *mac + ".cfg";
                if (has(exact)) return exact;
                for (const std::string& f : files)
                    if (auto m = macOfFileName(f); m && *m == *mac) return f;
                break;
            }
            case Source::Name:
                if (name && has(*name + ".cfg")) return *name + ".cfg";
                break;
            case Source::Common:
                if (has(kCommonFile)) return std::string(kCommonFile);
                break;
        }
    }
    return std::nullopt;
}

}  // namespace orbex::fleet
