// What the window tests share: answering modal windows, and the state of the main window's
// controls read straight from the widgets.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

#include "Conf/setup.h"
#include "catalogue.h"

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// A message box as "caption | text | owner | icon".
inline QString describe(const QMessageBox* box) {
    static const char* icons[] = {"none", "information", "warning", "critical", "question"};
    return QStringList{box->windowTitle(), box->text(),
                       box->parentWidget() ? box->parentWidget()->objectName() : QString(),
                       icons[box->icon()]}
        .join(" | ");
}

// Answers the modal windows that the code under test opens with exec(). Message boxes are
// recorded and closed with their accepting button; any other dialog gets the next queued
// action (run from the event loop, so that it may open dialogs of its own), or is recorded
// and rejected when none is queued.
class Modals {
  public:
    using Act = std::function<void(QDialog*)>;
    Modals() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }
    Modals& then(Act act) {
        queue_.push_back(std::move(act));
        return *this;
    }
    QStringList boxes;       // every message box, in order, described
    QStringList dialogs;     // object names of the other dialogs, in order
    QStringList unexpected;  // dialogs that came without a queued action

  private:
    void poll() {
        auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!w || !w->isVisible() || busy_.contains(w)) return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            boxes << describe(box);
            QAbstractButton* button = box->buttons().value(0);
            for (QAbstractButton* b : box->buttons()) {
                const auto role = box->buttonRole(b);
                if (role == QMessageBox::AcceptRole || role == QMessageBox::YesRole) button = b;
            }
            button->click();
            return;
        }
        dialogs << w->objectName();
        busy_.append(w);
        const QPointer<QDialog> dialog(w);
        Act act;
        if (!queue_.empty()) {
            act = std::move(queue_.front());
            queue_.pop_front();
        } else {
            unexpected << w->objectName();
            act = [](QDialog* d) { d->reject(); };
        }
        QTimer::singleShot(0, w, [this, dialog, act] {
            act(dialog.data());
            busy_.removeAll(dialog);
        });
    }

    QTimer timer_;
    std::deque<Act> queue_;
    QList<QPointer<QDialog>> busy_;
};

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
