// The requests of a log folded by terminal, and what they say against the fleet's folder.
#include "model/fetched.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "model/fleet.h"
#include "model/fleet_common.h"
#include "model/mac.h"

namespace orbex::fetched {

using fleet::detail::lowered;

std::string_view flagName(FlagCode code) {
    switch (code) {
        case FlagCode::FellBack:
            return "fell-back";
        case FlagCode::UnknownRequest:
            return "unknown-request";
        case FlagCode::ServedWithFindings:
            return "served-with-findings";
        case FlagCode::NeverFetched:
            return "never-fetched";
    }
    return "fell-back";
}

namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

bool isConfiguration(std::string_view name) {
    return name.size() > 4 && lowered(name.substr(name.size() - 4)) == ".cfg";
}

std::string_view baseName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The MAC a file name spells in any of the ways parseMac takes ("aa-bb-...-ff.cfg" too).
std::optional<std::string> macOfName(std::string_view path) {
    std::string_view base = baseName(path);
    if (!isConfiguration(base)) return std::nullopt;
    base.remove_suffix(4);
    return parseMac(base);
}

bool earlier(const Time& a, std::uint64_t la, const Time& b, std::uint64_t lb) {
    return a < b || (a == b && la < lb);
}

std::vector<std::string_view> folders(std::string_view path) {
    std::vector<std::string_view> out;
    for (std::size_t slash; (slash = path.find('/')) != std::string_view::npos;) {
        out.push_back(path.substr(0, slash));
        path.remove_prefix(slash + 1);
    }
    return out;
}

// The IPv4 address as a number, for the order of terminals; none for any other address.
std::optional<std::uint32_t> ipv4(std::string_view a) {
    std::uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        std::uint32_t n = 0;
        std::size_t digits = 0;
        while (!a.empty() && a.front() >= '0' && a.front() <= '9' && digits < 3) {
            n = n * 10 + static_cast<std::uint32_t>(a.front() - '0');
            a.remove_prefix(1);
            ++digits;
        }
        if (digits == 0 || n > 255) return std::nullopt;
        value = value << 8 | n;
        if (part < 3) {
            if (a.empty() || a.front() != '.') return std::nullopt;
            a.remove_prefix(1);
        }
    }
    if (!a.empty()) return std::nullopt;
    return value;
}

}  // namespace

struct Collector::State {
    struct Name {
        std::string raw;
        Format format = Format::TftpdHpa;
        bool fullPath = false;
    };
    // Who asked: an address, or (the log naming none) the MAC of the file, or nobody known.
    struct Asker {
        std::string address, mac;
    };
    struct Folded {
        std::uint32_t asker = 0, name = 0, asked = kNone;
        Outcome outcome = Outcome::Served;
        std::size_t count = 0;
        Time first, last;
        std::uint64_t firstLine = 0, lastLine = 0;
    };
    std::optional<Time> since;
    std::unordered_map<std::string, std::uint32_t> nameIds, askerIds;
    std::vector<Name> names;
    std::vector<Asker> askers;
    std::unordered_map<std::uint64_t, std::uint32_t> foldedIds;
    std::vector<Folded> folded;
    std::optional<Time> first, last;
    std::size_t requests = 0;
    std::string key;  // scratch

    std::uint32_t nameId(std::string_view raw, Format format, bool fullPath);
    std::uint32_t askerId(const tftplog::Event& e);
};

std::uint32_t Collector::State::nameId(std::string_view raw, Format format, bool fullPath) {
    key.assign(raw);
    key += '\0';
    key += static_cast<char>('0' + static_cast<int>(format) * 2 + (fullPath ? 1 : 0));
    const auto [it, added] = nameIds.try_emplace(key, static_cast<std::uint32_t>(names.size()));
    if (added) names.push_back({std::string(raw), format, fullPath});
    return it->second;
}

std::uint32_t Collector::State::askerId(const tftplog::Event& e) {
    Asker a;
    if (!e.address.empty()) {
        a.address.assign(e.address);
        key = "a" + a.address;
    } else if (auto mac = macOfName(e.asked.empty() ? e.file : e.asked)) {
        a.mac = std::move(*mac);
        key = "m" + a.mac;
    } else {
        key = "u";
    }
    const auto [it, added] = askerIds.try_emplace(key, static_cast<std::uint32_t>(askers.size()));
    if (added) askers.push_back(std::move(a));
    return it->second;
}

Collector::Collector(std::optional<Time> since) : s_(std::make_unique<State>()) {
    s_->since = since;
}

Collector::~Collector() = default;

void Collector::add(const tftplog::Event& e) {
    State& s = *s_;
    if ((s.since && e.time < *s.since) || !isConfiguration(e.file)) return;
    ++s.requests;
    if (!s.first || e.time < *s.first) s.first = e.time;
    if (!s.last || *s.last < e.time) s.last = e.time;
    const std::uint32_t asker = s.askerId(e);
    const std::uint32_t name = s.nameId(e.file, e.format, e.fullPath);
    const std::uint64_t id = std::uint64_t{asker} << 34 | std::uint64_t{name} << 2 |
                             static_cast<std::uint64_t>(e.outcome);
    const auto [it, added] =
        s.foldedIds.try_emplace(id, static_cast<std::uint32_t>(s.folded.size()));
    if (added) {
        State::Folded f;
        f.asker = asker;
        f.name = name;
        f.outcome = e.outcome;
        f.first = f.last = e.time;
        f.firstLine = f.lastLine = e.line;
        if (!e.asked.empty()) f.asked = s.nameId(e.asked, e.format, e.fullPath);
        s.folded.push_back(f);
    }
    State::Folded& f = s.folded[it->second];
    ++f.count;
    if (earlier(e.time, e.line, f.first, f.firstLine)) f.first = e.time, f.firstLine = e.line;
    if (earlier(f.last, f.lastLine, e.time, e.line)) f.last = e.time, f.lastLine = e.line;
}

// ---- The report ----

namespace {

// How a name of the log reads, and which of the folder's files it names.
struct NameView {
    std::string shown;
    std::optional<std::string> place;  // where it lies in the folder's path: the file's name
    std::optional<std::string> held;   // the folder's file it names, in the folder's spelling
};

// The folder a server's full paths share (dnsmasq's TFTP root, where its log did not tell it):
// the longest run of leading folders common to all of them.
std::vector<std::string_view> commonRoot(const std::vector<Collector::State::Name>& names) {
    std::optional<std::vector<std::string_view>> common;
    for (const auto& n : names) {
        if (!n.fullPath) continue;
        const auto dirs = folders(n.raw);
        if (!common) {
            common = dirs;
            continue;
        }
        std::size_t same = 0;
        while (same < common->size() && same < dirs.size() && (*common)[same] == dirs[same]) ++same;
        common->resize(same);
    }
    return common ? *common : std::vector<std::string_view>{};
}

class Names {
  public:
    Names(const std::vector<Collector::State::Name>& names, const Folder* folder);
    const NameView& operator[](std::uint32_t id) const { return views_[id]; }

  private:
    NameView view(const Collector::State::Name& n, const std::vector<std::string_view>& root);
    bool inPath(const std::vector<std::string_view>& dirs) const;
    const Folder* folder_;
    // Some full path lies in the folder's own path: the server's paths are the folder's, and
    // one that does not lie there is elsewhere (else the folder may be a copy of the root).
    bool pathsKnown_ = false;
    std::vector<std::string> sorted_;               // the folder's files in byte order
    std::map<std::string, std::string> lowerCase_;  // the folder's files by their lower case
    std::vector<NameView> views_;
};

Names::Names(const std::vector<Collector::State::Name>& names, const Folder* folder)
    : folder_(folder) {
    if (folder) {
        sorted_ = folder->files;
        std::sort(sorted_.begin(), sorted_.end());
        for (const std::string& f : sorted_) lowerCase_.try_emplace(lowered(f), f);
    }
    const auto root = commonRoot(names);
    for (const auto& n : names) pathsKnown_ = pathsKnown_ || (n.fullPath && inPath(folders(n.raw)));
    views_.reserve(names.size());
    for (const auto& n : names) views_.push_back(view(n, root));
}

// A name whose folders are the last ones of the folder's path lies in the folder.
bool Names::inPath(const std::vector<std::string_view>& dirs) const {
    if (!folder_) return false;
    const auto& path = folder_->path;
    return dirs.size() <= path.size() &&
           std::equal(dirs.begin(), dirs.end(),
                      path.end() - static_cast<std::ptrdiff_t>(dirs.size()));
}

NameView Names::view(const Collector::State::Name& n, const std::vector<std::string_view>& root) {
    NameView v;
    const std::vector<std::string_view> dirs = folders(n.raw);
    const std::string_view base = baseName(n.raw);
    if (inPath(dirs)) {
        v.shown = base;
        v.place = v.shown;
    } else if (n.fullPath) {
        v.shown = n.raw.substr(std::min(n.raw.size(), [&] {
            std::size_t skip = 0;
            for (std::string_view r : root) skip += r.size() + 1;
            return skip;
        }()));
        if (folder_ && !pathsKnown_ && v.shown.find('/') == std::string::npos) v.place = v.shown;
    } else {
        v.shown = n.raw;
    }
    if (!v.place) return v;
    if (std::binary_search(sorted_.begin(), sorted_.end(), *v.place)) {
        v.held = v.place;
    } else if (n.format == Format::Tftpd64) {
        // Windows finds a file in any case of its name.
        const auto it = lowerCase_.find(lowered(*v.place));
        if (it != lowerCase_.end()) v.held = it->second;
    }
    return v;
}

}  // namespace

namespace {

using Folded = Collector::State::Folded;

// A terminal being made, with the log's name of each of its requests.
struct Built {
    Terminal terminal;
    std::vector<std::uint32_t> nameIds;  // of requests[i]
};

Request requestOf(const Folded& f, const Names& names) {
    Request r;
    r.file = names[f.name].shown;
    if (f.asked != kNone) r.asked = names[f.asked].shown;
    r.outcome = f.outcome;
    r.count = f.count;
    r.first = f.first;
    r.last = f.last;
    r.firstLine = f.firstLine;
    r.lastLine = f.lastLine;
    r.inFolder = names[f.name].held;
    return r;
}

// The MAC of the MAC file the terminal asked for first, if it asked for one.
std::string macAskedFirst(const std::vector<Request>& requests) {
    const Request* first = nullptr;
    std::string mac;
    for (const Request& r : requests) {
        const auto m = macOfName(r.asked.empty() ? r.file : r.asked);
        if (m && (!first || earlier(r.first, r.firstLine, first->first, first->firstLine))) {
            first = &r;
            mac = *m;
        }
    }
    return mac;
}

// The requests of one terminal (of one asker or more), folded by file and outcome, by the time
// of the last of each; the file it ended with; its MAC.
Built build(const std::vector<const Folded*>& parts, const Names& names) {
    Built b;
    std::map<std::pair<std::uint32_t, Outcome>, std::size_t> at;
    std::vector<Request> requests;
    for (const Folded* f : parts) {
        const auto [it, added] = at.try_emplace({f->name, f->outcome}, requests.size());
        if (added) {
            requests.push_back(requestOf(*f, names));
            b.nameIds.push_back(f->name);
            continue;
        }
        Request& r = requests[it->second];
        r.count += f->count;
        if (earlier(f->first, f->firstLine, r.first, r.firstLine))
            r.first = f->first, r.firstLine = f->firstLine;
        if (earlier(r.last, r.lastLine, f->last, f->lastLine))
            r.last = f->last, r.lastLine = f->lastLine;
    }
    std::vector<std::size_t> order(requests.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t c) {
        return earlier(requests[a].last, requests[a].lastLine, requests[c].last,
                       requests[c].lastLine);
    });
    std::vector<std::uint32_t> ids;
    for (std::size_t i : order) {
        b.terminal.requests.push_back(std::move(requests[i]));
        ids.push_back(b.nameIds[i]);
        if (b.terminal.requests.back().outcome == Outcome::Served)
            b.terminal.endsWith = b.terminal.requests.size() - 1;
    }
    b.nameIds = std::move(ids);
    b.terminal.mac = macAskedFirst(b.terminal.requests);
    return b;
}

bool terminalOrder(const Built& a, const Built& b) {
    const Terminal& x = a.terminal;
    const Terminal& y = b.terminal;
    if (x.address.empty() != y.address.empty()) return y.address.empty();
    if (x.address.empty()) return x.mac < y.mac;
    const auto p = ipv4(x.address), q = ipv4(y.address);
    if (p && q) return *p < *q;
    if (p || q) return p.has_value();
    return x.address < y.address;
}

}  // namespace

namespace {

// The terminals of the log. Requests the log names no address for are the terminal's whose
// MAC their file names, where exactly one terminal has that MAC; else a terminal known by the
// MAC alone; a file of no MAC ties them to nobody (`untied`).
std::vector<Built> terminalsOf(const Collector::State& s, const Names& names,
                               std::vector<const Folded*>& untied) {
    std::vector<std::vector<const Folded*>> parts(s.askers.size());
    for (const Folded& f : s.folded) parts[f.asker].push_back(&f);
    std::vector<Built> out;
    std::vector<std::vector<const Folded*>> partsOf;
    std::map<std::string, std::vector<std::size_t>> byMac;
    for (std::size_t a = 0; a < s.askers.size(); ++a) {
        if (s.askers[a].address.empty()) continue;
        out.push_back(build(parts[a], names));
        out.back().terminal.address = s.askers[a].address;
        partsOf.push_back(parts[a]);
        if (!out.back().terminal.mac.empty())
            byMac[out.back().terminal.mac].push_back(out.size() - 1);
    }
    for (std::size_t a = 0; a < s.askers.size(); ++a) {
        const Collector::State::Asker& asker = s.askers[a];
        if (!asker.address.empty()) continue;
        if (asker.mac.empty()) {
            untied = parts[a];
            continue;
        }
        const auto it = byMac.find(asker.mac);
        if (it != byMac.end() && it->second.size() == 1) {
            const std::size_t t = it->second.front();
            partsOf[t].insert(partsOf[t].end(), parts[a].begin(), parts[a].end());
            const std::string address = out[t].terminal.address;
            out[t] = build(partsOf[t], names);
            out[t].terminal.address = address;
            continue;
        }
        out.push_back(build(parts[a], names));
        out.back().terminal.mac = asker.mac;
    }
    std::sort(out.begin(), out.end(), terminalOrder);
    return out;
}

// A request for a file that the folder does not hold and that no terminal would ask for: one
// outside the folder, or one named as neither a MAC file nor a computer name's file is.
bool unknownRequest(const NameView& v) {
    if (!v.place) return true;
    if (v.held) return false;
    const fleet::Classified c = fleet::classify(*v.place);
    if (c.kind != fleet::FileKind::Name) return false;
    const std::string_view stem = std::string_view(*v.place).substr(0, v.place->size() - 4);
    return c.badMacName || !fleet::isComputerName(stem);
}

// A terminal that ended with another file than the folder's file for its MAC.
std::optional<Flag> fellBack(const Terminal& t, const Folder& folder) {
    if (t.mac.empty()) return std::nullopt;
    const auto should =
        fleet::resolve(folder.files, t.mac, std::nullopt, std::span(fleet::kTerminalOrder, 1));
    if (!should) return std::nullopt;
    if (t.endsWith) {
        const Request& got = t.requests[*t.endsWith];
        if (macOfFileName(baseName(got.file)) == t.mac) return std::nullopt;
    }
    Flag f;
    f.code = FlagCode::FellBack;
    f.address = t.address;
    f.noAddress = t.address.empty();
    f.mac = t.mac;
    if (t.endsWith && !f.noAddress) f.got = t.requests[*t.endsWith].file;
    f.shouldHave = *should;
    // The spelling it asked for last: the one to compare with the folder's.
    for (auto r = t.requests.rbegin(); r != t.requests.rend(); ++r)
        if (macOfName(r->asked.empty() ? r->file : r->asked) == t.mac) {
            f.asked = r->asked.empty() ? r->file : r->asked;
            break;
        }
    return f;
}

void unknownRequests(const std::string& address, const std::vector<std::uint32_t>& ids,
                     const Names& names, std::vector<Flag>& out) {
    std::set<std::uint32_t> told;
    for (std::uint32_t id : ids) {
        if (!unknownRequest(names[id]) || !told.insert(id).second) continue;
        Flag f;
        f.code = FlagCode::UnknownRequest;
        f.address = address;
        f.file = names[id].shown;
        out.push_back(std::move(f));
    }
}

std::vector<Flag> flagsOf(const std::vector<Built>& built, const Built& untied, const Names& names,
                          const Folder& folder) {
    std::vector<Flag> out, unknown;
    std::set<std::string> served, asked;
    for (std::size_t i = 0; i <= built.size(); ++i) {
        const Built& b = i < built.size() ? built[i] : untied;
        if (i < built.size())
            if (auto f = fellBack(b.terminal, folder)) out.push_back(std::move(*f));
        unknownRequests(b.terminal.address, b.nameIds, names, unknown);
        for (const Request& r : b.terminal.requests) {
            if (!r.inFolder) continue;
            asked.insert(*r.inFolder);
            if (r.outcome == Outcome::Served) served.insert(*r.inFolder);
        }
    }
    out.insert(out.end(), unknown.begin(), unknown.end());
    for (const std::string& file : served) {
        const auto it = folder.findings.find(file);
        if (it == folder.findings.end() || it->second == 0) continue;
        Flag f;
        f.code = FlagCode::ServedWithFindings;
        f.file = file;
        f.count = it->second;
        out.push_back(std::move(f));
    }
    // A log without a request spans no time: it tells nothing of the files nobody asked for
    // (a log of another server, or of a day the terminals stayed off).
    std::vector<std::string> files = folder.files;
    if (built.empty() && untied.terminal.requests.empty()) files.clear();
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        const fleet::Classified c = fleet::classify(file);
        if (c.kind == fleet::FileKind::Common || c.badMacName || asked.count(file)) continue;
        Flag f;
        f.code = FlagCode::NeverFetched;
        f.file = file;
        out.push_back(std::move(f));
    }
    return out;
}

// Each file of the folder with the last request that named it and the flags about it.
std::vector<FileUse> fileUses(const Report& r, const Folder& folder) {
    std::map<std::string, FileUse> uses;
    for (const std::string& file : folder.files) uses[file].file = file;
    std::map<std::string, std::uint64_t> lastLine;
    const auto note = [&](const std::string& address, const Request& q) {
        if (!q.inFolder) return;
        FileUse& u = uses[*q.inFolder];
        if (u.lastAsked && !earlier(*u.lastAsked, lastLine[u.file], q.last, q.lastLine)) return;
        u.lastAsked = q.last;
        lastLine[u.file] = q.lastLine;
        u.lastAddress = address;
        u.lastOutcome = q.outcome;
    };
    for (const Terminal& t : r.terminals)
        for (const Request& q : t.requests) note(t.address, q);
    for (const Request& q : r.untied) note({}, q);
    for (const Flag& f : r.flags) {
        if (f.code == FlagCode::FellBack)
            uses[f.shouldHave].fellBack.push_back({f.address, f.mac, f.got});
        if (f.code == FlagCode::NeverFetched) uses[f.file].neverFetched = true;
        if (f.code == FlagCode::ServedWithFindings) uses[f.file].findings = f.count;
    }
    std::vector<FileUse> out;
    out.reserve(uses.size());
    for (auto& [file, use] : uses) out.push_back(std::move(use));
    return out;
}

}  // namespace

Report Collector::report(const Folder* folder) const {
    const State& s = *s_;
    const Names names(s.names, folder);
    std::vector<const Folded*> untiedParts;
    std::vector<Built> built = terminalsOf(s, names, untiedParts);
    const Built untied = build(untiedParts, names);
    Report r;
    r.first = s.first;
    r.last = s.last;
    r.requests = s.requests;
    if (folder) r.flags = flagsOf(built, untied, names, *folder);
    for (Built& b : built) r.terminals.push_back(std::move(b.terminal));
    r.untied = untied.terminal.requests;
    if (folder) r.files = fileUses(r, *folder);
    return r;
}

}  // namespace orbex::fetched
