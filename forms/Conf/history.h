// The main window's undo history: each change of the configuration is a step that "Отменить"
// takes back and "Повторить" makes again. A step keeps the whole configuration after it (the
// window's 116 values), so that taking it back cannot miss a value a rule or a reading set; the
// steps are bounded in number. A step that showed another file (an open, "Новый") takes that
// file back with it.
//
// Whether the window holds unsaved changes is not a step's memory: it is the configuration
// compared with the file as last read or written, which a save changes for every step at once.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/store.h"

class History : public QObject {
    Q_OBJECT
  public:
    // The file the window shows: the banner's caption and the save target's path.
    struct FileView {
        QString name, path;
    };
    // What the window shows after a step. `file` is shared by the steps made while that file
    // was shown: a save under a new name renames it for all of them.
    struct Shown {
        orbex::MemoryStore config;
        std::shared_ptr<FileView> file;
        bool dropsShown = false;  // the lines that reading ignored are listed
        QString what;             // the step that led here, for the status bar
        bool operator==(const Shown& o) const {
            return file == o.file && dropsShown == o.dropsShown && config == o.config;
        }
    };
    // A file as the window last read or wrote it.
    struct Record {
        std::string bytes;
        orbex::MemoryStore config;           // the configuration the file holds
        std::optional<QStringList> dropped;  // the lines reading ignored; none after a save
    };
    // What the history needs of its window.
    class Window {
      public:
        virtual ~Window() = default;
        virtual orbex::MemoryStore shownConfig() const = 0;
        // One parameter of the window into `to`.
        virtual void copyParam(orbex::Id id, orbex::MemoryStore& to) const = 0;
        virtual FileView fileView() const = 0;
        virtual bool dropsShown() const = 0;
        // Shows `s`; `fileChanged` when it is another file than the one shown.
        virtual void showStep(const Shown& s, bool fileChanged) = 0;
    };

    static constexpr std::size_t kLimit = 100;  // steps kept

    // Call restart() once the window shows its first state.
    History(Window& window, QObject* parent);

    // A command's changes as one step, described by `what`. Steps nest: the outermost counts.
    class Step {
      public:
        Step(History& history, QString what);
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

      private:
        History& history_;
        QString what_;
    };

    // The window as it is now is the start: nothing to undo.
    void restart();
    // A parameter's control changed outside a command. Typing in one edit makes one step,
    // ended by a change of another parameter, the focus leaving it, or a command; any other
    // change is a step of its own.
    void changed(orbex::Id id, bool typing);
    void endTyping();
    std::optional<orbex::Id> typing() const { return typing_; }
    // Within a command: the window shows another file from now on.
    void startFile();
    // The file `path` as read (its configuration and ignored lines) or as written.
    void read(const QString& path, std::string bytes, orbex::MemoryStore config,
              QStringList dropped);
    void written(const QString& path, std::string bytes, orbex::MemoryStore config);
    const Record* record(const QString& path) const;

    bool canUndo() const;
    bool canRedo() const;
    // The step that "Отменить" or "Повторить" would take; empty when there is none.
    QString undoText() const;
    QString redoText() const;
    // Takes back the last step, or makes again the one taken back: what the status bar says.
    QString undo();
    QString redo();
    // The configuration differs from the shown file's as read or written (from an empty one
    // for a new file).
    bool modified() const;
    std::size_t steps() const { return at_; }

  signals:
    void stateChanged();  // what can be undone, or the unsaved state, may have changed

  private:
    Shown capture() const;
    void sync() const;  // the shown file's view as the banner has it now
    void push(Shown s, const QString& what);
    void commitTyping();
    void restore(std::size_t to);
    void prune();
    static QString fileNote(const Shown& from, const Shown& to);

    Window& window_;
    std::vector<Shown> states_;  // states_[at_] is the window, but for the typing under way
    std::size_t at_ = 0;
    std::shared_ptr<FileView> file_;
    std::optional<orbex::Id> typing_;
    int depth_ = 0;
    bool restoring_ = false;
    QHash<QString, Record> records_;
};
