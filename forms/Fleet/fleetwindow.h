// The fleet window: every configuration file of a TFTP folder in one table, with its findings
// and the values that depart from the common file; which file a terminal loads; bulk edits,
// import and export, each shown before anything is written. The files are read and written by
// the model's fleet layer only.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "forms/Fleet/fleetmodel.h"

class FleetEditor;
class FleetPreview;
class FleetProxy;
class FolderWatcher;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;

class TFleet : public QWidget {
    Q_OBJECT
  public:
    explicit TFleet(QWidget* parent = nullptr);

    // Shows the folder's files; false (after the error box) when it cannot be read.
    bool openFolder(const QString& dir);
    FleetModel* model() const { return model_; }
    QTableView* grid() const { return FleetGrid; }
    // False while files are still to be watched (a batch at a time) or looked at again.
    bool settled() const;
    // The files of the selected rows, in table order.
    std::vector<std::string> selectedFiles() const;

  signals:
    // A file of the folder to be shown in the main window (a row double-clicked).
    void openRequested(const QString& path);

  public slots:
    void fileSaved(const QString& path);  // a file written elsewhere in the program
    void FleetWhichClick();
    void FleetEditClick();
    void FleetImportClick();
    void FleetExportClick();
    void FleetGridDblClick(const QModelIndex& index);

  private:
    void makeGrid();
    void makeControls();
    void layOut(QPushButton* which, QPushButton* edit, QPushButton* import);
    QPushButton* makeButton(const char* name, const QString& caption, const QString& hint,
                            void (TFleet::*slot)());
    void refreshNow();
    void updateStatus();
    void buildColumnMenu();
    void selectFile(const QString& file);
    QString pathOf(const std::string& file) const;
    // The preview of a write; true when it may be written and "Записать" was chosen.
    bool confirm(const QString& summary, const QString& text, bool writable);
    // Writes a bulk edit's files one after another and says what was written.
    void writeEdit(const orbex::fleet::ImportPlan& plan);

    FleetModel* model_ = nullptr;
    FleetProxy* proxy_ = nullptr;
    FolderWatcher* watcher_ = nullptr;
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
};
