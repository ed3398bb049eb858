// The caption of a row of the main window.
#pragma once

#include <QLabel>

// A row's caption: one line of plain text, measured once. A plain label measures its text
// three times for its two size hints, and text measuring is much of what a start costs.
class RowLabel : public QLabel {
  public:
    using QLabel::QLabel;

    QSize sizeHint() const override;
    // One line is as wide at its least as at its best.
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    mutable QSize hint_;
    mutable QString measured_;
};
