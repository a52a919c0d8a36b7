#pragma once
// The screen mode while the program runs: 800 x 600 at 85 Hz (or the nearest rate offered),
// switched through XRandR on X11 and put back at every way out the program sees. On other
// platforms (offscreen, Wayland) there is no such call and nothing happens.

#include <QSize>

namespace DisplayMode {

// The screen size in pixels now.
QSize currentSize();
// Remembers the current mode so that restore() can put it back.
void save();
QSize savedSize();
// Switches to width x height at the rate nearest to hz; false when the platform has no
// such call or the mode is not offered.
bool change(int width, int height, int hz);
// Puts the saved mode back; does nothing when nothing was changed.
void restore();

} // namespace DisplayMode
