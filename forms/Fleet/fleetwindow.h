// The fleet window: every configuration file of a TFTP folder in one table, with its findings
// and the values that depart from the common file; which file a terminal loads; bulk edits,
// import and export, each shown before anything is written. The files are read and written by
// the model's fleet layer only.
#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "forms/Fleet/fleetlog.h"
#include "forms/Fleet/fleetmodel.h"
#include "forms/Fleet/fleetsource.h"
#include "model/store.h"

class FleetEditor;
class FleetPreview;
class FleetProxy;
class FolderWatcher;
class QComboBox;
class QHBoxLayout;
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
    // The layered source the folder is built from; closed while none is open.
    const FleetSource& source() const { return source_; }
    QTableView* grid() const { return FleetGrid; }
    // False while files are still to be watched (a batch at a time) or looked at again.
    bool settled() const;
    // The files of the selected rows, in table order.
    std::vector<std::string> selectedFiles() const;

  signals:
    // A file of the folder to be shown in the main window (a row double-clicked, or Enter).
    void openRequested(const QString& path);
    // The help at a keyword's section (F1): "FLEET", or that of the control in focus.
    void helpRequested(const QString& keyword);

  public slots:
    void fileSaved(const QString& path);  // a file written elsewhere in the program
    void FleetWhichClick();
    void FleetEditClick();
    void FleetImportClick();
    void FleetExportClick();
    void FleetLogClick();
    void FleetOpenSourceClick();
    void FleetBuildClick();
    void FleetGridDblClick(const QModelIndex& index);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void makeGrid();
    void makeFindingFilter();
    // Within the screen's available area, wholly on it.
    void fitToScreen();
    void openCurrent();
    void helpHere();
    // The keys of the columns after the fixed ones, the selected rows kept.
    void setKeys(const std::vector<orbex::Id>& keys);
    // The template of an import: asked for, read and reviewed into `base`; false when the
    // import is cancelled (or the template cannot be read, after the error box). `note` tells
    // what the review reset in it.
    bool askTemplate(std::optional<orbex::MemoryStore>& base, QString& note);
    // A dialog of the window, starting in the fleet's folder.
    QFileDialog* fileDialog(QFileDialog*& dialog, const char* name, const QString& caption,
                            const QString& filters, bool save);
    void makeControls();
    void layOut(QPushButton* which, QPushButton* edit, QPushButton* import);
    // Forgets the log read against another folder.
    void dropLog();
    QHBoxLayout* makeSourceRow();
    // After a source was opened or read again: its layers in the table and the menu.
    void showSource();
    void closeSource();
    void buildLayersMenu();
    // Marks drift and orphans anew; `quiet`: a manifest that cannot be read is not told.
    void surveySource(bool quiet);
    // A saved file of the source: the source read again and the build previewed.
    void sourceSaved();
    // The preview of a build of the source, written once chosen; `saved`: after a layer was
    // saved, only the files that change listed and nothing shown when none does.
    void buildSource(bool saved);
    // Asks before files edited by hand are overwritten; true to go on.
    bool overwriteDrift(const orbex::layers::BuildPlan& plan);
    void writeBuilt(const orbex::layers::BuildPlan& plan, int toWrite);
    QPushButton* makeButton(const char* name, const QString& caption, const QString& hint,
                            void (TFleet::*slot)());
    void refreshNow();
    void updateStatus();
    void buildColumnMenu();
    void selectFile(const QString& file);
    QString pathOf(const std::string& file) const;
    // The preview of a write; true when it may be written and "Записать" was chosen.
    bool confirm(const QString& summary, const QString& text, bool writable,
                 const QString& helpKeyword, const QString& accept = "Записать");
    // Writes a bulk edit's files one after another and says what was written.
    void writeEdit(const orbex::fleet::ImportPlan& plan);
    // The preview of a bulk edit of `files` files; true when "Записать" was chosen.
    bool previewEdit(const orbex::fleet::ImportPlan& plan, std::size_t files);

    FleetModel* model_ = nullptr;
    FleetProxy* proxy_ = nullptr;
    FolderWatcher* watcher_ = nullptr;
    QTableView* FleetGrid = nullptr;
    QLineEdit* FleetFilter = nullptr;
    QComboBox* FleetFindingFilter = nullptr;
    QLineEdit* FleetWhich = nullptr;
    QLabel* FleetAnswer = nullptr;
    QLabel* FleetStatus = nullptr;
    QToolButton* FleetColumns = nullptr;
    QPushButton* FleetExportButton = nullptr;  // FleetExport: not while the folder is read
    QPushButton* FleetLogButton = nullptr;     // FleetLog: not while the folder is read
    QLabel* FleetLogSummary = nullptr;
    FleetLog log_;
    QPushButton* FleetBuildButton = nullptr;   // FleetBuild: only while a source is open
    QPushButton* FleetLayersButton = nullptr;  // FleetLayers: the source's files in a menu
    QLabel* FleetSourceLabel = nullptr;
    FleetSource source_;
    FleetEditor* editor_ = nullptr;
    FleetPreview* preview_ = nullptr;
    QFileDialog* importDialog_ = nullptr;
    QFileDialog* exportDialog_ = nullptr;
    QFileDialog* templateDialog_ = nullptr;
    QFileDialog* logDialog_ = nullptr;
    bool fitted_ = false;
};
