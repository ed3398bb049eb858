// The control of a switch parameter.
#pragma once

#include <QCheckBox>

// A switch: the user's click toggles between checked and unchecked only (grayed gives
// checked); the grayed, unset state is reached only from the program.
class SwitchBox : public QCheckBox {
    Q_OBJECT
  public:
    explicit SwitchBox(QWidget* parent = nullptr);

  protected:
    void nextCheckState() override;
};
