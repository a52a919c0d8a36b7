// Cost of one keystroke through the typing engine alone (nothing drawn): a whole 4 KB text,
// English and Chinese, typed with some wrong characters and corrections. Prints the median and
// the 99th percentile per keystroke, and the mean of whole runs (free of clock overhead).

#include "exercise/typing_engine.h"

#include <QRandomGenerator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

class NullCanvas : public CellCanvas {
public:
    void drawChar(int, int, quint8, quint8, bool, QColor) override {}
    void blank(int, int, int) override {}
};

class QuietHost : public TypingHost {
public:
    void startCountdown() override {}
    void showCurrentLine(int) override {}
    void showCursorColumn(int) override {}
    int scrollValue() const override { return value; }
    int scrollMaximum() const override { return maximum; }
    void setScrollValue(int v) override { value = std::clamp(v, 0, maximum); }
    int screenTop() const override { return -value; }
    void escapePressed() override {}
    int value = 0;
    int maximum = 0;
};

// 4096 bytes in lines of at most `width` bytes ending in CR LF, every 5th line wrapped without.
ExerciseText makeText(bool chinese)
{
    ExerciseText text;
    const int width = chinese ? 80 : 90;
    int position = 0, line = 0;
    while (position < ExerciseText::kPositions - 1 && line < ExerciseText::kRows) {
        const bool wrapped = line % 5 == 4;
        const int room = std::min(width, ExerciseText::kPositions - 1 - position - (wrapped ? 0 : 2));
        if (room < 2)
            break;
        const int start = position;
        for (int i = 0; i < room - (wrapped ? 0 : 1);) {
            if (chinese && i % 10 != 9 && i + 1 < room - (wrapped ? 0 : 1)) {
                text.textBytes[position++] = quint8(0xB0 + (i % 40));
                text.textBytes[position++] = quint8(0xA1 + (i % 90));
                i += 2;
            } else {
                text.textBytes[position++] = quint8('a' + (i % 26));
                i += 1;
            }
        }
        int length = position - start;
        if (!wrapped) {
            text.textBytes[position++] = 13;
            text.textBytes[position++] = 10;
            length += 1;
        }
        text.lineTable[line] = {qint16(start), qint16(length)};
        ++line;
    }
    text.textLength = position;
    text.lastLine = line - 1;
    return text;
}

struct Stroke {
    bool isKeyDown;
    int code;
};

// The strokes a student makes over the whole text: mostly right, one in twenty wrong, one in
// fifty corrected with Backspace, Enter on every CR cell, an arrow now and then.
std::vector<Stroke> strokesFor(const ExerciseText& text, quint32 seed)
{
    QRandomGenerator random(seed);
    std::vector<Stroke> strokes;
    for (int k = 0; k <= text.lastLine; ++k) {
        const int start = text.lineTable[k].start, length = text.lineTable[k].length;
        for (int p = start; p < start + length;) {
            const quint8 byte = text.textBytes[p];
            if (byte == 13) {
                strokes.push_back({false, 13});
                ++p;
                continue;
            }
            const bool wide = byte >= 0x80;
            int code = wide ? qint16(quint16(byte << 8 | text.textBytes[p + 1])) : byte;
            if (random.bounded(20) == 0)
                code = wide ? qint16(quint16(0xD6D0)) : 'x';
            strokes.push_back({true, 0}); // the key-down that precedes every character
            strokes.push_back({false, code});
            if (random.bounded(50) == 0) {
                strokes.push_back({false, 8});
                strokes.push_back({false, code});
            }
            if (random.bounded(100) == 0) {
                strokes.push_back({true, 37});
                strokes.push_back({true, 39});
            }
            p += wide ? 2 : 1;
        }
    }
    return strokes;
}

void run(const char* name, bool chinese)
{
    const ExerciseText text = makeText(chinese);
    const std::vector<Stroke> strokes = strokesFor(text, 1234);
    NullCanvas canvas;
    std::vector<double> samples;
    samples.reserve(strokes.size() * 40);
    double wholeRuns = 0;
    long long strokesTimed = 0;
    constexpr int kRuns = 40;
    for (int r = 0; r < kRuns; ++r) {
        QuietHost host;
        host.maximum = (text.lastLine + 1) * 600 + 300 - 8000 + 1200;
        TypingEngine engine(text, canvas, host);
        const auto runStart = std::chrono::steady_clock::now();
        for (const Stroke& s : strokes) {
            const auto t0 = std::chrono::steady_clock::now();
            if (s.isKeyDown)
                engine.keyDown(s.code);
            else
                engine.character(qint16(s.code));
            const auto t1 = std::chrono::steady_clock::now();
            samples.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
        }
        wholeRuns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - runStart).count();
        strokesTimed += static_cast<long long>(strokes.size());
    }
    // The same runs without a clock read around each stroke.
    const auto bareStart = std::chrono::steady_clock::now();
    for (int r = 0; r < kRuns; ++r) {
        QuietHost host;
        host.maximum = (text.lastLine + 1) * 600 + 300 - 8000 + 1200;
        TypingEngine engine(text, canvas, host);
        for (const Stroke& s : strokes) {
            if (s.isKeyDown)
                engine.keyDown(s.code);
            else
                engine.character(qint16(s.code));
        }
    }
    const double bare = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - bareStart).count();
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[std::size_t(q * double(samples.size() - 1))]; };
    std::printf("%s: %d lines, %d bytes, %zu strokes per run, %d runs\n", name, text.lastLine + 1, text.textLength,
                strokes.size(), kRuns);
    std::printf("  per stroke (timed singly): median %.0f ns, 99th percentile %.0f ns, max %.0f ns\n", at(0.5),
                at(0.99), samples.back());
    std::printf("  per stroke (whole runs, no clock per stroke): mean %.1f ns; with clock reads %.1f ns\n",
                bare / double(strokesTimed), wholeRuns / double(strokesTimed));
}

} // namespace

int main()
{
    run("English text", false);
    run("Chinese text", true);
    return 0;
}
