#pragma once
// Positions and sizes are kept in twips (1/1440 inch) and turned into pixels where Qt draws.

#include <QRect>

namespace Twips {

// Logical dots per inch used for the conversion; 96 until a screen says otherwise.
double dpi();
void setDpi(double dotsPerInch);

int toPixels(int twips);
int fromPixels(int pixels);
QRect rect(int left, int top, int width, int height);

} // namespace Twips
