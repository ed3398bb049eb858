// Writes a syslog of LINES lines in which TERMINALS terminals boot again and again from
// tftpd-hpa (-vv): half of them have their MAC file, the others ask for it, for their name
// file and get default.cfg; between the boots the lines of other programs, as on a real server.
// A line a second from 1 November, in the classic stamp.
// Usage: orbcfg-bench-tftplog OUT LINES [TERMINALS]
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "Nov  1 00:00:00" of the line's second: 30 days a month are enough for a bench.
void stamp(std::string& out, long second) {
    const long day = second / 86400;
    char text[32];
    std::snprintf(text, sizeof text, "%s %2ld %02ld:%02ld:%02ld", kMonths[(10 + day / 30) % 12],
                  day % 30 + 1, second / 3600 % 24, second / 60 % 60, second % 60);
    out += text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT LINES [TERMINALS]\n", argv[0]);
        return 2;
    }
    const long lines = std::atol(argv[2]);
    const long terminals = argc > 3 ? std::atol(argv[3]) : 2000;
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f || lines <= 0 || terminals <= 0) return 2;
    std::string out;
    long written = 0, pid = 3000, boot = 0;
    const auto line = [&](const std::string& text) {
        if (written >= lines) return;
        stamp(out, written);
        out += " srv " + text + '\n';
        ++written;
        if (out.size() > (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), f);
            out.clear();
        }
    };
    while (written < lines) {
        const long t = boot++ % terminals;
        char ip[32], mac[32];
        std::snprintf(ip, sizeof ip, "10.%ld.%ld.%ld", t / 65536 % 256, t / 256 % 256, t % 256);
        std::snprintf(mac, sizeof mac, "00^1A^2B^%02lX^%02lX^%02lX", t / 65536 % 256, t / 256 % 256,
                      t % 256);
        const std::string rrq = "]: RRQ from " + std::string(ip) + " filename ";
        const std::string nak = "]: sending NAK (1, File not found) to " + std::string(ip);
        line("CRON[" + std::to_string(pid) + "]: (root) CMD (command -v debian-sa1 > /dev/null)");
        line("in.tftpd[" + std::to_string(++pid) + rrq + mac + ".cfg");
        if (t % 2 == 1) {
            line("in.tftpd[" + std::to_string(pid) + nak);
            line("in.tftpd[" + std::to_string(++pid) + rrq + "kassa" + std::to_string(t) + ".cfg");
            line("in.tftpd[" + std::to_string(pid) + nak);
            line("in.tftpd[" + std::to_string(++pid) + rrq + "default.cfg");
        }
        line("in.tftpd[" + std::to_string(++pid) + rrq + "pxelinux.0");
        line("systemd[1]: Started session-" + std::to_string(boot) + ".scope - Session of user.");
        line("kernel: [" + std::to_string(written) + ".000000] e1000e: eth0 NIC Link is Up");
        line("sshd[" + std::to_string(pid) + "]: Accepted publickey for admin from 10.0.0.9");
        if (pid > 4000000) pid = 3000;  // process ids come again, as they do
    }
    std::fwrite(out.data(), 1, out.size(), f);
    return std::fclose(f) == 0 ? 0 : 1;
}
