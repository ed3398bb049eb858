#include "forms/labels.h"

#include <QFontDatabase>
#include <QLabel>

namespace {

const QColor kBlue(0, 0, 255);

void setUnderline(QLabel* label, bool on) {
    QFont f = label->font();
    f.setUnderline(on);
    label->setFont(f);
}

}  // namespace

void setBlue(QLabel* label) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, kBlue);
    label->setPalette(p);
}

bool isBlue(const QLabel* label) {
    return label->palette().color(QPalette::WindowText) == kBlue;
}

void ment(QLabel* label) {
    setUnderline(label, true);
}

void mleave(QLabel* label) {
    setUnderline(label, false);
}

QFont titleFont() {
    // A family that is not installed is matched through the system's substitutes, which is
    // slow; the twins are asked for by name first.
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name : {"Times New Roman", "Liberation Serif", "Tinos"})
            if (installed.contains(name, Qt::CaseInsensitive)) return QString(name);
        return QString("Times New Roman");
    }();
    QFont font(family);
    font.setPixelSize(20);
    return font;
}

void setHint(QWidget* w, const QString& hint, bool tooltip) {
    w->setProperty("hint", hint);
    if (tooltip) w->setToolTip(hint);
}
