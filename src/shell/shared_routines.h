#pragma once
// The shared routines that act on windows: setmenus and norightclick.

class MainWindow;
class QWidget;

// Enables " 录入项目 " and " 系统维护 " from the Login mode.
void setmenus(MainWindow& mainWindow);

// Keeps the right mouse button and the context menu away from a read-only text box. install
// remembers the box as the one guarded (only one at a time); remove lets it go again and
// does nothing when no box is guarded.
void installNoRightClick(QWidget* textBox);
void removeNoRightClick();
