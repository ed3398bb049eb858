// The rows of the fleet window's table: every configuration file of a folder, read by the
// model's fleet layer, with its findings and the values that depart from the common file.
#pragma once

#include <QAbstractTableModel>
#include <QSet>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/Fleet/fleetsource.h"
#include "model/fleet.h"

class FleetLog;
class QThread;

// The rows of the table: one record of the fleet layer each, with its findings (its own and
// those across files), in file order.
class FleetModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Groups: a built file's groups while a layered source is open, else empty. Requested,
    // By: the last request of the file in the TFTP server's log, once one is read.
    enum Column { File, Kind, Mac, Name, Ip, Findings, Groups, Requested, By, Keys };
    static constexpr int kSortRole = Qt::UserRole;
    static constexpr int kDepartsRole = Qt::UserRole + 1;  // true: the value is not default.cfg's

    explicit FleetModel(QObject* parent = nullptr);
    ~FleetModel() override;

    // Lists the folder anew, one row per file by its name at once; the files are read by a
    // thread of their own, and `loaded` follows when every row holds what its file sets.
    // False with the reason when the folder cannot be listed.
    bool load(const QString& dir, QString& error);
    bool loading() const { return reader_ != nullptr; }
    // Reads again the files that changed on disk (and `dirty` in any case), adds new ones and
    // drops those gone; the rows in between keep their place.
    void refresh(const QSet<QString>& dirty);

    QString folder() const { return dir_; }
    const orbex::fleet::Record& record(int row) const { return rows_[std::size_t(row)].record; }
    int rowOf(const QString& file) const;  // -1: no such row
    std::vector<std::string> files() const;
    std::vector<orbex::fleet::Record> records() const;
    int withFindings() const;
    // Whether the row has a finding of the code (fleettexts::kFindingCodes), cannot be read
    // (fleettexts::kUnreadable), or, with an empty code, has any finding.
    bool hasFinding(int row, std::string_view code) const;
    // Whether a cell of the row shows `folded` (case-folded, see QString::toCaseFolded). The
    // row's shown texts are folded once and kept until the row changes.
    bool shows(int row, const QString& folded) const;
    // The cell's shown text for sorting by its column, kept until the row changes.
    const QString& sortText(int row, int column) const;

    // The TFTP server's log the columns Requested and By show (none: they are empty); it must
    // outlive the model or be replaced first.
    void setLog(const FleetLog* log);
    // The layered source the folder is built from (none: nullptr), which the model asks of each
    // file's groups, its cells' layers, its drift; `layersChanged` after it changed.
    void setSource(const FleetSource* source);
    void layersChanged();

    // The key columns after the fixed ones, in the order given.
    void setKeys(const std::vector<orbex::Id>& keys);
    const std::vector<orbex::Id>& keys() const { return keys_; }

  signals:
    void loaded();

  public:
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    struct Row {
        orbex::fleet::Record record;
        std::vector<orbex::fleet::Finding> findings;
        qint64 stamp = 0, size = -1;
        mutable QString shown;  // the shown texts, case-folded, one a line; see `folded`
        mutable bool folded = false;
        mutable QString sortText;  // the shown text of the column the table was sorted by
        mutable int sortColumn = -1;
    };
    Row readRow(std::string file) const;
    // Every file of the folder read (on the reader thread), with the time and size each had
    // before: `files` is the folder as it was listed.
    static std::vector<Row> readAll(const QString& dir, const std::vector<std::string>& files);
    // Findings across files, and the common file's values; true when those values changed.
    // Rows whose findings change are marked in `changed`.
    bool crossCheck(std::vector<bool>* changed = nullptr);
    std::optional<orbex::Id> keyOf(int column) const;
    int indexOf(const std::string& file) const;      // -1: no such row
    QString text(const Row& row, int column) const;  // the cell as shown
    int problems(const Row& row) const;              // its findings, and one for a read failure
    QString findingNames(const Row& row) const;      // the short names of its findings
    // The other files of a finding's group, as the finding names them.
    QString othersOf(const Row& row, const orbex::fleet::Finding& f) const;
    // Whether the cell's value departs from the common file's.
    bool departs(const Row& row, int column) const;
    QVariant toolTip(const Row& row, int column) const;
    QString requestedText(const Row& row) const;
    QVariant requestedTip(const Row& row) const;
    // The log's news of the row that is not as it should be: nobody asked for it, or its
    // terminal ended with another file.
    bool logFlagged(const Row& row) const;
    QVariant font(const Row& row, int column) const;
    // What the open source says of the row's file; nullptr: nothing (or no source).
    const FleetSource::FileLayers* layersOf(const Row& row) const;

    void finishLoad(std::vector<Row> rows);

    QString dir_;
    QThread* reader_ = nullptr;
    std::vector<Row> rows_;
    std::vector<orbex::Id> keys_;
    const FleetLog* log_ = nullptr;
    bool hasCommon_ = false;
    orbex::fleet::Settings common_;
    std::vector<orbex::fleet::Group> groups_;  // of the findings across files, by row
    const FleetSource* source_ = nullptr;
};
