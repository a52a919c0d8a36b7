#pragma once
// A ten-minute exercise as a student types it, for tests and benchmarks that need real-sized
// results: an English text, and a log of 1 400 characters typed at an even pace, each as a
// key-down and a character, with the countdown's 601 ticks (3 000 events and more).

#include "exercise/keystroke_log.h"

#include <QByteArray>

namespace TypingLogs {

inline const QByteArray kEnglishText = QByteArray("The quick brown fox jumps over the lazy dog. ").repeated(40) + "\r\n";

// `slips`: every slips-th character typed wrong (0: none), so that results differ.
inline KeystrokeLog tenMinutes(int slips = 0)
{
    KeystrokeLog log;
    int typed = 0;
    for (int tick = 1; tick <= 601; ++tick) {
        const quint32 second = quint32(tick - 1) * 1000;
        for (int i = 0; i < (tick % 3 == 0 ? 2 : 3) && typed < 1400; ++i, ++typed) {
            char ch = kEnglishText.at(typed % (kEnglishText.size() - 2));
            if (slips > 0 && typed % slips == 0)
                ch = ch == 'x' ? 'y' : 'x';
            log << KeystrokeEvent{second + 100 + quint32(i) * 250, KeystrokeEvent::Kind::KeyDown, qint16(ch)}
                << KeystrokeEvent{second + 101 + quint32(i) * 250, KeystrokeEvent::Kind::Character, qint16(ch)};
        }
        log << KeystrokeEvent{second + 1050, KeystrokeEvent::Kind::Tick, 0};
    }
    return log;
}

} // namespace TypingLogs
