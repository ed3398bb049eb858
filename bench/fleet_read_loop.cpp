// orbcfg-bench-fleet-read DIR: the bare read loop that `orbcfg-cli lint DIR` is measured
// against. Lists the folder's .cfg files, then opens, reads whole and closes each one; nothing
// else. Prints the number of files and bytes.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orbcfg-bench-fleet-read DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) {
        std::perror(dir.c_str());
        return 2;
    }
    while (const dirent* e = readdir(d)) {
        const std::size_t n = std::strlen(e->d_name);
        if (n > 4 && std::strcmp(e->d_name + n - 4, ".cfg") == 0) names.emplace_back(e->d_name);
    }
    closedir(d);
    std::vector<char> buffer(1 << 16);
    unsigned long long bytes = 0;
    for (const std::string& name : names) {
        const int fd = open((dir + "/" + name).c_str(), O_RDONLY);
        if (fd < 0) {
            std::perror(name.c_str());
            return 2;
        }
        ssize_t got;
        while ((got = read(fd, buffer.data(), buffer.size())) > 0)
            bytes += static_cast<unsigned long long>(got);
        close(fd);
    }
    std::printf("%zu files, %llu bytes\n", names.size(), bytes);
    return 0;
}
