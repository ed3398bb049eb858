// orbcfg-bench-read FILE... | DIR: the floor under `orbcfg-cli check` over the same files, or
// under `orbcfg-cli lint DIR` (then it lists the folder's .cfg files first). It opens each file,
// reads it whole and closes it, and does nothing else with the bytes.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> paths(argv + 1, argv + argc);
    if (argc == 2) {
        if (DIR* d = opendir(argv[1])) {
            paths.clear();
            while (const dirent* e = readdir(d)) {
                const std::size_t n = std::strlen(e->d_name);
                if (n > 4 && std::strcmp(e->d_name + n - 4, ".cfg") == 0)
                    paths.push_back(std::string(argv[1]) + "/" + e->d_name);
            }
            closedir(d);
        }
    }
    static char buffer[1 << 16];
    for (const std::string& path : paths) {
        const int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            std::perror(path.c_str());
            return 2;
        }
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
        close(fd);
    }
    return 0;
}
