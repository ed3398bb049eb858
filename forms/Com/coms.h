// The serial port dialog: the line settings and timeout of one redirected port.
#pragma once

#include <QDialog>

class Tcoms : public QDialog {
    Q_OBJECT
  public:
    explicit Tcoms(QWidget* parent = nullptr);

    // Set by the opener: the port's key (COMn), the timeout's text and key (CTIMEn).
    void prepare(const QString& portKey, const QString& timeout, const QString& timeoutKey);
};
