#include "forms/Conf/rowlabel.h"

#include <QEvent>
#include <QStyle>

QSize RowLabel::sizeHint() const {
    // Anything but one plain line without frame or margins is measured as usual.
    if (wordWrap() || frameWidth() != 0 || margin() != 0 || indent() >= 0 || text().contains('&') ||
        Qt::mightBeRichText(text()))
        return QLabel::sizeHint();
    if (hint_.isEmpty() || measured_ != text()) {
        ensurePolished();
        const int flags = QStyle::visualAlignment(layoutDirection(), alignment()) &
                          ~(Qt::AlignVCenter | Qt::AlignHCenter);
        const QMargins m = contentsMargins();
        hint_ = (fontMetrics().boundingRect(0, 0, 2000, 2000, flags, text()).size() +
                 QSize(m.left() + m.right(), m.top() + m.bottom()))
                    .expandedTo(minimumSize());
        measured_ = text();
    }
    return hint_;
}

void RowLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        hint_ = QSize();
    QLabel::changeEvent(event);
}
