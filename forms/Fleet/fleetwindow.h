// The fleet window: every configuration file of a TFTP folder in one table, with its findings
// and the values that depart from the common file; which file a terminal loads; bulk edits,
// import and export, each shown before anything is written. The files are read and written by
// the model's fleet layer only.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QFileSystemWatcher>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "model/fleet.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QToolButton;
class QGridLayout;
class QComboBox;
class QThread;
class TSetup;

// The rows of the table: one record of the fleet layer each, with its findings (its own and
// those across files), in file order.
class FleetModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { File, Kind, Mac, Name, Ip, Findings, Keys };
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
    // Whether a cell of the row shows `folded` (case-folded, see QString::toCaseFolded). The
    // row's shown texts are folded once and kept until the row changes.
    bool shows(int row, const QString& folded) const;
    // The cell's shown text for sorting by its column, kept until the row changes.
    const QString& sortText(int row, int column) const;

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
    // Findings across files, and the common file's values; true when those values changed.
    // Rows whose findings change are marked in `changed`.
    bool crossCheck(std::vector<bool>* changed = nullptr);
    std::optional<orbex::Id> keyOf(int column) const;
    int indexOf(const std::string& file) const;      // -1: no such row
    QString text(const Row& row, int column) const;  // the cell as shown

    void finishLoad(std::vector<Row> rows);

    QString dir_;
    QThread* reader_ = nullptr;
    std::vector<Row> rows_;
    std::vector<orbex::Id> keys_;
    bool hasCommon_ = false;
    orbex::fleet::Settings common_;
};

// The table as shown: sorted by a column, filtered by a text any cell of the row shows,
// regardless of case.
class FleetProxy : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    explicit FleetProxy(FleetModel* model, QObject* parent = nullptr);
    void setSearch(const QString& text);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    FleetModel* model_;
    QString search_;  // case-folded
};

// Chosen parameters set or unset, each with the control and value table of its row in the
// main window; a control left "По умолчанию" makes the parameter unset.
class FleetEditor : public QDialog {
    Q_OBJECT
  public:
    explicit FleetEditor(QWidget* parent);
    void clear();
    void addKey(orbex::Id id);
    std::vector<orbex::Change> changes() const;

  private:
    QComboBox* keyList_ = nullptr;
    QGridLayout* rows_ = nullptr;
    QWidget* rowsBox_ = nullptr;
    std::vector<std::pair<orbex::Id, QWidget*>> controls_;
};

// What a bulk edit or an import would write, before it is written.
class FleetPreview : public QDialog {
    Q_OBJECT
  public:
    explicit FleetPreview(QWidget* parent);
    void show(const QString& summary, const QString& text, bool writable);
    QString text() const;

  private:
    QLabel* summary_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* write_ = nullptr;
};

class TFleet : public QWidget {
    Q_OBJECT
  public:
    explicit TFleet(TSetup& setup, QWidget* parent = nullptr);

    // Shows the folder's files; false (after the error box) when it cannot be read.
    bool openFolder(const QString& dir);
    FleetModel* model() const { return model_; }
    QTableView* grid() const { return FleetGrid; }
    // False while files are still to be watched (a batch at a time) or looked at again.
    bool settled() const { return !watchMore_.isActive() && !refresh_.isActive(); }
    // The files of the selected rows, in table order.
    std::vector<std::string> selectedFiles() const;

  public slots:
    void fileSaved(const QString& path);  // a file written elsewhere in the program
    void FleetWhichClick();
    void FleetEditClick();
    void FleetImportClick();
    void FleetExportClick();
    void FleetGridDblClick(const QModelIndex& index);

  private:
    void watchFiles();
    void watchSome();
    void fileChanged(const QString& path);
    void refreshNow();
    void updateStatus();
    void buildColumnMenu();
    void selectFile(const QString& file);
    QString pathOf(const std::string& file) const;

    TSetup& setup_;
    FleetModel* model_ = nullptr;
    FleetProxy* proxy_ = nullptr;
    QTableView* FleetGrid = nullptr;
    QLineEdit* FleetFilter = nullptr;
    QLineEdit* FleetWhich = nullptr;
    QLabel* FleetAnswer = nullptr;
    QLabel* FleetStatus = nullptr;
    QToolButton* FleetColumns = nullptr;
    QPushButton* FleetExportButton = nullptr;  // FleetExport: not while the folder is read
    FleetEditor* editor_ = nullptr;
    FleetPreview* preview_ = nullptr;
    QFileDialog* importDialog_ = nullptr;
    QFileDialog* exportDialog_ = nullptr;
    QFileSystemWatcher watcher_;                     // the folder
    std::vector<QFileSystemWatcher*> fileWatchers_;  // its files, children of the window
    QTimer refresh_;
    QTimer watchMore_;
    QStringList unwatched_;
    QSet<QString> dirty_;
};
