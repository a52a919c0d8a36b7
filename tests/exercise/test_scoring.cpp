// The countdown and the result: rounding, counting of typed bytes in both languages, speed,
// accuracy and score with its minimum, bands and cap.

#include "exercise/scoring.h"
#include "typing_rig.h"

#include <QtTest>

// Counts of right and wrong bytes, seconds gone and how the exercise ended; the result.
struct Counts {
    int kind, correct, wrong, elapsed;
    bool esc;
    float speed, accuracy, score;
};
Q_DECLARE_METATYPE(Counts)

namespace {
const QByteArray kZhong("\xD6\xD0");
const QByteArray kWen("\xCE\xC4");

std::array<quint8, ExerciseText::kPositions> typedOf(const QByteArray& bytes)
{
    std::array<quint8, ExerciseText::kPositions> typed{};
    for (int i = 0; i < bytes.size(); ++i)
        typed[i] = quint8(bytes[i]);
    return typed;
}
} // namespace

class TestScoring : public QObject {
    Q_OBJECT
private slots:
    void nearestTakesHalvesToEven_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("expected");
        QTest::newRow("0.5") << 0.5f << 0.0f;
        QTest::newRow("1.5") << 1.5f << 2.0f;
        QTest::newRow("2.5") << 2.5f << 2.0f;
        QTest::newRow("-0.5") << -0.5f << 0.0f;
        QTest::newRow("-1.5") << -1.5f << -2.0f;
        QTest::newRow("-2.5") << -2.5f << -2.0f;
        QTest::newRow("-2.6") << -2.6f << -3.0f;
        QTest::newRow("96.15") << 96.15f << 96.0f;
        QTest::newRow("94.6") << 94.6f << 95.0f;
        QTest::newRow("2.4999") << 2.4999f << 2.0f;
        QTest::newRow("2.5001") << 2.5001f << 3.0f;
    }

    void nearestTakesHalvesToEven()
    {
        QFETCH(float, value);
        QFETCH(float, expected);
        QCOMPARE(Scoring::nearest(value), expected);
    }

    void resultFromCounts_data()
    {
        QTest::addColumn<Counts>("c");
        const int en = int(ExerciseKind::English), cn = int(ExerciseKind::Chinese);

        QTest::newRow("English Esc below 1200") << Counts{en, 900, 100, 120, true, 500, 90, 0};
        QTest::newRow("English Esc at 1200, capped") << Counts{en, 1100, 100, 120, true, 600, 92, 100};
        QTest::newRow("English time out, capped") << Counts{en, 3000, 120, 600, false, 312, 96, 100};
        QTest::newRow("Chinese time out") << Counts{cn, 360, 40, 600, false, 40, 90, 35};
        QTest::newRow("Chinese Esc below 600") << Counts{cn, 500, 50, 300, true, 110, 91, 0};
        QTest::newRow("Chinese Esc at 600") << Counts{cn, 540, 60, 300, true, 120, 90, 100};
        // 94.6 per cent rounds to 95 and takes no deduction; base nearest(47.3) = 47.
        QTest::newRow("94.6 rounds to 95") << Counts{en, 946, 54, 600, false, 100, 95, 47};
        QTest::newRow("94 takes one") << Counts{en, 940, 60, 600, false, 100, 94, 46};
        // Exactly 95: base nearest(47.5) = 48.
        QTest::newRow("95 takes none") << Counts{en, 950, 50, 600, false, 100, 95, 48};
        QTest::newRow("band 85") << Counts{en, 850, 150, 600, false, 100, 85, 40};
        QTest::newRow("band 84") << Counts{en, 840, 160, 600, false, 100, 84, 39};
        QTest::newRow("band 55") << Counts{en, 550, 450, 600, false, 100, 55, 20};
        QTest::newRow("band 50") << Counts{en, 500, 500, 600, false, 100, 50, 16};
        QTest::newRow("below 50: nothing") << Counts{en, 490, 510, 600, false, 100, 49, 0};
        // A small base minus the deduction goes below zero: 100 of 190 is 53 per cent, base 5.
        QTest::newRow("negative score") << Counts{en, 100, 90, 600, false, 19, 53, -4};
        QTest::newRow("negative Chinese") << Counts{cn, 4, 3, 600, false, 1, 57, -8};
        QTest::newRow("no time gone") << Counts{en, 10, 0, 0, true, 0, 0, 0};
        QTest::newRow("nothing typed") << Counts{en, 0, 0, 90, false, 0, 0, 0};
        QTest::newRow("all wrong") << Counts{cn, 0, 30, 60, false, 30, 0, 0};
    }

    void resultFromCounts()
    {
        QFETCH(Counts, c);
        const ExerciseResult result = Scoring::fromCounts(ExerciseKind(c.kind), c.correct, c.wrong, c.elapsed, c.esc);
        QCOMPARE(result.speed, c.speed);
        QCOMPARE(result.accuracy, c.accuracy);
        QCOMPARE(result.score, c.score);
        QCOMPARE(result.total, c.correct + c.wrong);
    }

    void countingEnglish()
    {
        const ExerciseText text = textOfLines({"Abc\r\n", "de f"});
        // Right A and CR, wrong c (C) and a wide character over "d" and "e", f untyped.
        const auto typed = typedOf("AbC\r\n\xD6\xD0");
        const ExerciseResult result = Scoring::finishEnglish(text, typed, 60, false);
        QCOMPARE(result.correct, 3);
        QCOMPARE(result.wrong, 3);
        QCOMPARE(result.total, 6);
        QCOMPARE(result.speed, 6.f);
        QCOMPARE(result.accuracy, 50.f);
    }

    // A Chinese text of 390 wide and 20 half-width characters, timed out: 350 wide right, 40
    // wide wrong, the 20 half-width right. correct = 350 + 20 / 2 = 360 of 400: speed 40,
    // accuracy 90, base 36 less one, score 35.
    void chineseWorkedExampleFromTheTypedText()
    {
        QByteArray text, typed;
        for (int i = 0; i < 390; ++i) {
            text += kZhong;
            typed += i < 350 ? kZhong : kWen;
        }
        text += QByteArray(20, 'a');
        typed += QByteArray(20, 'a');
        QList<QByteArray> lines;
        for (int start = 0; start < text.size(); start += 80)
            lines << text.mid(start, 80);
        const ExerciseResult result = Scoring::finishChinese(textOfLines(lines), typedOf(typed), 600, false);
        QCOMPARE(result.correct, 360);
        QCOMPARE(result.wrong, 40);
        QCOMPARE(result.speed, 40.f);
        QCOMPARE(result.accuracy, 90.f);
        QCOMPARE(result.score, 35.f);
    }

    void countingChinese_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("wrong");

        QTest::newRow("7 half-width right") << QByteArray("abcdefgh") << QByteArray("abcdefg") << 4 << 0;
        QTest::newRow("5 half-width right") << QByteArray("abcdefgh") << QByteArray("abcde") << 2 << 0;
        QTest::newRow("wide right and half wrong")
            << QByteArray(kZhong + kWen + "ab") << QByteArray(kZhong + kWen + "ax") << 2
            << 0; // 2.5 and 0.5, halves to even
        QTest::newRow("wrong trail is one wrong wide")
            << QByteArray(kZhong + kWen) << QByteArray("\xD6\xD1" + kWen) << 1 << 1;
        // A wrong lead: its trail is half a wrong character too, not the lead of another.
        QTest::newRow("wrong lead, same trail")
            << QByteArray(kZhong + "\xD0\xCE\xC4\xC4") << QByteArray("\xD5\xD0\xD0\xCE\xC4\xC4") << 2 << 1;
        QTest::newRow("wide over half-width") << QByteArray("ab" + kWen) << QByteArray(kZhong + kWen) << 1 << 1;
        QTest::newRow("shifted by one cell") << QByteArray("a" + kZhong + "b")
                                             << QByteArray("a\x00"
                                                           "\xD6\xD0",
                                                           4)
                                             << 0 << 1; // half a right one, two wrong halves
    }

    void countingChinese()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, typed);
        QFETCH(int, correct);
        QFETCH(int, wrong);
        const ExerciseText text = textOfLines({line});
        const ExerciseResult result = Scoring::finishChinese(text, typedOf(typed), 60, false);
        QCOMPARE(result.correct, correct);
        QCOMPARE(result.wrong, wrong);
    }

    void untypedPositionsCountNothing()
    {
        // The table reaches past the loaded text, whose bytes there are 0.
        ExerciseText text = textOfLines({"ab"});
        text.lineTable[0].length = 10;
        const auto nothing = typedOf({});
        for (const ExerciseResult& result :
             {Scoring::finishEnglish(text, nothing, 60, false), Scoring::finishChinese(text, nothing, 60, false)}) {
            QCOMPARE(result.total, 0);
            QCOMPARE(result.speed, 0.f);
            QCOMPARE(result.accuracy, 0.f);
            QCOMPARE(result.score, 0.f);
        }
    }

    // The time left after each second, and the tick after 00:00 that ends the exercise.
    void countdown()
    {
        Countdown countdown;
        const QList<QPair<int, QString>> shown{{0, "10:00"},  {1, "09:59"},  {59, "09:01"},
                                               {60, "09:00"}, {61, "08:59"}, {600, "00:00"}};
        int ticks = 0;
        for (const auto& [elapsed, text] : shown) {
            for (; ticks < elapsed; ++ticks)
                QVERIFY(!countdown.tick());
            QCOMPARE(countdown.elapsedSeconds(), elapsed);
            QCOMPARE(countdown.text(), text);
        }
        QVERIFY(countdown.tick());
        QCOMPARE(countdown.text(), QStringLiteral("00:00"));
        QCOMPARE(countdown.elapsedSeconds(), 600);
    }
};

QTEST_GUILESS_MAIN(TestScoring)
#include "test_scoring.moc"
