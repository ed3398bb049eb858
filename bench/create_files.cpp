// orbcfg-bench-create DIR COUNT SIZE: the floor under `orbcfg-cli import` of COUNT rows into an
// empty folder. It does what a replace of many files must do and nothing else: each new file
// written under a temporary name (open O_CREAT|O_EXCL, write SIZE bytes, close), one syncfs for
// all, then each renamed to its name, then one fsync of the folder.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: orbcfg-bench-create DIR COUNT SIZE\n");
        return 2;
    }
    const std::string dir = argv[1];
    const unsigned long count = std::strtoul(argv[2], nullptr, 10);
    const std::vector<char> bytes(std::strtoul(argv[3], nullptr, 10), 'x');
    const auto fail = [](const std::string& what) {
        std::perror(what.c_str());
        return 1;
    };
    const int folder = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return fail(dir);
    char name[40];
    for (unsigned long n = 0; n < count; ++n) {
        std::snprintf(name, sizeof name, "/.new-%06lu", n);
        const std::string temp = dir + name;
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return fail(temp);
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            return fail(temp);
        if (close(fd) != 0) return fail(temp);
    }
    if (syncfs(folder) != 0) return fail(dir);
    for (unsigned long n = 0; n < count; ++n) {
        std::snprintf(name, sizeof name, "/.new-%06lu", n);
        const std::string temp = dir + name;
        std::snprintf(name, sizeof name, "/t%06lu.cfg", n);
        if (rename(temp.c_str(), (dir + name).c_str()) != 0) return fail(temp);
    }
    if (fsync(folder) != 0) return fail(dir);
    close(folder);
    return 0;
}
