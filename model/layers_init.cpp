#include <array>
#include <unordered_map>

#include "model/csv.h"
#include "model/fleet_common.h"
#include "model/fleet_rows.h"
#include "model/layers.h"
#include "model/mac.h"

namespace orbex::layers {

using namespace fleet::detail;
using fleet::Refusal;
using fleet::RefusalCode;

namespace {

// The file cell of a name, as a row holds it.
std::string fileCell(std::string_view name) {
    std::string cell;
    csv::appendMarkedField(cell, name);
    return cell;
}

// The records that become rows: each file but default.cfg that a file cell can name, and of the
// MAC files of one MAC the one a terminal loads (its upper-case spelling, else the first).
std::vector<const fleet::Record*> rowsOf(std::span<const fleet::Record> records,
                                         std::vector<Refusal>& leftOut) {
    std::unordered_map<std::string, const fleet::Record*> owner;  // MAC -> its file
    for (const fleet::Record& r : records)
        if (r.name.kind == fleet::FileKind::Mac) {
            auto& o = owner[r.name.mac];
            if (!o || r.file == r.name.mac + ".cfg") o = &r;
        }
    std::vector<const fleet::Record*> rows;
    for (const fleet::Record& r : records) {
        if (r.file == fleet::kCommonFile) continue;
        Refusal why;
        const std::string text = fileCell(r.file);
        csv::Reader cell(text);
        std::span<const std::string_view> fields;
        const bool one = cell.next(fields) && fields.size() == 1;
        const auto named = one ? targetOf(TargetColumn::File, fields[0], why) : std::nullopt;
        if (named != r.file) {
            why.subject = r.file;
            leftOut.push_back(std::move(why));
        } else if (r.name.kind == fleet::FileKind::Mac && owner[r.name.mac] != &r) {
            leftOut.push_back(because(RefusalCode::SameTerminal, r.file, owner[r.name.mac]->file));
        } else {
            rows.push_back(&r);
        }
    }
    return rows;
}

}  // namespace

Initial initialSource(std::span<const fleet::Record> records) {
    static const fleet::Settings kNone;
    const fleet::Settings* base = &kNone;
    for (const fleet::Record& r : records)
        if (r.file == fleet::kCommonFile) base = &r.settings;
    Initial out;
    const std::vector<const fleet::Record*> rows = rowsOf(records, out.leftOut);
    // The rows' departures from default.cfg, and the keys they depart on, in review order.
    std::vector<std::vector<fleet::Difference>> departures;
    departures.reserve(rows.size());
    std::array<int, kKeyCount> column{};
    for (const fleet::Record* r : rows) {
        departures.push_back(fleet::diff(*base, r->settings));
        for (const fleet::Difference& d : departures.back()) column[d.id] = 1;
    }
    std::string& csv = out.devices;
    csv = "file,groups";
    int columns = 0;
    for (Id id : controlOrder()) {
        if (!column[id]) continue;
        column[id] = ++columns;
        csv += ',';
        csv += param(id).key;
    }
    csv += "\r\n";
    std::vector<std::string> cells(static_cast<std::size_t>(columns));
    for (std::size_t k = 0; k < rows.size(); ++k) {
        std::fill(cells.begin(), cells.end(), std::string());
        for (const fleet::Difference& d : departures[k]) {
            std::string& cell = cells[static_cast<std::size_t>(column[d.id] - 1)];
            if (!d.b) {
                cell = kUnsetCell;
            } else if (d.b->empty()) {
                cell = "''";
            } else {
                csv::appendMarkedField(cell, *d.b);
            }
        }
        csv += fileCell(rows[k]->file);
        csv += ',';
        for (const std::string& cell : cells) csv += "," + cell;
        csv += "\r\n";
    }
    // A left-out twin names the row of the file kept.
    for (Refusal& r : out.leftOut)
        for (std::size_t k = 0; k < rows.size() && r.code == RefusalCode::SameTerminal; ++k)
            if (rows[k]->file == r.detail) r.number = static_cast<int>(k) + 2;
    return out;
}

}  // namespace orbex::layers
