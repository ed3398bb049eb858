// Labels that act as links: blue, underlined while the pointer is over them.
#pragma once

class QFont;
class QLabel;

void setBlue(QLabel* label);
bool isBlue(const QLabel* label);  // pure blue, the colour of a link
void ment(QLabel* label);          // underline on, other font styles kept
void mleave(QLabel* label);        // underline off

// The title font of the banners: Times New Roman, 20 pixels; where it is not installed, a
// twin of the same metrics.
QFont titleFont();
