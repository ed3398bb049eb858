// The main window: one control per parameter, named as its key. The controls are the
// configuration; the window is the store that reading, the review and writing work on.
#pragma once

#include <QMainWindow>

#include "forms/Conf/controlstore.h"
#include "forms/Conf/history.h"
#include "help/Cmsdnhelp/cmsdnhelp.h"

class QAction;
class QComboBox;
class QFileDialog;
class QGridLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QToolButton;
class Tdial;
class TSV;
class TAboutBox;
class Tcoms;
class TFleet;
class EditorAids;
class StatusLine;
class DiskCopy;
class PageRows;

class TSetup : public QMainWindow, public ControlStore, private History::Window {
    Q_OBJECT
  public:
    TSetup();
    ~TSetup() override;

    // The four dialogs, each made at its first use: building them would slow down every start.
    Tdial* dial();
    TSV* SV();
    TAboutBox* AboutBox();
    Tcoms* coms();

    // The store over the controls: selecting an item runs the list's rule, as the user's
    // choice does; every parameter unset as its "D" does, disabled rows included.
    void setItem(orbex::Id id, int item) override;
    void ResetAll() override;

    bool resetInProgress() const { return ResetInProgress; }
    // The window starts with the rows of its first page alone; the other pages' rows are made
    // at their first need: a tab chosen, or any use of a control (an open, the review, a
    // typical configuration...). The window is then as if every row had been made at once.
    // control(id) makes them first; madeControl(id) is nullptr for a row not yet made, which
    // holds the unset state.
    void completePages() const;
    bool pagesComplete() const { return complete_; }
    EditorAids* aids() const { return aids_; }
    StatusLine* status() const { return status_; }
    // The shown file as it is on disk, watched for other programs' changes.
    DiskCopy* disk() const { return disk_; }
    QLabel* banner() const { return StaticText2; }
    // The steps that "Отменить" and "Повторить" go through.
    History* history() const { return history_; }

    // Reads a configuration file into the window; false (after the error box) when it cannot
    // be read, and then nothing has changed.
    bool openFile(const QString& path);
    QFileDialog* openDialog();  // OpenD
    // The fleet window over the folder, made at its first use, shown and raised.
    TFleet* showFleet(const QString& dir);
    TFleet* fleet() const { return fleet_; }

  signals:
    void fileSaved(const QString& path);  // after a successful save, the target's path

  public slots:
    void FormCreate();
    void SpeedButton1Click(QObject* sender);
    void Button1Click();          // save
    void Button2Click();          // exit
    void Button3Click();          // review
    void Button4Click();          // open
    void Button5Click();          // every parameter unset
    void Button6Click(int port);  // the port dialog of a port, by its number
    void N10Click();              // help
    void N12Click();              // about
    void N14Click();              // save as
    void N16Click();              // new
    // The typical configurations of the menu, each applied as orbcfg-cli preset applies it.
    void N19Click();                 // weak
    void N20Click();                 // traffic
    void N21Click();                 // fast
    void N31Click();                 // comfort
    void N51Click();                 // print-server
    void Windows2000Server1Click();  // windows2000
    void N23Click();                 // the web site
    void N24Click();                 // the fleet of a folder
    void N26Click();                 // undo
    void N27Click();                 // redo
    void N28Click();                 // the focused parameter unset
    void DHCPClick();
    void COMChange();
    void PRINTERChange();
    void SOUNDClick();
    void SCARDClick();
    void TabSheet7Enter();
    void TabSheet7Exit();
    void StaticText2DblClick();
    void BuildReviewTable();
    // The shown file changed on disk, was removed, or is back as the editor knows it.
    void diskStateChanged();

  protected:
    QWidget* controlOf(orbex::Id id) const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    static constexpr const char* kNewFile = "Новый файл";  // the banner without a file

    // The rows of one page, each control ready as the window's start leaves it: lists filled,
    // every parameter unset, watched by the aids and the status line.
    void makeRows(std::size_t page);
    void makeRemainingPages();
    void followRule(const orbex::Param& p, QWidget* control);
    void setTabOrder();
    void showMadeRows(int page);
    void fitScreen(QSize needed);
    void focusChanged(QWidget* old, QWidget* now);
    void showFocused(QWidget* now);
    void makeMakerPanel();
    void buildButtons();
    void buildMenu();
    void buildConfigMenu();
    QMenu* addMenu(QMenu* parent, const char* name, const QString& caption);
    QAction* menuItem(QMenu* m, const char* name, const QString& caption, const QString& shortcut,
                      void (TSetup::*slot)());
    void applyRule(orbex::Id governor);
    void applyPreset(std::string_view name);
    void clearFileName();
    void runChangeHandler(orbex::Id id);
    void mclick(QLabel* label);
    // The "D" of a row: its parameter unset, unless its row is disabled.
    void unsetParam(orbex::Id id);
    // The same as a step of its own, as a "D" click or Ctrl+Shift+D makes it.
    void unsetStep(orbex::Id id);
    // The window as the history sees it.
    orbex::MemoryStore shownConfig() const override;
    void copyParam(orbex::Id id, orbex::MemoryStore& to) const override;
    History::FileView fileView() const override;
    bool dropsShown() const override { return dropsShown_; }
    void showStep(const History::Shown& s, bool fileChanged) override;
    // The ignored lines of the shown file as read, while they are what the window shows.
    void showDrops();
    void historyChanged();
    // A made control's changes reported to the history.
    void watchChanges(orbex::Id id, QWidget* control);
    // The window shows another file: its name in the banner, the steps from here on its own.
    void startFile(const QString& name, const QString& path);
    // The controls' values as made so far, every other parameter as held for its row.
    template <class F>
    void madeRowsOnly(F&& f) const;
    void showHelp(const QString& keyword);
    void placePanel();
    // The window's controls made to show `read`, each touched only where it differs; then
    // every rule applied.
    void showConfig(const orbex::MemoryStore& read);
    void showMadeConfig(const orbex::MemoryStore& read);
    // Replaces `target` with `bytes`; when another program changed the shown file since it
    // was read, the user chooses: overwrite, read it again, or keep editing. True when saved.
    enum class Saved { Yes, No, Reloaded };
    Saved replaceTarget(const QString& target, const std::string& bytes);

    TCMSDNHelp help_;
    bool ResetInProgress = false;
    PageRows* rows_ = nullptr;
    bool complete_ = false;  // every page's rows made
    // Rows being made, or the made rows read alone: the controls made so far are all there is.
    mutable bool making_ = false;
    orbex::MemoryStore held_;  // the values of the rows not made yet
    History* history_ = nullptr;
    bool dropsShown_ = false;  // the lines that reading ignored are listed
    QAction* N26 = nullptr;
    QAction* N27 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QLabel* StaticText2 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label35 = nullptr;
    QPushButton* Button1 = nullptr;
    QFileDialog* OpenD = nullptr;
    int currentPage_ = 0;
    Tdial* dial_ = nullptr;
    TSV* SV_ = nullptr;
    TAboutBox* AboutBox_ = nullptr;
    Tcoms* coms_ = nullptr;
    EditorAids* aids_ = nullptr;
    TFleet* fleet_ = nullptr;
    StatusLine* status_ = nullptr;
    DiskCopy* disk_ = nullptr;
    orbex::MemoryStore read_;              // a file as read, before the controls show it
    mutable std::string scratch_, shown_;  // buffers of the read file's and the controls' texts
};
