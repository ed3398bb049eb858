// File dialogs may change the working directory; it is saved when one opens and restored when
// it closes, so that relative names keep meaning the start directory.
#pragma once

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QString>

// Where the open and save dialogs start, when it exists: the terminals' configuration folder.
inline constexpr auto kConfigFolder = "c:\\Rivalto\\Rivalto\\conf";

class KeepWorkingDirectory {
  public:
    KeepWorkingDirectory() : dir_(QDir::currentPath()) {}
    ~KeepWorkingDirectory() { QDir::setCurrent(dir_); }
    KeepWorkingDirectory(const KeepWorkingDirectory&) = delete;
    KeepWorkingDirectory& operator=(const KeepWorkingDirectory&) = delete;

  private:
    QString dir_;
};

// A file dialog starts in the folder of `file` (the file the editor shows), when there is one.
inline void startInFolderOf(QFileDialog* dialog, const QString& file) {
    if (file.isEmpty()) return;
    const QDir folder = QFileInfo(file).absoluteDir();
    if (folder.exists()) dialog->setDirectory(folder);
}
