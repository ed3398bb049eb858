// The push buttons of the windows: named for their role, pressed by Enter only when made the
// window's default, clicks going to a handler of the window.
#pragma once

#include <QPushButton>
#include <QToolButton>

template <typename Owner>
QPushButton* pushButton(QWidget* parent, const char* name, const QString& caption, Owner* owner,
                        void (Owner::*handler)()) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, owner, handler);
    return b;
}

// A flat "?" or "D" button: bold caption, never focused, its help keyword as a property.
inline QToolButton* speedButton(QWidget* parent, const QString& name, const QString& caption,
                                const QString& helpKeyword) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    QFont bold = b->font();
    bold.setBold(true);
    b->setFont(bold);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setProperty("helpKeyword", helpKeyword);
    return b;
}
