// What the fleet window knows of changes to its folder: the folder's entries and each file
// watched, and the files to read again.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <string>
#include <vector>

// Watches a folder and its files. Bursts of changes (a copy of many files, an editor's save
// through a temporary file) give one `refreshDue`, shortly after the last; the files changed
// meanwhile are taken with `takeDirty`.
class FolderWatcher : public QObject {
    Q_OBJECT
  public:
    explicit FolderWatcher(QObject* parent = nullptr);

    // Drops every watch and the files to read again, and watches `dir`'s entries. Its files
    // are watched by `watchFiles`.
    void watchFolder(const QString& dir);
    // Watches those of the folder's files that are not yet watched (a file replaced by a rename
    // loses its watch), a few hundred at a time between other events.
    void watchFiles(const std::vector<std::string>& files);
    // A file of the folder to be read again whatever its time and size.
    void markDirty(const QString& file) { dirty_.insert(file); }
    QSet<QString> takeDirty() { return std::exchange(dirty_, {}); }
    // `refreshDue` shortly, once for any number of calls meanwhile.
    void refreshSoon() { refresh_.start(); }
    // False while files are still to be watched or a refresh is due.
    bool settled() const { return !watchMore_.isActive() && !refresh_.isActive(); }

  signals:
    void refreshDue();

  private:
    void watchSome();
    void fileChanged(const QString& path);

    QString dir_;
    QFileSystemWatcher folder_;
    std::vector<QFileSystemWatcher*> fileWatchers_;  // children of this object
    QTimer refresh_;
    QTimer watchMore_;
    QStringList unwatched_;
    QSet<QString> dirty_;
};
