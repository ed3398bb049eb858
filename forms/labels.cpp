#include "labels.h"

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
