#include "forms/Conf/switchbox.h"

SwitchBox::SwitchBox(QWidget* parent) : QCheckBox(parent) {
    setTristate(true);
}

void SwitchBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}
