#pragma once
// The program asks for the Windows family names "宋体" and "楷体_GB2312"; this machine's
// Song and Kai faces stand in for them.

#include <QFont>

namespace Fonts {

// Registers the substitutions once, at start-up (and in tests).
void registerSubstitutions();
// The window fonts at a size in points.
QFont song(double points);
QFont kai(double points);

} // namespace Fonts
