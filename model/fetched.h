// What the terminals really fetched, from a TFTP server's log: each terminal's requests for
// configuration files, the file it ended with, and, against the fleet's folder, what went
// otherwise than the folder means (a terminal that fell back to the common file while its MAC
// file is there under another spelling, a file nobody asked for, a file served with lint's
// findings, a request for a file that is no terminal's).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/tftplog.h"

namespace orbex::fetched {

using tftplog::Format;
using tftplog::Outcome;
using tftplog::Time;

// The requests of one terminal for one file with one outcome, folded into one: a terminal that
// boots every day asks for the same few files, so that what is kept grows with the terminals
// and the files they ask for, not with the log.
struct Request {
    std::string file;   // relative to the folder where it lies in it; else as the server named it
    std::string asked;  // the name the terminal asked for, where the server remapped it
    Outcome outcome = Outcome::Served;
    std::size_t count = 0;
    Time first, last;
    std::uint64_t firstLine = 0, lastLine = 0;  // the lines that told them: order within a second
    std::optional<std::string> inFolder;        // the folder's file it names (none: no such)
};

struct Terminal {
    std::string address;  // empty: the log named none (tied to it by the MAC of its file)
    std::string mac;      // AA^BB^CC^DD^EE^FF of the MAC file it asked for first; empty if none
    std::vector<Request> requests;        // by the time of the last of each
    std::optional<std::size_t> endsWith;  // the request served last: the file it ended with
};

enum class FlagCode : std::uint8_t {
    FellBack,            // address, mac, got, shouldHave, asked
    UnknownRequest,      // address, file
    ServedWithFindings,  // file, count
    NeverFetched,        // file
};
std::string_view flagName(FlagCode code);  // "fell-back", "unknown-request", ...

struct Flag {
    FlagCode code = FlagCode::FellBack;
    std::string address;     // empty: the log named none
    std::string mac;         // FellBack: the terminal's MAC
    std::string got;         // FellBack: the file it ended with; empty: none, or not known
    std::string shouldHave;  // FellBack: the folder's file for its MAC
    std::string asked;       // FellBack: the MAC file name it asked for
    std::string file;        // UnknownRequest, ServedWithFindings, NeverFetched
    std::size_t count = 0;   // ServedWithFindings: lint's findings of the file
    bool noAddress = false;  // FellBack: the terminal is known by its MAC alone
};

// One file of the folder as the log saw it: what a window maps onto its row of the file.
struct FileUse {
    std::string file;
    std::optional<Time> lastAsked;  // the last request that named it
    std::string lastAddress;        // by which terminal (empty: the log named none)
    Outcome lastOutcome = Outcome::Served;
    struct FellBack {
        std::string address, mac, got;
    };
    std::vector<FellBack> fellBack;  // terminals of its MAC that ended with another file
    bool neverFetched = false;       // a MAC or name file that no request named
    std::size_t findings = 0;        // served with this many findings of lint
};

// The fleet's folder, as the analysis needs it.
struct Folder {
    std::vector<std::string> files;  // its .cfg files, by name (fleet::listFiles)
    // The components of its absolute path ("srv", "tftp", "conf"): a server that names files
    // by their full path, or from a TFTP root above the folder, names the folder's files so.
    std::vector<std::string> path;
    std::map<std::string, std::size_t> findings;  // lint's findings by file, where there are any
};

struct Report {
    std::vector<Terminal> terminals;  // by address (IPv4 by number), those without one last
    std::vector<Request> untied;      // requests the log ties to no terminal
    std::vector<Flag> flags;          // fell-back, unknown-request, served-with-findings,
                                      // never-fetched; each by terminal or file
    std::vector<FileUse> files;       // with a folder: each of its files, by name
    std::optional<Time> first, last;  // the span of the requests taken
    std::size_t requests = 0;         // of configuration files, before folding
};

// Takes events one at a time (the parser's handler) and keeps only configuration files
// (names ending in ".cfg"), folded by terminal, file and outcome.
class Collector {
  public:
    explicit Collector(std::optional<Time> since = std::nullopt);
    ~Collector();
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    void add(const tftplog::Event& e);
    // The terminals, their requests and, with a folder, the flags and the folder's files.
    Report report(const Folder* folder) const;

    struct State;

  private:
    std::unique_ptr<State> s_;
};

}  // namespace orbex::fetched
