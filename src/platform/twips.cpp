#include "platform/twips.h"

#include <cmath>

namespace Twips {
namespace {
double currentDpi = 96.0;
}

double dpi()
{
    return currentDpi;
}

void setDpi(double dotsPerInch)
{
    if (dotsPerInch > 0)
        currentDpi = dotsPerInch;
}

int toPixels(int twips)
{
    return int(std::lround(twips * currentDpi / 1440.0));
}

int fromPixels(int pixels)
{
    return int(std::lround(pixels * 1440.0 / currentDpi));
}

QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
