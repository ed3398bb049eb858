// How large the main window opens on a screen: as its pages need when that fits, else within
// the screen with its pages scrolled.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

struct WindowFit {
    QSize size;    // the window's own size, without its frame
    bool scroll;   // the pages do not fit: they scroll
    QPoint place;  // where the frame's corner goes, when the pages scroll
};

// `needed`: the window's size for its pages whole; `frame`: what the window's frame adds;
// `free`: the screen's area for windows.
WindowFit fitWithin(QSize needed, QSize frame, const QRect& free);
