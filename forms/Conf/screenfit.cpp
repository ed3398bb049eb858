#include "forms/Conf/screenfit.h"

#include <algorithm>

WindowFit fitWithin(QSize needed, QSize frame, const QRect& free) {
    const QSize room = free.size() - frame;
    if (needed.width() <= room.width() && needed.height() <= room.height())
        return {needed, false, {}};
    const QSize size = needed.boundedTo(room);
    const QPoint place(free.x() + std::max(0, (room.width() - size.width()) / 2),
                       free.y() + std::max(0, (room.height() - size.height()) / 2));
    return {size, true, place};
}
