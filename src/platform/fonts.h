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

// The CJK faces are files of 10–20 MB that the font engine maps; the kernel maps the
// neighbours of every glyph read along with it, so a few dozen glyphs leave megabytes of
// them counted against the program. Gives those pages back (they come again from the
// page cache if a glyph needs them) and stops the neighbours coming in with later glyphs.
void releaseMappedFaces();

} // namespace Fonts
