// What the window tests share: answering prompts, and the state of the main window's
// parameters as its store holds them.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <functional>

#include "forms/Conf/setup.h"
#include "forms/application.h"
#include "forms/prompts.h"
#include "model/catalogue.h"
#include "model/store.h"

// The fleet fixture of tests/data/fleet/terminals with a second file for one MAC, its name in
// small letters ("aa^bb^cc^dd^ee^01.cfg"): a folder of Windows holds one file for both
// spellings, so there the fixture has no twin, one row less and two findings (its duplicate
// MAC) less.
#ifdef Q_OS_WIN
inline constexpr bool kTwin = false;
#else
inline constexpr bool kTwin = true;
#endif
inline constexpr int kFiles = kTwin ? 10 : 9;
inline constexpr int kFlagged = kTwin ? 9 : 7;  // files with findings, and their findings

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

// One parameter as the window's store holds it: the value a file stores for it, but a list's
// item by its number and a list's own text as "text:..."; empty when unset.
inline QString stateOf(const TSetup& setup, orbex::Id id) {
    const orbex::Param& p = orbex::param(id);
    if (p.kind == orbex::Kind::None) return "no control";
    std::string buffer;
    const auto value = orbex::storedValue(setup, id, buffer);
    if (!value) return {};
    if (p.kind != orbex::Kind::Choice) return qs(*value);
    const int item = setup.item(id);
    return item < 0 ? "text:" + qs(*value) : QString::number(item);
}

// Every set parameter as "KEY=state", in the window's order.
inline QStringList setParams(const TSetup& setup) {
    QStringList out;
    for (orbex::Id id : orbex::controlOrder())
        if (const QString s = stateOf(setup, id); !s.isEmpty())
            out << qs(orbex::param(id).key) + "=" + s;
    return out;
}
