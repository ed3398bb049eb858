// Labels that act as links: blue, underlined while the pointer is over them.
#pragma once

class QFont;
class QLabel;
class QString;
class QWidget;

void setBlue(QLabel* label);
bool isBlue(const QLabel* label);  // pure blue, the colour of a link
void ment(QLabel* label);          // underline on, other font styles kept
void mleave(QLabel* label);        // underline off

// The title font of the banners: Times New Roman, 20 pixels; where it is not installed, a
// twin of the same metrics.
QFont titleFont();

// A widget's "hint" property, which the windows read back (a row's key, a file's path, a port's
// number); shown as its tooltip too when `tooltip`.
void setHint(QWidget* w, const QString& hint, bool tooltip);
