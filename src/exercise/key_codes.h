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

// A character code page 936 cannot hold (an emoji an input method offers) is typed as this
// double-byte code, lead and trail 0xFF, which no text holds: it takes two cells, shows that
// something wrong was typed and never counts as right.
constexpr qint16 kUnencodable = qint16(-1);

// The character events of a delivered text, one per character: 0..255 for a single-byte
// character, lead * 256 + trail - 65536 for a double-byte one. Control characters are
// characters too (Backspace 8, Enter 13, Tab 9, Ctrl+letter); only code 0, which would read as
// nothing typed, is left out.
QList<qint16> characterCodes(const QString& text);

} // namespace KeyCodes
