// The file the editor shows, as it is on disk: the bytes last read from it or written to it,
// and a watch that tells when another program changes or removes it meanwhile.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <string>

#include "fileio/fileio.h"

class DiskCopy : public QObject {
    Q_OBJECT
  public:
    enum class State { Same, Changed, Removed };

    explicit DiskCopy(QObject* parent);

    // After an open or a save: the file `path` holds `bytes`.
    void set(const QString& path, std::string bytes);
    // After "Новый": no file is shown.
    void clear();
    const QString& path() const { return path_; }
    State state() const { return state_; }

    // What a replace of `target` must find there: the bytes known when `target` is the file
    // shown (a change or removal by another program is then never overwritten unasked);
    // anything for another file, which the user chose to write.
    orbex::fileio::Expected expectFor(const QString& target) const;

    // Reads the file again; a state that differs from the last one is signalled.
    void check();

  signals:
    void stateChanged(DiskCopy::State state);

  private:
    void watch();

    QFileSystemWatcher* watcher_ = nullptr;  // made with the first file
    QTimer settle_;                          // a burst of events is checked once
    QTimer poll_;                            // folders on a network share send no events
    QString path_;
    std::string known_;                // what the editor read or wrote
    std::optional<std::string> seen_;  // what the last check found that differs from it
    State state_ = State::Same;
};
