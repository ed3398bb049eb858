// The push buttons of the windows: named for their role, pressed by Enter only when made the
// window's default, clicks going to a handler of the window.
#pragma once

#include <QPushButton>

template <typename Owner>
QPushButton* pushButton(QWidget* parent, const char* name, const QString& caption, Owner* owner,
                        void (Owner::*handler)()) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, owner, handler);
    return b;
}
