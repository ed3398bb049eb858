// Running the tool in-process, and temporary folders of real files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace orbex::testing {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

inline Result runCli(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    Result r;
    r.code = cli::run(args, in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// Names are UTF-8, as the tool takes them; on Windows a path must not pass through the ANSI
// code page on its way to or from them.
inline std::filesystem::path u8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
inline std::string slurp(const std::string& utf8) {
    return slurp(u8(utf8));
}

inline void spit(const std::filesystem::path& p, std::string_view bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline void spit(const std::string& utf8, std::string_view bytes) {
    spit(u8(utf8), bytes);
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("orbcfg-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(std::string_view name) const { return utf8Of(path_ / u8(name)); }
    std::vector<std::string> names() const {
        std::vector<std::string> v;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            v.push_back(utf8Of(e.path().filename()));
        std::sort(v.begin(), v.end());
        return v;
    }

  private:
    std::filesystem::path path_;
};

// Every file of the folder with its bytes.
inline std::map<std::string, std::string> snapshot(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : dir.names()) files[name] = slurp(dir / name);
    return files;
}

}  // namespace orbex::testing
