// Labels that act as links: blue, underlined while the pointer is over them.
#pragma once

class QLabel;

void setBlue(QLabel* label);
bool isBlue(const QLabel* label);  // pure blue, the colour of a link
void ment(QLabel* label);          // underline on, other font styles kept
void mleave(QLabel* label);        // underline off
