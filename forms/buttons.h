// The push buttons of the windows: named for their role, pressed by Enter only when made the
// window's default, clicks going to a handler of the window.
#pragma once

#include <QFontInfo>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <cmath>

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
inline QToolButton* speedButton(QToolButton* b, const QString& name, const QString& caption,
                                const QString& helpKeyword) {
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
inline QToolButton* speedButton(QWidget* parent, const QString& name, const QString& caption,
                                const QString& helpKeyword) {
    return speedButton(new QToolButton(parent), name, caption, helpKeyword);
}

// How much larger than the usual 9-point text at 96 dots per inch the windows' text is, never
// below 1: the fixed widths of controls grow with it so that larger fonts are not cut off.
inline double fontScale(const QWidget* w) {
    const double pixels = QFontInfo(w->font()).pixelSize();
    return std::max(1.0, pixels / 12.0);
}
inline int scaled(const QWidget* w, int size) {
    return static_cast<int>(std::lround(size * fontScale(w)));
}
