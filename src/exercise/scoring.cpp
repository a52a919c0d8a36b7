// The countdown of an exercise and the result counted from the typed bytes at its end. All
// arithmetic is single precision; every rounding takes halves to the even neighbour.

#include "exercise/scoring.h"

#include <algorithm>
#include <cmath>

bool Countdown::tick()
{
    if (minutesLeft_ == 0 && secondsLeft_ == 0)
        return true; // 00:00 was shown on the tick before: the exercise is over
    if (secondsLeft_ > 0) {
        --secondsLeft_;
    } else {
        secondsLeft_ = 59;
        --minutesLeft_;
    }
    return false;
}

QString Countdown::text() const
{
    return QStringLiteral("%1:%2")
        .arg(int(minutesLeft_), 2, 10, QLatin1Char('0'))
        .arg(int(secondsLeft_), 2, 10, QLatin1Char('0'));
}

int Countdown::elapsedSeconds() const
{
    return (10 - minutesLeft_) * 60 - secondsLeft_;
}

namespace Scoring {

float nearest(float value)
{
    if (!std::isfinite(value))
        return 0.0f;
    const float below = std::floor(value);
    const float fraction = value - below;
    if (fraction > 0.5f)
        return below + 1.0f;
    if (fraction < 0.5f)
        return below;
    return std::fmod(below, 2.0f) == 0.0f ? below : below + 1.0f;
}

QString figureText(double value)
{
    if (!std::isfinite(value))
        return QString();
    return QString::number(std::nearbyint(value), 'f', 0);
}

namespace {

struct Counts {
    int correct = 0;
    int wrong = 0;
};

int deductionFor(float accuracy)
{
    if (accuracy >= 95.0f)
        return 0;
    if (accuracy < 50.0f)
        return 9;
    // 50-55 takes 9, each further band of five one less.
    return 9 - int((accuracy - 50.0f) / 5.0f);
}

// The positions of display lines 0 to lastLine in order, each once even if lines overlap.
template <typename Visit> void walkLines(const ExerciseText& text, Visit visit)
{
    const int lastLine = std::clamp<int>(text.lastLine, 0, ExerciseText::kRows - 1);
    int next = 0;
    for (int k = 0; k <= lastLine; ++k) {
        const int start = std::max<int>(0, text.lineTable[k].start);
        const int end = std::min<int>(ExerciseText::kPositions, start + std::max<int>(0, text.lineTable[k].length));
        for (int p = std::max(start, next); p < end;)
            p = next = visit(p);
        next = std::max(next, end);
    }
}

quint8 typedAt(const std::array<quint8, ExerciseText::kPositions>& typed, int p)
{
    return p >= 0 && p < ExerciseText::kPositions ? typed[p] : 0;
}

qint16 toCount(float value)
{
    return qint16(std::clamp(nearest(value), -32768.0f, 32767.0f));
}

} // namespace

ExerciseResult fromCounts(ExerciseKind kind, int correct, int wrong, int elapsedSeconds, bool endedByEsc)
{
    ExerciseResult result;
    result.correct = correct;
    result.wrong = wrong;
    result.total = correct + wrong;
    // Nothing typed, or no second gone by: nothing to divide by, nothing earned.
    if (elapsedSeconds <= 0 || result.total <= 0)
        return result;

    const float total = float(result.total);
    const float elapsed = float(elapsedSeconds);
    const float accuracy = nearest(float(correct) / total * 100.0f);
    result.speed = nearest(total / elapsed * 60.0f);
    result.accuracy = accuracy;

    const int minimum = kind == ExerciseKind::English ? 1200 : 600;
    if (endedByEsc && result.total < minimum)
        return result;
    if (accuracy < 50.0f)
        return result;
    const float perMinute = float(correct) / elapsed * 60.0f;
    const float base = kind == ExerciseKind::English ? nearest(perMinute / 2.0f) : nearest(perMinute);
    result.score = std::min(100.0f, base - float(deductionFor(accuracy)));
    return result;
}

ExerciseResult finishEnglish(const ExerciseText& text, const std::array<quint8, ExerciseText::kPositions>& typed,
                             int elapsedSeconds, bool endedByEsc)
{
    Counts counts;
    walkLines(text, [&](int p) {
        const quint8 got = typedAt(typed, p);
        if (got != 0) { // an untyped position counts nothing
            if (got == text.byteAt(p))
                ++counts.correct;
            else
                ++counts.wrong;
        }
        return p + 1;
    });
    return fromCounts(ExerciseKind::English, counts.correct, counts.wrong, elapsedSeconds, endedByEsc);
}

ExerciseResult finishChinese(const ExerciseText& text, const std::array<quint8, ExerciseText::kPositions>& typed,
                             int elapsedSeconds, bool endedByEsc)
{
    int correctWide = 0, wrongWide = 0, correctHalf = 0, wrongHalf = 0;
    walkLines(text, [&](int p) {
        const quint8 expected = text.byteAt(p);
        const quint8 got = typedAt(typed, p);
        if (expected >= 0x80) {
            // The text holds a wide character at p and p + 1: the pair is judged as one, never
            // byte by byte. The text's lead and trail typed there are one right character, its
            // lead with another trail one wrong character; otherwise each byte typed over the
            // pair is half a wrong character, even a byte that equals the text's own. So text
            // 中ab文 (D6 D0 61 62 CE C4) typed as the single wide character 行 (D0 D0) counts 1
            // wrong: D0 under D6 and D0 under D0 are one wrong pair, although the second D0 is
            // 中's own trail byte. The school server's verifier runs this code and judges alike.
            const quint8 gotTrail = typedAt(typed, p + 1);
            if (got == expected) {
                if (gotTrail == text.byteAt(p + 1))
                    ++correctWide;
                else
                    ++wrongWide;
            } else {
                // Each byte of something else typed here is half a wrong character.
                if (got != 0)
                    ++wrongHalf;
                if (gotTrail != 0)
                    ++wrongHalf;
            }
            return p + 2;
        }
        if (got != 0) {
            if (got == expected)
                ++correctHalf;
            else
                ++wrongHalf;
        }
        return p + 1;
    });
    const int correct = toCount(float(correctWide) + float(correctHalf) / 2.0f);
    const int wrong = toCount(float(wrongWide) + float(wrongHalf) / 2.0f);
    return fromCounts(ExerciseKind::Chinese, correct, wrong, elapsedSeconds, endedByEsc);
}

} // namespace Scoring
