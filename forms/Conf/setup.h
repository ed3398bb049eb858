// The main window: one control per parameter, named as its key. The controls are the
// configuration; the window is the store that reading, the review and writing work on.
#pragma once

#include <QCheckBox>
#include <QMainWindow>
#include <vector>

#include "help/Cmsdnhelp/cmsdnhelp.h"
#include "model/store.h"

class QComboBox;
class QFileDialog;
class QGridLayout;
class QLabel;
class QLineEdit;
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

// A switch: the user's click toggles between checked and unchecked only (grayed gives
// checked); the grayed, unset state is reached only from the program.
class SwitchBox : public QCheckBox {
    Q_OBJECT
  public:
    explicit SwitchBox(QWidget* parent = nullptr);

  protected:
    void nextCheckState() override;
};

class TSetup : public QMainWindow, public orbex::Store {
    Q_OBJECT
  public:
    TSetup();
    ~TSetup() override;

    // The four dialogs, each made at its first use: building them would slow down every start.
    Tdial* dial();
    TSV* SV();
    TAboutBox* AboutBox();
    Tcoms* coms();

    // The store over the controls.
    std::string text(orbex::Id id) const override;
    std::string_view textView(orbex::Id id, std::string& buffer) const override;
    void setText(orbex::Id id, std::string_view value) override;
    orbex::Tri check(orbex::Id id) const override;
    void setCheck(orbex::Id id, orbex::Tri state) override;
    int item(orbex::Id id) const override;
    void setItem(orbex::Id id, int item) override;
    void ResetAll() override;

    bool resetInProgress() const { return ResetInProgress; }
    // The control of a key; nullptr for keys without one. The rows of every page are made
    // first, when they are not yet.
    QWidget* control(orbex::Id id) const {
        if (!complete_) completePages();
        return controls_[static_cast<std::size_t>(id)];
    }
    // The control of a key if its row is made; nullptr otherwise. A row not yet made holds
    // the unset state.
    QWidget* madeControl(orbex::Id id) const { return controls_[static_cast<std::size_t>(id)]; }
    // The window starts with the rows of its first page alone; the other pages' rows are made
    // at their first need: a tab chosen, or any use of a control (an open, the review, a
    // typical configuration...). The window is then as if every row had been made at once.
    void completePages() const;
    bool pagesComplete() const { return complete_; }
    EditorAids* aids() const { return aids_; }
    StatusLine* status() const { return status_; }
    // The shown file as it is on disk, watched for other programs' changes.
    DiskCopy* disk() const { return disk_; }
    QLabel* banner() const { return StaticText2; }

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
    void Button1Click();  // save
    void Button2Click();  // exit
    void Button3Click();  // review
    void Button4Click();  // open
    void Button5Click();  // every parameter unset
    void Button6Click();  // the port dialog of the sender's port
    void N10Click();      // help
    void N12Click();      // about
    void N14Click();      // save as
    void N16Click();      // new
    void N19Click();
    void N20Click();
    void N21Click();
    void N31Click();
    void N51Click();
    void Windows2000Server1Click();
    void N23Click();  // the web site
    void N24Click();  // the fleet of a folder
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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void makePages();
    // The rows of one page, each control ready as the window's start leaves it: lists filled,
    // every parameter unset, watched by the aids and the status line.
    void makeRows(std::size_t page);
    void makeRemainingPages();
    void makeRow(const orbex::Param& p);
    QWidget* makeControl(const orbex::Param& p, QWidget* page, QLabel* label);
    QToolButton* makeSpeedButton(QWidget* page, const QString& caption, const orbex::Param& p);
    static std::size_t pageIndex(orbex::Page page);
    void setTabOrder();
    void showMadeRows(int page);
    void makeMakerPanel();
    void buildButtons();
    void buildMenu();
    void applyRule(orbex::Id governor);
    void applyPreset(std::string_view name);
    void clearFileName();
    void runChangeHandler(orbex::Id id);
    void mclick(QLabel* label);
    void mcl(QLineEdit* edit);
    void showHelp(const QString& keyword);
    void placePanel();
    // The window's controls made to show `read`, each touched only where it differs; then
    // every rule applied.
    void showConfig(const orbex::MemoryStore& read);
    // Replaces `target` with `bytes`; when another program changed the shown file since it
    // was read, the user chooses: overwrite, read it again, or keep editing. True when saved.
    enum class Saved { Yes, No, Reloaded };
    Saved replaceTarget(const QString& target, const std::string& bytes);

    TCMSDNHelp help_;
    bool ResetInProgress = false;
    std::vector<QWidget*> controls_;    // by catalogue index; nullptr for keys without a control
    std::vector<QLabel*> labels_;       // the row labels, by catalogue index
    std::vector<QLabel*> plainLabels_;  // labels of their own (underline under the pointer)
    QSize speedButtonSize_;             // the least size of a "?" or "D" button
    QSize helpButtonHint_, defaultButtonHint_;  // the size hints the rows' "?" and "D" share
    std::vector<QGridLayout*> grids_;           // the pages' grids, in page order
    // Each page's widgets that take the focus, with their tab places; empty for a page whose
    // rows are not made yet.
    std::vector<std::vector<std::pair<int, QWidget*>>> tabOrders_;
    bool complete_ = false;  // every page's rows made
    bool making_ = false;    // rows being made: the controls made so far are all there is
    int ports_ = 0;          // "Настроить" buttons made so far
    QTabWidget* PageControl1 = nullptr;
    QLabel* StaticText2 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label35 = nullptr;
    QPushButton* Button1 = nullptr;
    QFileDialog* OpenD = nullptr;
    int portsPage_ = -1;
    int currentPage_ = 0;
    Tdial* dial_ = nullptr;
    TSV* SV_ = nullptr;
    TAboutBox* AboutBox_ = nullptr;
    Tcoms* coms_ = nullptr;
    EditorAids* aids_ = nullptr;
    TFleet* fleet_ = nullptr;
    StatusLine* status_ = nullptr;
    DiskCopy* disk_ = nullptr;
    // A control's text in UTF-8: converted again only when the control's text has changed.
    std::string_view utf8(orbex::Id id) const;
    struct Utf8Text {
        QString seen;  // the control's text when `bytes` were made, shared with the control
        std::string bytes;
    };
    mutable std::vector<Utf8Text> utf8_;  // by catalogue index

    orbex::MemoryStore read_;  // a file as read, before the controls show it
    std::string scratch_;
};
