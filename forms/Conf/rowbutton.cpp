#include "forms/Conf/rowbutton.h"

#include <QEvent>

QSize RowButton::sizeHint() const {
    if (shared_->isEmpty()) *shared_ = QToolButton::sizeHint();
    return shared_->expandedTo(least_);
}

void RowButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        *shared_ = QSize();
    QToolButton::changeEvent(event);
}
