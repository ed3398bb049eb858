#include "forms/Fleet/folderwatcher.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "forms/qtext.h"

FolderWatcher::FolderWatcher(QObject* parent) : QObject(parent) {
    refresh_.setSingleShot(true);
    refresh_.setInterval(150);
    connect(&refresh_, &QTimer::timeout, this, &FolderWatcher::refreshDue);
    // Between batches of watches the table is painted and takes input.
    watchMore_.setInterval(10);
    connect(&watchMore_, &QTimer::timeout, this, &FolderWatcher::watchSome);
    connect(&folder_, &QFileSystemWatcher::directoryChanged, this, [this] { refresh_.start(); });
}

void FolderWatcher::watchFolder(const QString& dir) {
    dir_ = dir;
    dirty_.clear();
    qDeleteAll(std::exchange(fileWatchers_, {}));
    if (!folder_.directories().isEmpty()) folder_.removePaths(folder_.directories());
    folder_.addPath(dir);
    unwatched_.clear();
}

void FolderWatcher::fileChanged(const QString& path) {
    dirty_.insert(QFileInfo(path).fileName());
    refresh_.start();
}

// A file written in place changes no folder entry: each file is watched too. Watching costs
// some time per file, so a large folder is watched a few hundred files at a time.
void FolderWatcher::watchFiles(const std::vector<std::string>& files) {
    QSet<QString> watched;
    for (const QFileSystemWatcher* w : fileWatchers_)
        for (const QString& p : w->files()) watched.insert(p);
    unwatched_.clear();
    const QDir folder(dir_);
    for (const std::string& f : files)
        if (const QString p = folder.filePath(qs(f)); !watched.contains(p)) unwatched_ << p;
    if (!unwatched_.isEmpty()) watchMore_.start();
}

void FolderWatcher::watchSome() {
    constexpr qsizetype kAtOnce = 500;
    const QStringList some = unwatched_.mid(0, kAtOnce);
    unwatched_.remove(0, std::min(kAtOnce, unwatched_.size()));
    // A watcher looks through all its files for each one added: a thousand files to each
    // keeps that short, a bounded number of watchers keeps to the system's limit on them.
    constexpr qsizetype kEach = 1000;
    constexpr std::size_t kWatchers = 32;
    for (qsizetype done = 0; done < some.size();) {
        QFileSystemWatcher* w = nullptr;
        for (QFileSystemWatcher* have : fileWatchers_)
            if (!w || have->files().size() < w->files().size()) w = have;
        if (!w || (w->files().size() >= kEach && fileWatchers_.size() < kWatchers)) {
            w = fileWatchers_.emplace_back(new QFileSystemWatcher(this));
            connect(w, &QFileSystemWatcher::fileChanged, this, &FolderWatcher::fileChanged);
        }
        const qsizetype n =
            std::max<qsizetype>(1, std::min(some.size() - done, kEach - w->files().size()));
        w->addPaths(some.mid(done, n));
        done += n;
    }
    if (!unwatched_.isEmpty()) return;
    watchMore_.stop();
    // A file written after it was last looked at and before its watch began is seen now.
    refresh_.start();
}
