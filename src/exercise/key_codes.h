#pragma once
// How a key stroke reaches the typing engine: the key-down code the engine's key handling
// knows (27 Esc, 37 to 40 the arrows, 46 Delete, ...) and the character codes of the text
// the key or an input method delivered.

#include <QList>
#include <QString>

namespace KeyCodes {

// The key-down code of a Qt key: Esc 27, Left 37, Up 38, Right 39, Down 40, Delete 46,
// Backspace 8, Enter 13, letters as their upper-case code, digits as themselves; 0 for a key
// without a code of its own.
int keyDownCode(int qtKey);

// The character events of a delivered text, one per character: 0..255 for a single-byte
// character, lead * 256 + trail - 65536 for a double-byte one. Backspace and Enter give 8 and
// 13; other control characters (Esc, Tab, Delete, Ctrl+letter) and characters code page 936
// cannot hold are left out, so they neither take a cell nor start the countdown.
QList<qint16> characterCodes(const QString& text);

} // namespace KeyCodes
