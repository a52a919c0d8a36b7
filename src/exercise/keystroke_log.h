#pragma once
// The keystroke log of one exercise: every event the typing engine consumed, in order, and the
// countdown's ticks, each with its time in milliseconds since the exercise opened. Replayed
// through the same engine against the same text it gives the exercise's typed state again,
// which is how the store computes every result, and how a stored result is shown again.

#include <QByteArray>
#include <QList>
#include <optional>

struct KeystrokeEvent {
    enum class Kind : quint8 {
        KeyDown = 1,   // the engine's key-down handling, with the key code
        Character = 2, // the engine's character handling, with the character code
        Tick = 3,      // one tick of the countdown; value 0
    };
    quint32 milliseconds = 0;
    Kind kind = Kind::Tick;
    qint16 value = 0;

    friend bool operator==(const KeystrokeEvent&, const KeystrokeEvent&) = default;
};

using KeystrokeLog = QList<KeystrokeEvent>;

namespace KeystrokeLogs {

// A log longer than this is refused: two events a key at twenty keys a second for the whole
// ten minutes is 24 000.
constexpr int kMaxEvents = 50'000;

// The compact form a log is stored in, and back; nullopt for anything that is not one.
QByteArray encode(const KeystrokeLog& log);
std::optional<KeystrokeLog> decode(const QByteArray& bytes);

} // namespace KeystrokeLogs
