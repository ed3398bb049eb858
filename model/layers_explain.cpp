#include <algorithm>

#include "model/fleet_common.h"
#include "model/layers.h"
#include "model/mac.h"

namespace orbex::layers {

using namespace fleet::detail;

namespace {

// One layer's state of one parameter.
struct Entry {
    Id id = 0;
    LayerRef layer;
    const std::string* value = nullptr;  // nullptr: unset there
};

// The states every layer of the device gives (of the one parameter `only`, when it is given),
// grouped by parameter in review order, each parameter's from the top (default.cfg) down.
std::vector<Entry> entriesOf(const Source& source, const Device& d, std::optional<Id> only = {}) {
    std::vector<Entry> entries;
    const auto add = [&](Id id, LayerRef layer, const std::string* value) {
        if (!only || *only == id) entries.push_back({id, layer, value});
    };
    if (source.common)
        for (const fleet::Setting& s : source.common->settings)
            add(s.id, {LayerRef::Kind::Common, 0}, &s.value);
    for (std::size_t g : d.groups)
        for (const fleet::Setting& s : source.groups[g].settings)
            add(s.id, {LayerRef::Kind::Group, g}, &s.value);
    for (const Cell& c : d.cells)
        add(c.id, {LayerRef::Kind::Device, 0}, c.value ? &*c.value : nullptr);
    const auto& rank = reviewRank();
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return rank[a.id] < rank[b.id]; });
    return entries;
}

std::optional<std::string> valueOf(const std::string* value) {
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

}  // namespace

std::vector<Explained> explain(const Source& source, std::size_t device,
                               const fleet::Settings* built) {
    const std::vector<Entry> entries = entriesOf(source, source.devices[device]);
    const auto& rank = reviewRank();
    std::vector<Explained> out;
    std::size_t b = 0;  // the built file's settings, in the same order
    for (std::size_t i = 0, j = 0; i < entries.size(); i = j) {
        while (j < entries.size() && entries[j].id == entries[i].id) ++j;
        const Entry& top = entries[j - 1];
        Explained e;
        e.id = top.id;
        e.layer = top.layer;
        e.value = valueOf(top.value);
        if (built && top.value) {
            while (b < built->size() && rank[(*built)[b].id] < rank[top.id]) ++b;
            if (b < built->size() && (*built)[b].id == top.id) {
                e.value = (*built)[b].value;
            } else {
                e.reset = std::move(e.value);
                e.value.reset();
            }
        }
        for (std::size_t k = j - 1; k-- > i;)
            e.overrides.push_back({entries[k].layer, valueOf(entries[k].value)});
        out.push_back(std::move(e));
    }
    return out;
}

std::optional<std::size_t> findDevice(const Source& source, std::string_view terminal) {
    const auto where = [&](auto&& matches) -> std::optional<std::size_t> {
        for (std::size_t d = 0; d < source.devices.size(); ++d)
            if (matches(source.devices[d])) return d;
        return std::nullopt;
    };
    auto mac = parseMac(terminal);
    if (!mac) mac = macOfFileName(terminal);
    if (mac)
        if (auto d = where([&](const Device& x) { return x.mac == *mac; })) return d;
    const std::string file =
        terminal.ends_with(".cfg") ? std::string(terminal) : std::string(terminal) + ".cfg";
    if (auto d = where([&](const Device& x) { return x.file == file; })) return d;
    // The one device whose file sets that computer name (MNAME), names regardless of case.
    static const Id mname = idOf("MNAME");
    const std::string name = lowered(terminal);
    std::optional<std::size_t> found;
    for (std::size_t d = 0; d < source.devices.size(); ++d) {
        const std::vector<Entry> entries = entriesOf(source, source.devices[d], mname);
        if (entries.empty() || !entries.back().value || lowered(*entries.back().value) != name)
            continue;
        if (found) return std::nullopt;  // two devices: neither is the terminal
        found = d;
    }
    return found;
}

SourceLint lintSource(const Source& source) {
    SourceLint out;
    if (source.common) out.files = source.common->findings;
    for (const Layer& g : source.groups)
        out.files.insert(out.files.end(), g.findings.begin(), g.findings.end());
    const std::size_t first = source.common ? 1 : 0;
    out.built.resize(first + source.devices.size());
    out.rows.assign(out.built.size(), 0);
    fleet::Options options;
    options.findings = false;
    if (source.common)
        out.built[0] = fleet::recordOf(std::string(fleet::kCommonFile), buildCommon(source).bytes,
                                       {}, options);
    std::vector<std::optional<fleet::Refusal>> refused(source.devices.size());
    forEachBuilt(source, [&](std::size_t k, BuiltFile& file) {
        const Device& d = source.devices[k];
        fleet::Record r = fleet::recordOf(d.file, file.bytes, {}, options);
        r.file = d.file + " (row " + std::to_string(d.row) + ")";
        out.built[first + k] = std::move(r);
        out.rows[first + k] = d.row;
        refused[k] = std::move(file.refusal);
    });
    for (auto& r : refused)
        if (r) out.refusals.push_back(std::move(*r));
    out.across = fleet::crossFindings(out.built);
    return out;
}

std::string_view lintCode(fleet::RefusalCode code) {
    using C = fleet::RefusalCode;
    switch (code) {
        case C::NoHeader:
        case C::SecondTarget:
        case C::EmptyHeader:
        case C::NotAKey:
        case C::SameKey:
        case C::NoTargetColumn:
        case C::SecondGroups:
            return "bad-header";
        case C::EmptyTarget:
        case C::TargetBlanks:
        case C::NotMac:
        case C::NotComputerName:
        case C::NotCfgName:
        case C::CommonByName:
        case C::CommonTarget:
        case C::GroupTarget:
            return "bad-target";
        case C::SameTarget:
        case C::SameTerminal:
            return "same-terminal";
        case C::UnknownGroup:
            return "unknown-group";
        case C::NotGroupName:
        case C::GroupTwice:
            return "bad-group";
        case C::BadValue:
            return "bad-value";
        case C::UnclosedQuote:
        case C::TextAfterQuote:
        case C::BeyondLastColumn:
            return "bad-csv";
        default:
            return "unreadable";
    }
}

}  // namespace orbex::layers
