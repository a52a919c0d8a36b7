#pragma once
// norightclick: a read-only text box that shows a file's text keeps the right mouse button and
// its context menu away (no copy, no paste), for as long as the window showing it guards it.

class QWidget;

namespace NoRightClick {

// Guards the box (and the viewport of a scrolling box) from now on.
void norightclick(QWidget* textBox);
// Lets the box have its right button again; nothing happens when it is not guarded.
void release(QWidget* textBox);
bool guards(const QWidget* textBox);

} // namespace NoRightClick
