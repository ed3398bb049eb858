// The main window's status bar: the current file's full path, the lines that the last open
// ignored (which the save drops) with their list, and a marker of unsaved changes. Nothing in
// it is modal.
#pragma once

#include <QObject>
#include <QStringList>
#include <optional>
#include <string_view>

#include "forms/Conf/diskcopy.h"
#include "model/catalogue.h"

class QLabel;
class QTableWidget;
class QToolButton;
class QMainWindow;
class QWidget;
namespace orbex {
class MemoryStore;
}

class StatusLine : public QObject {
    Q_OBJECT
  public:
    // `banner` is the window's StaticText2: its "hint" is the current file's path.
    StatusLine(QMainWindow& window, QLabel* banner);

    // After an open: the ignored lines of `bytes` counted and listed. `read` is what reading
    // made of `bytes`.
    void opened(std::string_view bytes, const orbex::MemoryStore& read);
    // The ignored lines of the file as read; none listed, and no count shown, for a file
    // written since or for no file.
    const QStringList& dropped() const { return rows_; }
    void setDropped(const std::optional<QStringList>& rows);
    // Whether the window holds changes that the file does not.
    void setChanged(bool changed);
    bool changed() const { return changed_; }
    // The shown file as it is on disk: changed or removed by another program, or as read.
    void diskState(DiskCopy::State state);
    // The list of the dropped lines, made at its first showing; nullptr before.
    QWidget* droppedWindow() const { return droppedWindow_; }
    void showDropped();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showPath();
    void fillDropped();

    QMainWindow& window_;
    QLabel* banner_;
    QLabel* StatusPath = nullptr;
    QToolButton* StatusDropped = nullptr;
    QLabel* StatusModified = nullptr;
    QLabel* StatusDisk = nullptr;
    QWidget* droppedWindow_ = nullptr;
    QTableWidget* droppedTable_ = nullptr;
    QStringList rows_;  // "line\tkey\treason" of the last open
    bool changed_ = false;
};
