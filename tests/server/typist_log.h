#pragma once
// Exercises typed by a simulated typist at a pace the caller chooses: the keystroke log a lab
// machine would send and the figures its screen would show, which are the replay's (the store's
// tests hold the two to one answer). For the verifier's tests and its benchmark.

#include "exercise/exercise_replay.h"
#include "exercise/key_codes.h"
#include "platform/codepage.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <stdexcept>

namespace TypistLog {

struct Exercise {
    ExerciseKind kind = ExerciseKind::English;
    QByteArray text; // the exercise file's text after its header, as machines send it
    KeystrokeLog log;
    ExerciseResult result;
};

// An exercise text of about `bytes` bytes: lines of words ending in CR LF (code page 936).
inline QByteArray text(ExerciseKind kind, int bytes)
{
    const QString line = kind == ExerciseKind::English
        ? QStringLiteral("Typing is a skill of hands and eyes; practice makes it quick.\n")
        : QStringLiteral("中文录入练习，每天坚持一段，速度自然提高。\n");
    QString whole;
    while (CodePage::encode(whole + line)->size() + line.size() * 2 < bytes)
        whole += line;
    whole.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return *CodePage::encode(whole);
}

// Types the text in order, every wrongEvery-th character wrong, the gap before each key from
// gap(); the countdown ticks every 1000 ms from the first character. The exercise ends with Esc
// after `seconds` seconds, or by the countdown when seconds is more than 600. Throws when the
// log does not replay (a fault of the typist, not of what it tests).
inline Exercise type(ExerciseKind kind, const QByteArray& text, int seconds, const std::function<int()>& gap,
                     int wrongEvery = 25)
{
    Exercise exercise;
    exercise.kind = kind;
    exercise.text = text;
    KeystrokeLog& log = exercise.log;
    const bool toTheEnd = seconds > 600;
    quint32 now = 500;
    qint64 firstCharacter = -1;
    quint32 nextTick = 0;
    int ticks = 0, typed = 0;
    qsizetype p = 0;
    const auto key = [&](qint16 down, qint16 character) {
        if (down != 0)
            log.append({now, KeystrokeEvent::Kind::KeyDown, down});
        log.append({now, KeystrokeEvent::Kind::Character, character});
        if (firstCharacter < 0) {
            firstCharacter = now;
            nextTick = now + 1000;
        }
    };
    for (;;) {
        now += quint32(std::max(1, gap()));
        bool over = false;
        while (firstCharacter >= 0 && nextTick <= now) {
            log.append({nextTick, KeystrokeEvent::Kind::Tick, 0});
            nextTick += 1000;
            if (++ticks == 601) {
                over = true; // the tick after 00:00
                break;
            }
        }
        if (over)
            break;
        if (!toTheEnd && firstCharacter >= 0 && now >= firstCharacter + seconds * 1000) {
            log.append({now, KeystrokeEvent::Kind::KeyDown, 27});
            break;
        }
        if (p >= text.size())
            continue; // the text is typed: the typist waits for the end
        const quint8 byte = quint8(text[p]);
        const bool wrong = ++typed % wrongEvery == 0;
        if (byte == '\r') {
            key(13, 13);
            p += 2;
        } else if (byte >= 0x80) {
            const quint16 wide = wrong ? 0xB4ED /* 错 */ : quint16(byte << 8 | quint8(text[p + 1]));
            key(0, qint16(wide));
            p += 2;
        } else {
            const char ch = wrong ? (byte == 'x' ? 'y' : 'x') : char(byte);
            // Qt's key for a printable character is its upper-case code.
            key(qint16(KeyCodes::keyDownCode(QChar::toUpper(char16_t(ch)))), qint16(ch));
            ++p;
        }
    }
    const std::optional<ExerciseText> exerciseText = ExerciseLoader::fromText(text, kind);
    if (!exerciseText)
        throw std::runtime_error("the typist's text is no exercise text");
    const ExerciseReplay::Outcome outcome = ExerciseReplay::replay(*exerciseText, kind, log);
    if (outcome.problem)
        throw std::runtime_error("the typist's log does not replay: " + outcome.problem->toStdString());
    exercise.result = outcome.result;
    return exercise;
}

} // namespace TypistLog
