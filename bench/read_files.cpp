// orbcfg-bench-read FILE...: the floor under `orbcfg-cli check` over the same files. It opens
// each file, reads it whole and closes it, and does nothing else with the bytes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    static char buffer[1 << 16];
    for (int i = 1; i < argc; ++i) {
        const int fd = open(argv[i], O_RDONLY);
        if (fd < 0) {
            std::perror(argv[i]);
            return 2;
        }
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
        close(fd);
    }
    return 0;
}
