// The countdown and the result: rounding, counting of typed bytes in both languages, speed,
// accuracy and score with its minimum, bands and cap.

#include "exercise/scoring.h"
#include "typing_rig.h"

#include <QtTest>

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
}

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
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("wrong");
        QTest::addColumn<int>("elapsed");
        QTest::addColumn<bool>("esc");
        QTest::addColumn<float>("speed");
        QTest::addColumn<float>("accuracy");
        QTest::addColumn<float>("score");
        const int en = int(ExerciseKind::English), cn = int(ExerciseKind::Chinese);

        QTest::newRow("English Esc below 1200") << en << 900 << 100 << 120 << true << 500.f << 90.f << 0.f;
        QTest::newRow("English Esc at 1200, capped") << en << 1100 << 100 << 120 << true << 600.f << 92.f << 100.f;
        QTest::newRow("English time out, capped") << en << 3000 << 120 << 600 << false << 312.f << 96.f << 100.f;
        QTest::newRow("Chinese time out") << cn << 360 << 40 << 600 << false << 40.f << 90.f << 35.f;
        QTest::newRow("Chinese Esc below 600") << cn << 500 << 50 << 300 << true << 110.f << 91.f << 0.f;
        QTest::newRow("Chinese Esc at 600") << cn << 540 << 60 << 300 << true << 120.f << 90.f << 100.f;
        // 94.6 per cent rounds to 95 and takes no deduction; base nearest(47.3) = 47.
        QTest::newRow("94.6 rounds to 95") << en << 946 << 54 << 600 << false << 100.f << 95.f << 47.f;
        QTest::newRow("94 takes one") << en << 940 << 60 << 600 << false << 100.f << 94.f << 46.f;
        // Exactly 95: base nearest(47.5) = 48.
        QTest::newRow("95 takes none") << en << 950 << 50 << 600 << false << 100.f << 95.f << 48.f;
        QTest::newRow("band 85") << en << 850 << 150 << 600 << false << 100.f << 85.f << 40.f;
        QTest::newRow("band 84") << en << 840 << 160 << 600 << false << 100.f << 84.f << 39.f;
        QTest::newRow("band 55") << en << 550 << 450 << 600 << false << 100.f << 55.f << 20.f;
        QTest::newRow("band 50") << en << 500 << 500 << 600 << false << 100.f << 50.f << 16.f;
        QTest::newRow("below 50: nothing") << en << 490 << 510 << 600 << false << 100.f << 49.f << 0.f;
        // A small base minus the deduction goes below zero: 100 of 190 is 53 per cent, base 5.
        QTest::newRow("negative score") << en << 100 << 90 << 600 << false << 19.f << 53.f << -4.f;
        QTest::newRow("negative Chinese") << cn << 4 << 3 << 600 << false << 1.f << 57.f << -8.f;
        QTest::newRow("no time gone") << en << 10 << 0 << 0 << true << 0.f << 0.f << 0.f;
        QTest::newRow("nothing typed") << en << 0 << 0 << 90 << false << 0.f << 0.f << 0.f;
        QTest::newRow("all wrong") << cn << 0 << 30 << 60 << false << 30.f << 0.f << 0.f;
    }

    void resultFromCounts()
    {
        QFETCH(int, kind);
        QFETCH(int, correct);
        QFETCH(int, wrong);
        QFETCH(int, elapsed);
        QFETCH(bool, esc);
        QFETCH(float, speed);
        QFETCH(float, accuracy);
        QFETCH(float, score);
        const ExerciseResult result = Scoring::fromCounts(ExerciseKind(kind), correct, wrong, elapsed, esc);
        QCOMPARE(result.speed, speed);
        QCOMPARE(result.accuracy, accuracy);
        QCOMPARE(result.score, score);
        QCOMPARE(result.total, correct + wrong);
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

    void countingChinese_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("wrong");

        QTest::newRow("7 half-width right") << QByteArray("abcdefgh") << QByteArray("abcdefg") << 4 << 0;
        QTest::newRow("5 half-width right") << QByteArray("abcdefgh") << QByteArray("abcde") << 2 << 0;
        QTest::newRow("wide right and half wrong")
            << QByteArray(kZhong + kWen + "ab") << QByteArray(kZhong + kWen + "ax") << 2 << 0;   // 2.5 and 0.5, halves to even
        QTest::newRow("wrong trail is one wrong wide")
            << QByteArray(kZhong + kWen) << QByteArray("\xD6\xD1" + kWen) << 1 << 1;
        // A wrong lead: its trail is half a wrong character too, not the lead of another.
        QTest::newRow("wrong lead, same trail")
            << QByteArray(kZhong + "\xD0\xCE\xC4\xC4") << QByteArray("\xD5\xD0\xD0\xCE\xC4\xC4") << 2 << 1;
        QTest::newRow("wide over half-width")
            << QByteArray("ab" + kWen) << QByteArray(kZhong + kWen) << 1 << 1;
        QTest::newRow("shifted by one cell")
            << QByteArray("a" + kZhong + "b") << QByteArray("a\x00" "\xD6\xD0", 4) << 0 << 1;   // half a right one, two wrong halves
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
        for (const ExerciseResult& result : {Scoring::finishEnglish(text, nothing, 60, false),
                                             Scoring::finishChinese(text, nothing, 60, false)}) {
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
        const QList<QPair<int, QString>> shown{{0, "10:00"}, {1, "09:59"}, {59, "09:01"}, {60, "09:00"},
                                               {61, "08:59"}, {600, "00:00"}};
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
