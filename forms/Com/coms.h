// The serial port dialog: the line settings and timeout of one redirected port, read from
// and written back into the main window's COMn and CTIMEn.
#pragma once

#include <QDialog>
#include <array>

#include "model/store.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

class Tcoms : public QDialog {
    Q_OBJECT
  public:
    // `setup` is the configuration the dialog reads and writes: the main window.
    explicit Tcoms(orbex::Store& setup, QWidget* parent = nullptr);

    // Set by the opener: the port to edit; the timeout box takes the port's CTIMEn as it is.
    void prepare(const orbex::PortKeys& keys);

  signals:
    void helpRequested(QWidget* button);  // "?" asks the main window for the topic CTIME1

  public slots:
    void FormCreate();  // the four lists refilled, each at its default
    void okClick();
    void CanClick();
    void Label40Click();
    void SpeedButton151Click();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void makeTimeoutRow();
    void makeSettings();
    QComboBox* makeList(const char* name);
    void layOut();
    void FormShow();
    QString portText() const;

    orbex::Store& setup_;
    std::array<QLabel*, 4> rowLabels_{};  // speed, parity, data bits, stop bits
    QLabel* Label40;
    QToolButton* SpeedButton151;
    QToolButton* SpeedButton152;
    QComboBox* SPEED;
    QComboBox* CHET;
    QComboBox* DATA;
    QComboBox* STOP;
    QCheckBox* XONXOFF;
    QCheckBox* RTSCTS;
    QCheckBox* LOCAL;
    QPushButton* ok;
    QPushButton* Can;
    QPushButton* Button1;
    QComboBox* CT;
};
