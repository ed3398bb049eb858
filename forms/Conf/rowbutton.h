// The "?" and "D" buttons of the main window's rows.
#pragma once

#include <QToolButton>

// A row's "?" or "D". Every row's button of a caption has the same font and style: their size
// hint is found once and shared through `shared`, which outlives the buttons. The hint is
// never less than the least size given, nor less than the style needs for the caption: the
// layout gives the button its hint as its least size too.
class RowButton : public QToolButton {
  public:
    RowButton(QWidget* parent, QSize* shared) : QToolButton(parent), shared_(shared) {}

    QSize sizeHint() const override;
    void setLeast(QSize least) { least_ = least; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    QSize* shared_;
    QSize least_;
};
