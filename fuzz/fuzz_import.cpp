// libFuzzer target: any bytes as the CSV of an import. The reader's records, written again as
// export writes them, read back to the same records; the plan of an import into a folder that
// holds two files refuses or plans, and what it plans is a file that opens and saves to the
// same bytes. Marks in the input stretch into long cells (stretch.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/hooks.h"
#include "fuzz/stretch.h"
#include "model/csv.h"
#include "model/fleet.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/writer.h"

namespace {

using namespace orbex;

void require(bool ok) {
    if (!ok) __builtin_trap();
}

// The folder of the import: made once, with a name file and a MAC file, whose bytes the plan
// reads from memory.
struct Folder {
    std::string path;
    std::map<std::string, std::string> files{
        {"a.cfg", "USERN='a'\r\nIP='10.0.0.1'\r\n"},
        {"AA^BB^CC^DD^EE^FF.cfg", "MNAME='kassa'\r\nAUTOSTART='on'\r\n"}};
    Folder() {
        char name[] = "/tmp/orbcfg-fuzz-XXXXXX";
        require(::mkdtemp(name) != nullptr);
        path = name;
        for (const auto& [file, bytes] : files) {
            std::FILE* f = std::fopen((path + "/" + file).c_str(), "wb");
            require(f != nullptr);
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// Records that export's writing gives back as they are: the first record names its separator
// by a comma before any semicolon, does not begin with a byte-order mark, and no record is a
// lone empty field (an empty line).
bool writesBack(const std::vector<csv::Row>& rows) {
    for (const csv::Row& row : rows)
        if (row.size() == 1 && row[0].empty()) return false;
    if (rows.empty()) return true;
    const csv::Row& first = rows.front();
    if (first[0].starts_with("\xef\xbb\xbf")) return false;
    for (const std::string& field : first)
        if (field.find(';') != std::string::npos) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Folder folder;
    if (size == 0) return 0;
    // The first byte chooses the options; the rest is the CSV.
    const unsigned char flags = data[0];
    const std::string text =
        orbex::fuzz::stretched({reinterpret_cast<const char*>(data) + 1, size - 1});

    csv::Error error;
    if (const auto rows = csv::parse(text, error); rows && writesBack(*rows)) {
        std::string again;
        for (const csv::Row& row : *rows) {
            const std::vector<std::string_view> fields(row.begin(), row.end());
            csv::appendRow(again, fields);
        }
        csv::Error error2;
        const auto back = csv::parse(again, error2);
        require(back.has_value());
        require(*back == *rows);
    }

    MemoryStore base;
    if (flags & 4) {
        readConfig("USERN='office'\r\nAUTOSTART='off'\r\nCHIPSET='vesa'\r\nX='on'\r\n", base);
        BuildReviewTable(base, [](Id) {});
    }
    fleet::ImportOptions options;
    options.base = flags & 4 ? &base : nullptr;
    options.force = flags & 1;
    options.keepBytes = flags & 2;
    const auto read = [](const std::string& path, std::string& why) -> std::optional<std::string> {
        const std::string name = path.substr(path.rfind('/') + 1);
        const auto at = folder.files.find(name);
        if (at == folder.files.end()) {
            why = "No such file or directory";
            return std::nullopt;
        }
        return at->second;
    };
    const fleet::ImportPlan plan = fleet::planImport(text, folder.path, read, options);
    if (!plan.refusals.empty()) return 0;
    for (const fleet::Target& t : plan.targets) {
        require(!t.file.empty());
        if (!options.keepBytes) continue;
        int warnings = 0;
        require(normalizeConfig(t.bytes, [&](Id) { ++warnings; }) == t.bytes);
        require(warnings == 0);
    }
    return 0;
}
