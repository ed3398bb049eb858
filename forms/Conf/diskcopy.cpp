#include "forms/Conf/diskcopy.h"

#include <QFileInfo>
#include <cerrno>

#include "forms/qtext.h"

using namespace orbex;

namespace {
constexpr int kSettleMs = 150;
constexpr int kPollMs = 2000;
}  // namespace

DiskCopy::DiskCopy(QObject* parent) : QObject(parent) {
    setObjectName("DiskCopy");
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &DiskCopy::check);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &DiskCopy::check);
}

void DiskCopy::set(const QString& path, std::string bytes) {
    path_ = QFileInfo(path).absoluteFilePath();
    known_ = std::move(bytes);
    seen_.reset();
    if (!watcher_) {
        watcher_ = new QFileSystemWatcher(this);
        const auto later = [this] { settle_.start(); };
        connect(watcher_, &QFileSystemWatcher::fileChanged, this, later);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, this, later);
    }
    watch();
    poll_.start();
    if (state_ != State::Same) {
        state_ = State::Same;
        emit stateChanged(state_);
    }
}

void DiskCopy::clear() {
    path_.clear();
    known_.clear();
    seen_.reset();
    poll_.stop();
    settle_.stop();
    if (watcher_) {
        if (!watcher_->files().isEmpty()) watcher_->removePaths(watcher_->files());
        if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
    }
    if (state_ != State::Same) {
        state_ = State::Same;
        emit stateChanged(state_);
    }
}

// The file and its folder: a file replaced by a rename is a new file, which the folder's
// events announce and the watch of the file then follows.
void DiskCopy::watch() {
    const QStringList files = watcher_->files(), dirs = watcher_->directories();
    const QString dir = QFileInfo(path_).absolutePath();
    for (const QString& f : files)
        if (f != path_) watcher_->removePath(f);
    for (const QString& d : dirs)
        if (d != dir) watcher_->removePath(d);
    if (!watcher_->directories().contains(dir)) watcher_->addPath(dir);
    if (!watcher_->files().contains(path_) && QFileInfo::exists(path_)) watcher_->addPath(path_);
}

void DiskCopy::check() {
    if (path_.isEmpty()) return;
    watch();
    fileio::Error error;
    std::optional<std::string> bytes = fileio::readFile(ss(path_), error);
    State now;
    if (bytes) {
        now = *bytes == known_ ? State::Same : State::Changed;
    } else if (error.kind == fileio::Kind::System && error.code == ENOENT) {
        now = State::Removed;
    } else {
        return;  // unreadable for a moment (held open on Windows, say): the next check tells
    }
    // A second change while the first is still shown is a new state too.
    const bool again = now == State::Changed && state_ == State::Changed && seen_ != bytes;
    if (now == state_ && !again) return;
    state_ = now;
    seen_ = now == State::Changed ? std::move(bytes) : std::nullopt;
    emit stateChanged(state_);
}

orbex::fileio::Expected DiskCopy::expectFor(const QString& target) const {
    if (path_.isEmpty() || QFileInfo(target).absoluteFilePath() != path_) return {};
    return fileio::Expected::holding(known_);
}
