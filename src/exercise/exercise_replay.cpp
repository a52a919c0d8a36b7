#include "exercise/exercise_replay.h"

#include "exercise/key_codes.h"
#include "exercise/quiet_host.h"

namespace ExerciseReplay {

namespace {

class NoCanvas : public CellCanvas {
public:
    void drawChar(int, int, quint8, quint8, bool, QColor) override {}
    void blank(int, int, int) override {}
};

// Whether a key or an input method could have delivered this character code: a byte 1..255,
// a code page 936 character (lead 0x81.., trail 0x40..), or the mark of one it cannot hold.
bool typeable(qint16 code)
{
    if (code > 0)
        return true;
    if (code == KeyCodes::kUnencodable)
        return true;
    const quint16 bytes = quint16(code);
    return code < 0 && (bytes >> 8) >= 0x81 && (bytes & 0xFF) >= 0x40;
}

Outcome refused(const QString& problem)
{
    Outcome outcome;
    outcome.problem = problem;
    return outcome;
}

} // namespace

Outcome replay(const ExerciseText& text, ExerciseKind kind, const KeystrokeLog& log, CellCanvas* canvas)
{
    NoCanvas noCanvas;
    QuietHost host;
    TypingEngine engine(text, canvas ? *canvas : noCanvas, host);
    Countdown countdown;
    bool timeUp = false;
    quint32 previous = 0;

    for (qsizetype i = 0; i < log.size(); ++i) {
        const KeystrokeEvent& event = log.at(i);
        if (host.escaped || timeUp)
            return refused(QStringLiteral("录入记录在练习结束之后还有内容"));
        if (event.milliseconds < previous)
            return refused(QStringLiteral("录入记录的时间次序有误"));
        previous = event.milliseconds;
        switch (event.kind) {
        case KeystrokeEvent::Kind::KeyDown:
            engine.keyDown(event.value);
            break;
        case KeystrokeEvent::Kind::Character:
            if (!typeable(event.value))
                return refused(QStringLiteral("录入记录中有键盘打不出的字符"));
            engine.character(event.value);
            break;
        case KeystrokeEvent::Kind::Tick:
            // The countdown runs from the first character on.
            if (!host.countdownStarted)
                return refused(QStringLiteral("录入记录中倒计时在第一个字符之前开始"));
            timeUp = countdown.tick();
            break;
        }
    }
    if (!host.countdownStarted)
        return refused(QStringLiteral("录入记录中没有录入任何字符"));
    if (!host.escaped && !timeUp)
        return refused(QStringLiteral("录入记录没有以 Esc 键或倒计时结束"));

    Outcome outcome;
    outcome.typedBytes = engine.typedBytes();
    outcome.positionMarks = engine.positionMarks();
    outcome.endedByEsc = engine.endedByEsc();
    outcome.elapsedSeconds = countdown.elapsedSeconds();
    for (const KeystrokeEvent& event : log)
        outcome.ticks += event.kind == KeystrokeEvent::Kind::Tick ? 1 : 0;
    outcome.result = kind == ExerciseKind::English
        ? Scoring::finishEnglish(text, outcome.typedBytes, outcome.elapsedSeconds, outcome.endedByEsc)
        : Scoring::finishChinese(text, outcome.typedBytes, outcome.elapsedSeconds, outcome.endedByEsc);
    return outcome;
}

Outcome replayFile(const QByteArray& fileText, ExerciseKind kind, const KeystrokeLog& log)
{
    const std::optional<ExerciseText> text = ExerciseLoader::fromText(fileText, kind);
    if (!text)
        return refused(QStringLiteral("练习的文本无法使用"));
    return replay(*text, kind, log);
}

} // namespace ExerciseReplay
