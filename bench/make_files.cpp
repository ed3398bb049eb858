// orbcfg-bench-files DIR COUNT [same-ip]: writes COUNT varied configuration files into DIR, as
// the program saves them; some leave keys unset, some have LF line ends, and one in fifty
// carries a fault that `orbcfg-cli check` reports. With same-ip every file sets one address, as
// a template imported for a whole fleet does.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bench/sample.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/writer.h"

namespace {

using namespace orbex;

constexpr std::string_view kFaults[] = {
    "IP='10.0.0.300'\r\n",
    "usern='guest'\r\n",
    "COMPRESS='yes'\r\n",
    "RAZR='999x999'\r\n",
    "DHCP=on\r\n",
    "POWEROFF='ten'\r\n",
    "\x1A"
    "left over after Ctrl-Z\r\n",
};

std::string makeFile(unsigned n, bool sameIp) {
    MemoryStore store;
    bench::fillStore(store, n);
    if (sameIp) store.setText(idOf("IP"), "10.0.5.12");
    // Leave every seventh control unset in some files.
    if (n % 4 == 1) {
        int k = 0;
        for (Id id : controlOrder())
            if (++k % 7 == 0) {
                const Param& p = param(id);
                if (p.kind == Kind::Text) store.setText(id, kUnset);
                if (p.kind == Kind::Switch) store.setCheck(id, Tri::Grayed);
                if (p.kind == Kind::Choice) store.setItem(id, 0);
            }
    }
    std::string bytes = WriteConfig(BuildReviewTable(store, [](Id) {}));
    if (n % 10 == 3) {  // edited by hand on another system
        std::string lf;
        for (char c : bytes)
            if (c != '\r') lf += c;
        bytes = lf;
    }
    if (n % 50 == 7) bytes += kFaults[(n / 50) % std::size(kFaults)];
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::string_view(argv[3]) == "same-ip")) {
        std::fprintf(stderr, "usage: orbcfg-bench-files DIR COUNT [same-ip]\n");
        return 2;
    }
    const bool sameIp = argc == 4;
    const std::string dir = argv[1];
    const unsigned count = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    for (unsigned n = 0; n < count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/t%05u.cfg", n);
        const std::string bytes = makeFile(n, sameIp);
        std::FILE* f = std::fopen((dir + name).c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
            std::fclose(f) != 0) {
            std::perror((dir + name).c_str());
            return 1;
        }
    }
    return 0;
}
