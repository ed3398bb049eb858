// The "?" and "D" buttons of the main window's rows.
#pragma once

#include <QToolButton>

// A row's "?" or "D". Every row's button of a caption has the same font and style: their size
// hint is found once and shared through `shared`, which outlives the buttons.
class RowButton : public QToolButton {
  public:
    RowButton(QWidget* parent, QSize* shared) : QToolButton(parent), shared_(shared) {}

    QSize sizeHint() const override;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    QSize* shared_;
};
