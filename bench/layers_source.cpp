// orbcfg-bench-layers SRC COUNT GROUPS: a layered source of COUNT terminals in GROUPS groups, as
// the benchmark of `orbcfg-cli build` and `explain` takes it: default.cfg with every control set
// (the benchmark's full file), each group a handful of values of its own, and devices.csv with a
// row per terminal: its MAC, one or two groups, its own MNAME and IP, and in every tenth row a
// value that overrides its groups or an unset.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/sample.h"

namespace {

bool write(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fclose(f) == 0)
        return true;
    std::perror(path.c_str());
    return false;
}

// A group's own values: a user, a server, a volume, a resolution and a switch of its own.
std::string group(unsigned g) {
    static const char* const kRazr[] = {"1024x768", "1280x1024", "1600x1200", "800x600"};
    return "USERN='group" + std::to_string(g) + "'\r\nTSERV='10.0." + std::to_string(g + 1) +
           ".1'\r\nVOLUME='" + std::to_string(10 * g + 5) + "'\r\nRAZR='" + kRazr[g % 4] +
           "'\r\nAUTOSTART='" + (g % 2 ? "on" : "off") + "'\r\n";
}

std::string devices(unsigned count, unsigned groups) {
    std::string out = "mac,groups,MNAME,IP,VOLUME,AUTOSTART\r\n";
    out.reserve(count * 64);
    char row[160];
    for (unsigned n = 0; n < count; ++n) {
        const unsigned first = n % groups, second = (n / groups) % groups;
        std::string names = "g" + std::to_string(first);
        if (second != first && n % 3 == 0) names += " g" + std::to_string(second);
        std::snprintf(row, sizeof row, "00-1a-2b-%02x-%02x-%02x,%s,t%05u,10.%u.%u.%u,%s,%s\r\n",
                      (n >> 16) & 255, (n >> 8) & 255, n & 255, names.c_str(), n, 10 + n / 65536,
                      (n / 256) % 256, n % 256, n % 10 == 1 ? "77" : "", n % 10 == 2 ? "-" : "");
        out += row;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: orbcfg-bench-layers SRC COUNT GROUPS\n");
        return 2;
    }
    const std::string src = argv[1];
    const unsigned count = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const unsigned groups = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    if (groups == 0) return 2;
    std::error_code ec;
    std::filesystem::create_directories(src + "/groups", ec);
    if (ec) return std::perror(src.c_str()), 1;
    if (!write(src + "/default.cfg", orbex::bench::fullConfig(0))) return 1;
    for (unsigned g = 0; g < groups; ++g)
        if (!write(src + "/groups/g" + std::to_string(g) + ".cfg", group(g))) return 1;
    return write(src + "/devices.csv", devices(count, groups)) ? 0 : 1;
}
