// Every question the windows put to the user goes through here: message boxes, file and folder
// choices, and the program's own modal dialogs. The program shows the real dialogs; a test
// installs a Script that answers them at once, with no dialog waiting on an event loop.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class QDialog;
class QFileDialog;
class QWidget;

namespace prompts {

enum class Icon { Information, Warning, Critical };

// A message box with an OK button, owned by `owner`.
void message(QWidget* owner, Icon icon, const QString& caption, const QString& text);
inline void inform(QWidget* owner, const QString& caption, const QString& text) {
    message(owner, Icon::Information, caption, text);
}
inline void warn(QWidget* owner, const QString& caption, const QString& text) {
    message(owner, Icon::Warning, caption, text);
}

// A question with one button for each of `buttons`, the first the default: the index of the
// button chosen, or -1 when the box is closed without a choice.
int ask(QWidget* owner, const QString& caption, const QString& text, const QStringList& buttons);

// The file that the user picks in `dialog` (an open or a save dialog of the program); empty
// when cancelled. The working directory is kept.
QString filePath(QFileDialog* dialog);
// A folder chosen by the user; empty when cancelled.
QString folder(QWidget* owner, const QString& caption, const QString& start);

// Runs one of the program's own dialogs modally; its result (QDialog::Accepted or Rejected).
int exec(QDialog* dialog);

// The scripted answers of a test. While one exists, nothing above shows a real dialog:
// messages are recorded, paths and dialogs are answered from the queues in order.
class Script {
  public:
    Script();
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // The next filePath() or folder() answer; an empty text cancels. A filePath() with no path
    // queued runs the next dialog act on the real file dialog instead and answers its choice.
    Script& path(const QString& answer);
    // The next exec(): `act` runs with the dialog shown and may fill it and accept it (or open
    // further prompts); a dialog still open afterwards is rejected.
    Script& dialog(std::function<void(QDialog*)> act);
    // The next ask() answer: the index of a button, or -1 (the box closed).
    Script& answer(int button);

    // Every message as "caption | text | owner's objectName | icon" (information, warning,
    // critical, or question for ask()), in order.
    QStringList messages;
    // What came without a queued answer: "path: CAPTION", "dialog: OBJECTNAME" or
    // "question: CAPTION"; each is answered as cancelled.
    QStringList unexpected;
    // The object names of the dialogs that were run, in order.
    QStringList dialogs;

  private:
    friend void message(QWidget*, Icon, const QString&, const QString&);
    friend QString filePath(QFileDialog*);
    friend QString folder(QWidget*, const QString&, const QString&);
    friend int exec(QDialog*);
    friend int ask(QWidget*, const QString&, const QString&, const QStringList&);
    std::deque<QString> paths_;
    std::deque<std::function<void(QDialog*)>> acts_;
    std::deque<int> answers_;
};

}  // namespace prompts
