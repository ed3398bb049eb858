#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "model/csv.h"
#include "model/fleet_common.h"
#include "model/fleet_rows.h"
#include "model/layers.h"
#include "model/mac.h"
#include "model/text.h"

namespace orbex::layers {

using namespace fleet::detail;
using fleet::Refusal;
using fleet::RefusalCode;

bool isGroupName(std::string_view name) {
    return fleet::isComputerName(name) && name.find_first_of(" \t|") == std::string_view::npos;
}

bool isSource(const std::string& dir) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(pathOf(dir) / pathOf(kDeviceList), ec));
}

bool foldersOverlap(const std::string& a, const std::string& b) {
    const auto full = [](const std::string& dir) {
        std::error_code ec;
        fs::path p = fs::weakly_canonical(fs::absolute(pathOf(dir), ec), ec).lexically_normal();
        return p.has_filename() ? p : p.parent_path();  // no trailing separator
    };
    const fs::path pa = full(a), pb = full(b);
    // Whether one path's parts begin the other's.
    const auto holds = [](const fs::path& outer, const fs::path& inner) {
        auto i = inner.begin();
        for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
            if (i == inner.end() || *o != *i) return false;
        return true;
    };
    return holds(pa, pb) || holds(pb, pa);
}

Layer layerOf(std::string file, std::string name, std::string_view bytes) {
    fleet::Options options;
    options.settings = true;
    fleet::Record r = fleet::recordOf(file, bytes, {}, options);
    Layer layer;
    layer.file = std::move(file);
    layer.name = std::move(name);
    layer.settings = std::move(r.settings);
    layer.reset = std::move(r.reset);
    layer.findings = std::move(r.findings);
    return layer;
}

namespace {

// A row's groups cell: names separated by blanks or "|", the last one winning.
std::vector<std::string_view> groupNames(std::string_view cell) {
    std::vector<std::string_view> names;
    std::size_t at = 0;
    while (at < cell.size()) {
        const std::size_t end = std::min(cell.find_first_of(" \t|", at), cell.size());
        if (end > at) names.push_back(cell.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

// The device list read a record at a time: the header, then each row checked cell by cell.
class DeviceReader {
  public:
    DeviceReader(std::string_view text, Loaded& out, std::size_t keep)
        : out_(out), keep_(keep), reader_(text, kKeyCount + 3) {
        for (std::size_t g = 0; g < out.source.groups.size(); ++g)
            groupAt_.emplace(out.source.groups[g].name, g);
    }
    void run();

  private:
    void refuse(int row, int column, std::string_view header, Refusal why);
    void syntaxError();
    bool readHeader();
    bool headerCell(std::size_t c, std::array<int, kKeyCount>& seen);
    void readRow();
    bool rowTarget(Device& d);
    bool rowGroups(Device& d, std::string_view cell);
    bool rowCells(Device& d);
    std::string_view field(std::size_t c) const {
        return c < fields_.size() ? fields_[c] : std::string_view();
    }

    Loaded& out_;
    std::size_t keep_;
    csv::Reader reader_;
    std::span<const std::string_view> fields_;
    std::unordered_map<std::string, std::size_t> groupAt_;

    std::size_t columns_ = 0;
    std::optional<std::size_t> targetAt_, groupsAt_;
    TargetColumn kind_ = TargetColumn::File;
    std::vector<std::optional<Id>> keyAt_;
    // The terminals of the rows so far: a MAC or a file name -> the row and its file.
    std::unordered_map<std::string, std::pair<int, std::string>> seen_;
};

void DeviceReader::refuse(int row, int column, std::string_view header, Refusal why) {
    if (out_.refusals.size() >= keep_) {
        ++out_.moreRefusals;
        return;
    }
    why.row = row;
    why.column = column;
    why.header = text::printable(header);
    out_.refusals.push_back(std::move(why));
}

// A text that is no CSV is refused for that alone.
void DeviceReader::syntaxError() {
    out_.refusals.clear();
    out_.moreRefusals = 0;
    out_.source.devices.clear();
    refuse(reader_.error()->row, 0, "",
           because(reader_.error()->unclosed ? RefusalCode::UnclosedQuote
                                             : RefusalCode::TextAfterQuote));
}

bool DeviceReader::headerCell(std::size_t c, std::array<int, kKeyCount>& seen) {
    const std::string header(trimmed(fields_[c]));
    const int column = static_cast<int>(c) + 1;
    if (const auto kind = targetColumnOf(header)) {
        if (targetAt_) return refuse(1, column, header, because(RefusalCode::SecondTarget)), false;
        targetAt_ = c;
        kind_ = *kind;
        out_.source.targetHeader = header;
        out_.source.targetColumn = column;
        return true;
    }
    if (lowered(header) == kGroupsHeader) {
        if (groupsAt_) return refuse(1, column, header, because(RefusalCode::SecondGroups)), false;
        groupsAt_ = c;
        return true;
    }
    Refusal why;
    keyAt_[c] = keyColumn(header, column, seen, why);
    if (!keyAt_[c]) refuse(1, column, header, std::move(why));
    return keyAt_[c].has_value();
}

// The header: one target column, at most one groups column, then keys; refused at its first
// bad column.
bool DeviceReader::readHeader() {
    columns_ = fields_.size();
    keyAt_.assign(columns_, std::nullopt);
    std::array<int, kKeyCount> seen{};
    for (std::size_t c = 0; c < columns_; ++c)
        if (!headerCell(c, seen)) return false;
    if (!targetAt_) return refuse(1, 0, "", because(RefusalCode::NoTargetColumn)), false;
    return true;
}

// The row's file, and no other row's terminal: a MAC in any spelling is one terminal.
bool DeviceReader::rowTarget(Device& d) {
    const int row = d.row, column = out_.source.targetColumn;
    const std::string& header = out_.source.targetHeader;
    Refusal why;
    auto file = targetOf(kind_, field(*targetAt_), why);
    if (file && *file == fleet::kCommonFile) file.reset(), why = because(RefusalCode::CommonTarget);
    if (!file) return refuse(row, column, header, std::move(why)), false;
    const std::string stem = file->substr(0, file->size() - 4);
    if (!macOfFileName(*file) && groupAt_.contains(stem))
        return refuse(row, column, header, because(RefusalCode::GroupTarget, *file, stem)), false;
    d.mac = macOfFileName(*file).value_or("");
    const std::string key = d.mac.empty() ? "file " + sameFileKey(*file) : "mac " + d.mac;
    if (auto [it, fresh] = seen_.emplace(key, std::pair(row, *file)); !fresh) {
        const auto& [other, otherFile] = it->second;
        refuse(row, column, header,
               sameFileKey(otherFile) == sameFileKey(*file)
                   ? because(RefusalCode::SameTarget, *file, {}, other)
                   : because(RefusalCode::SameTerminal, *file, otherFile, other));
        return false;
    }
    d.file = std::move(*file);
    return true;
}

bool DeviceReader::rowGroups(Device& d, std::string_view cell) {
    const int column = static_cast<int>(*groupsAt_) + 1;
    const std::string header(trimmed(field(*groupsAt_)));
    bool good = true;
    for (const std::string_view name : groupNames(csv::withoutTextMark(cell))) {
        const std::string printable = text::printable(name);
        const auto it = groupAt_.find(std::string(name));
        if (!isGroupName(name)) {
            refuse(d.row, column, "groups", because(RefusalCode::NotGroupName, printable));
        } else if (it == groupAt_.end()) {
            refuse(d.row, column, "groups", because(RefusalCode::UnknownGroup, printable));
        } else if (std::find(d.groups.begin(), d.groups.end(), it->second) != d.groups.end()) {
            refuse(d.row, column, "groups", because(RefusalCode::GroupTwice, printable));
        } else {
            d.groups.push_back(it->second);
            continue;
        }
        good = false;
    }
    return good;
}

// The key cells: empty inherits, "-" unsets, '' is the empty text, any other value as `set`
// takes it.
bool DeviceReader::rowCells(Device& d) {
    bool good = true;
    for (std::size_t c = 0; c < fields_.size() && c < columns_; ++c) {
        if (!keyAt_[c] || fields_[c].empty()) continue;
        const Param& p = param(*keyAt_[c]);
        const int column = static_cast<int>(c) + 1;
        Cell cell{*keyAt_[c], std::nullopt, column};
        ValueRefusal why;
        if (fields_[c] == kUnsetCell) {
            why = unsetRefusalOf(p);
        } else {
            const std::string_view value = cellValue(fields_[c]);
            why = valueRefusal(p, value);
            cell.value = std::string(value);
        }
        if (why) {
            refuse(d.row, column, p.key, badValue(p.key, std::move(why)));
            good = false;
        } else {
            d.cells.push_back(std::move(cell));
        }
    }
    return good;
}

void DeviceReader::readRow() {
    if (reader_.filledBeyond() == 0 &&
        std::all_of(fields_.begin(), fields_.end(), [](std::string_view s) { return s.empty(); }))
        return;
    Device d;
    d.row = reader_.row();
    bool good = true;
    for (std::size_t c = columns_; c < fields_.size() && good; ++c)
        if (!fields_[c].empty())
            refuse(d.row, static_cast<int>(c) + 1, "", because(RefusalCode::BeyondLastColumn)),
                good = false;
    if (good && reader_.filledBeyond() > 0) {
        refuse(d.row, static_cast<int>(reader_.filledBeyond()), "",
               because(RefusalCode::BeyondLastColumn));
        good = false;
    }
    good = rowTarget(d) && good;
    if (groupsAt_) good = rowGroups(d, field(*groupsAt_)) && good;
    good = rowCells(d) && good;
    if (good) out_.source.devices.push_back(std::move(d));
}

void DeviceReader::run() {
    if (!reader_.next(fields_)) {
        if (reader_.error()) return syntaxError();
        return refuse(0, 0, "", because(RefusalCode::NoHeader));
    }
    if (!readHeader()) {
        while (reader_.next(fields_)) {
        }
        if (reader_.error()) syntaxError();
        return;
    }
    while (reader_.next(fields_)) readRow();
    if (reader_.error()) syntaxError();
}

// The refusal of a file of the source that cannot be read.
Refusal unreadable(std::string file, std::string reason) {
    return because(RefusalCode::CannotRead, std::move(file), std::move(reason));
}

// The groups' files, by name: each .cfg of groups/ is a group; one that is no file, or whose
// name is no group name, is refused.
void readGroups(const fs::path& root, const fleet::ReadFile& read, Loaded& out) {
    const fs::path folder = root / pathOf(kGroupFolder);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(folder, ec))) return;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = utf8Of(it->path().filename());
        if (name.size() > 4 && name.ends_with(".cfg")) names.push_back(name);
    }
    if (ec) {
        out.refusals.push_back(because(RefusalCode::CannotList, "groups", ec.message()));
        return;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string file = std::string(kGroupFolder) + "/" + name;
        const std::string stem = name.substr(0, name.size() - 4);
        std::string why;
        if (!isGroupName(stem)) {
            out.refusals.push_back(
                because(RefusalCode::NotGroupName, text::printable(stem), text::escapedName(file)));
        } else if (auto bytes = read(inFolder(root, file), why)) {
            out.source.groups.push_back(layerOf(file, stem, *bytes));
        } else {
            out.refusals.push_back(unreadable(text::escapedName(file), why));
        }
    }
}

}  // namespace

Loaded readDevices(std::string_view csv, std::optional<Layer> common, std::vector<Layer> groups,
                   std::size_t keep) {
    Loaded out;
    out.source.common = std::move(common);
    out.source.groups = std::move(groups);
    DeviceReader(csv, out, keep).run();
    return out;
}

Loaded loadSource(const std::string& dir, const fleet::ReadFile& read, std::size_t keep) {
    Loaded out;
    const fs::path root = pathOf(dir);
    std::error_code ec;
    std::string why;
    const auto list = read(inFolder(root, std::string(kDeviceList)), why);
    if (!list) {
        out.refusals.push_back(fs::exists(fs::symlink_status(root / pathOf(kDeviceList), ec))
                                   ? unreadable(std::string(kDeviceList), why)
                                   : because(RefusalCode::NoDeviceList, text::printable(dir)));
        return out;
    }
    const fs::path common = root / pathOf(fleet::kCommonFile);
    if (fs::exists(fs::symlink_status(common, ec))) {
        if (auto bytes = read(utf8Of(common), why)) {
            out.source.common = layerOf(std::string(fleet::kCommonFile), {}, *bytes);
        } else {
            out.refusals.push_back(unreadable(std::string(fleet::kCommonFile), why));
        }
    }
    readGroups(root, read, out);
    if (!out.refusals.empty()) return out;
    return readDevices(*list, std::move(out.source.common), std::move(out.source.groups), keep);
}

}  // namespace orbex::layers
