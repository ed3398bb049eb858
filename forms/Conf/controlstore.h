// The control of a parameter, made alike wherever a parameter is edited (the main window's rows,
// the fleet's bulk edit), and the configuration held by a set of such controls.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "model/store.h"

class QWidget;

namespace controls {

// The edit, list or switch of a parameter, named as its key and showing the unset state: the
// default marker in an edit (selected when the edit is entered, so that typing replaces it),
// the first item of a list, a grayed switch. An edit takes any length and hides a masked value;
// a port's value is whole in its tooltip; an edit or list has the parameter's width. nullptr
// for a key without a control.
QWidget* make(const orbex::Param& p, QWidget* parent);

}  // namespace controls

// The store over controls made by controls::make, one a key at most. Reading a key without a
// control is a fault of the caller.
class ControlStore : public orbex::Store {
  public:
    ControlStore();

    // `control` holds the key from now on; nullptr forgets it.
    void add(orbex::Id id, QWidget* control);
    // The control of a key; nullptr for keys without one.
    QWidget* control(orbex::Id id) const { return controlOf(id); }
    // The control of a key as added so far, whatever controlOf would make first.
    QWidget* madeControl(orbex::Id id) const { return controls_[static_cast<std::size_t>(id)]; }

    std::string text(orbex::Id id) const override;
    std::string_view textView(orbex::Id id, std::string& buffer) const override;
    void setText(orbex::Id id, std::string_view value) override;
    orbex::Tri check(orbex::Id id) const override;
    void setCheck(orbex::Id id, orbex::Tri state) override;
    int item(orbex::Id id) const override;
    void setItem(orbex::Id id, int item) override;

  protected:
    // Where every read and write finds its control: a window that makes its controls at their
    // first need makes them here.
    virtual QWidget* controlOf(orbex::Id id) const { return madeControl(id); }

  private:
    // A control's text in UTF-8: converted again only when the control's text has changed.
    std::string_view utf8(orbex::Id id) const;
    struct Utf8Text {
        QString seen;  // the control's text when `bytes` were made, shared with the control
        std::string bytes;
    };

    std::vector<QWidget*> controls_;      // by catalogue index
    mutable std::vector<Utf8Text> utf8_;  // by catalogue index
};
