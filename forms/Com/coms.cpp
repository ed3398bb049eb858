#include "coms.h"

Tcoms::Tcoms(QWidget* parent) : QDialog(parent) {
    setObjectName("coms");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
}

void Tcoms::prepare(const QString& portKey, const QString& timeout, const QString& timeoutKey) {
    setProperty("hint", portKey);
    setWindowTitle("Настройки порта " + portKey);
    setProperty("timeout", timeout);
    setProperty("timeoutKey", timeoutKey);
}
