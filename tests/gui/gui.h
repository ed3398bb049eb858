// What the window tests share: answering prompts, and the state of the main window's
// controls read straight from the widgets.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <functional>

#include "forms/Conf/setup.h"
#include "forms/application.h"
#include "forms/prompts.h"
#include "model/catalogue.h"

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// Answers the prompts that the code under test puts: message boxes are recorded as
// "caption | text | owner | icon" and taken as read; each of the program's dialogs (a file
// dialog included) gets the next queued action, run while it is shown, or is recorded and
// rejected when none is queued. Nothing waits for a window to appear.
class Modals {
  public:
    using Act = std::function<void(QDialog*)>;
    Modals& then(Act act) {
        script_.dialog(std::move(act));
        return *this;
    }

    // The next question's answer: the index of its button, -1 for a box closed.
    Modals& answer(int button) {
        script_.answer(button);
        return *this;
    }

  private:
    prompts::Script script_;

  public:
    QStringList& boxes = script_.messages;         // every message box, in order, described
    QStringList& dialogs = script_.dialogs;        // object names of the dialogs, in order
    QStringList& unexpected = script_.unexpected;  // prompts that came without an answer
};

// The editor with the rows of every page made, as they are once a page is chosen or a control
// used: the tests reach controls of any page by name at once.
inline std::unique_ptr<TSetup> wholeEditor() {
    auto setup = orbex::createWindows();
    setup->completePages();
    return setup;
}

// A file's bytes written whole, and read back (empty when it cannot be read).
inline void spit(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
inline QByteArray slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One parameter as its control shows it: the text of an edit, on / off / grayed for a switch,
// the item of a list (and its own text when an editable list holds one); empty when unset.
inline QString stateOf(const TSetup& setup, orbex::Id id) {
    const orbex::Param& p = orbex::param(id);
    QWidget* w = setup.findChild<QWidget*>(qs(p.key));
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text() == qs(orbex::kUnset) ? QString() : edit->text();
    if (auto* list = qobject_cast<QComboBox*>(w)) {
        const int i = list->currentIndex();
        if (list->isEditable() && (i < 0 || list->currentText() != list->itemText(i)))
            return "text:" + list->currentText();
        return i == 0 ? QString() : QString::number(i);
    }
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        const Qt::CheckState s = box->checkState();
        return s == Qt::Checked ? "on" : s == Qt::Unchecked ? "off" : QString();
    }
    return "no control";
}

// Every set parameter as "KEY=state", in the window's order.
inline QStringList setParams(const TSetup& setup) {
    QStringList out;
    for (orbex::Id id : orbex::controlOrder())
        if (const QString s = stateOf(setup, id); !s.isEmpty())
            out << qs(orbex::param(id).key) + "=" + s;
    return out;
}
