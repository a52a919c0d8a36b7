// The mistakes counted from keystroke logs (corrected ones included), the keys of the US
// keyboard they colour, and the pace of a replay.

#include "support/test_support.h"
#include "exercise/exercise_text.h"
#include "exercise/mistakes.h"
#include "exercise/replay_pace.h"
#include "exercise/us_keyboard.h"
#include "platform/codepage.h"

#include <QtTest>

namespace {

QByteArray textBytes(const QString& text)
{
    return TestSupport::exerciseText(text);
}

// The log the Exercise screen records for a script: a half-width character is a key (its
// key-down and its character), a wide one an input-method commit (its character alone);
// ⌫ Backspace, ⌦ Delete, ← ↑ → ↓ the arrows, ⏎ Enter, ⎋ Esc.
KeystrokeLog logOf(const QString& script)
{
    KeystrokeLog log;
    const auto key = [&log](int keyDown, int character) {
        log.append({0, KeystrokeEvent::Kind::KeyDown, qint16(keyDown)});
        if (character >= 0)
            log.append({0, KeystrokeEvent::Kind::Character, qint16(character)});
    };
    const QHash<QChar, std::pair<int, int>> named = {
        {u'⌫', {8, 8}},   {u'⌦', {46, -1}}, {u'←', {37, -1}}, {u'↑', {38, -1}},
        {u'→', {39, -1}}, {u'↓', {40, -1}}, {u'⏎', {13, 13}}, {u'⎋', {27, -1}},
    };
    for (const QChar c : script) {
        if (named.contains(c)) {
            key(named[c].first, named[c].second);
        } else if (c.unicode() < 128) {
            key(c.isLetter() ? c.toUpper().unicode() : 0, c.unicode());
        } else {
            log.append({0, KeystrokeEvent::Kind::Character, *CodePage::charCode(c.unicode())});
        }
    }
    return log;
}

// "character typed/wrong instead" for each character typed wrong, most often first.
QString summary(const MistakeTally& tally)
{
    QStringList parts;
    for (const CharacterMistakes& entry : tally.mostOften())
        parts << QStringLiteral("%1 %2/%3 %4")
                     .arg(Mistakes::shown(entry.character))
                     .arg(entry.typed)
                     .arg(entry.wrong)
                     .arg(Mistakes::typedInsteadText(entry));
    return parts.join(QStringLiteral("; "));
}

} // namespace

class TestMistakes : public QObject {
    Q_OBJECT

private slots:
    void countsWhatWasTypedInEachCell_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("mistakes");
        QTest::addColumn<int>("typed");
        const int en = int(ExerciseKind::English), cn = int(ExerciseKind::Chinese);
        QTest::newRow("none") << en << "abc\n"
                              << "abc"
                              << "" << 3;
        QTest::newRow("left wrong") << en << "abc\n"
                                    << "axc"
                                    << "b 1/1 x" << 3;
        QTest::newRow("taken back with Backspace") << en << "abc\n"
                                                   << "ax⌫bc"
                                                   << "b 2/1 x" << 4;
        QTest::newRow("taken back with Delete") << en << "abc\n"
                                                << "ax←⌦bc"
                                                << "b 2/1 x" << 4;
        QTest::newRow("typed over after Left") << en << "abc\n"
                                               << "ax←bc"
                                               << "b 2/1 x" << 4;
        QTest::newRow("the same twice") << en << "abab\n"
                                        << "xbyb⌫⌫⌫⌫xb"
                                        << "a 3/3 x×2、y" << 6;
        // Backspace takes the cursor back: what is typed then answers the cells it lands on.
        QTest::newRow("typed on after Backspace") << en << "abab\n"
                                                  << "xbyb⌫⌫⌫xb"
                                                  << "a 3/3 b、x、y; b 3/1 x" << 6;
        QTest::newRow("most wrong first, then the rate") << en << "abcabc\n"
                                                         << "xq⌫bcyzc"
                                                         << "a 2/2 x、y; b 3/2 q、z" << 7;
        QTest::newRow("equal, then by the character") << en << "ab\n"
                                                      << "yx"
                                                      << "a 1/1 y; b 1/1 x" << 2;
        QTest::newRow("Enter inside a line") << en << "ab\ncd\n"
                                             << "a⏎cd⏎"
                                             << "b 1/1 回车" << 5;
        QTest::newRow("Enter where a letter belongs twice") << en << "ab\ncd\n"
                                                            << "a⏎⌫←⏎cd"
                                                            << "b 2/2 回车×2" << 5;
        QTest::newRow("space and capitals") << en << "a B\n"
                                            << "a_b"
                                            << "空格 1/1 _; B 1/1 b" << 3;
        QTest::newRow("nothing counts after Esc") << en << "abc\n"
                                                  << "ax⎋yy"
                                                  << "b 1/1 x" << 2;
        QTest::newRow("a moved line") << en << "ab\ncd\n"
                                      << "↓xd↑←←ab"
                                      << "c 1/1 x" << 4;
        QTest::newRow("up onto a line end") << en << "ab\ncd\n"
                                            << "↓xd↑ab"
                                            << "c 2/2 b、x; 回车 1/1 a" << 4;
        QTest::newRow("chinese") << cn << "中文打字\n"
                                 << "中大打字"
                                 << "文 1/1 大" << 4;
        QTest::newRow("chinese corrected") << cn << "中文\n"
                                           << "中大⌫文"
                                           << "文 2/1 大" << 3;
        QTest::newRow("chinese corrected with Delete") << cn << "中文\n"
                                                       << "中大←⌦文"
                                                       << "文 2/1 大" << 3;
        // A half-width character shifts the cells: the wide one after it lands on a right half.
        QTest::newRow("chinese after a half-width slip") << cn << "中文\n"
                                                         << "中a文"
                                                         << "文 2/2 a、文" << 3;
        QTest::newRow("chinese punctuation") << cn << "你好，再见\n"
                                             << "你好,⌫，再见"
                                             << "， 2/1 ," << 6;
        QTest::newRow("chinese cells shifted") << cn << "你好，再见\n"
                                               << "你好,再见"
                                               << "， 2/2 ,、再; 再 1/1 见" << 5;
    }

    void countsWhatWasTypedInEachCell()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, script);
        QFETCH(QString, mistakes);
        QFETCH(int, typed);
        MistakeTally tally;
        QVERIFY(tally.add(textBytes(text), ExerciseKind(kind), logOf(script)));
        QCOMPARE(summary(tally), mistakes);
        QCOMPARE(tally.typed(), typed);
        int wrong = 0;
        for (const CharacterMistakes& entry : tally.characters())
            wrong += entry.wrong;
        QCOMPARE(tally.wrong(), wrong);
        QCOMPARE(tally.exercises(), 1);
    }

    void sumsOverResultsByKind()
    {
        const KeystrokeLog slip = logOf(QStringLiteral("axc"));
        MistakesByKind all;
        all.add(ExerciseKind::English, textBytes(QStringLiteral("abc\n")), KeystrokeLogs::encode(slip));
        all.add(ExerciseKind::English, textBytes(QStringLiteral("cab\n")), KeystrokeLogs::encode(slip));
        all.add(ExerciseKind::Chinese, textBytes(QStringLiteral("中文\n")),
                KeystrokeLogs::encode(logOf(QStringLiteral("中大"))));
        all.add(ExerciseKind::English, textBytes(QStringLiteral("abc\n")), QByteArray("not a log"));
        all.add(ExerciseKind(7), textBytes(QStringLiteral("abc\n")), KeystrokeLogs::encode(slip));
        QCOMPARE(all.unusable, 2);
        QCOMPARE(all.english.exercises(), 2);
        QCOMPARE(summary(all.english), QStringLiteral("b 2/2 c、x; a 2/1 x; c 2/1 a"));
        QCOMPARE(summary(all.chinese), QStringLiteral("文 1/1 大"));

        // Summing tallies gives what adding the logs one by one gives.
        MistakeTally first, second;
        first.add(textBytes(QStringLiteral("abc\n")), ExerciseKind::English, slip);
        second.add(textBytes(QStringLiteral("cab\n")), ExerciseKind::English, slip);
        first.add(second);
        QCOMPARE(summary(first), summary(all.english));
        QCOMPARE(first.typed(), all.english.typed());
        QCOMPARE(first.exercises(), 2);
    }

    void charactersSitOnTheirKeys_data()
    {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("label");
        QTest::newRow("letter") << "q"
                                << "Q";
        QTest::newRow("capital") << "Q"
                                 << "Q";
        QTest::newRow("digit") << "1"
                               << "! 1";
        QTest::newRow("shifted digit") << "("
                                       << "( 9";
        QTest::newRow("quote") << "\""
                               << "\" '";
        QTest::newRow("backslash") << "\\"
                                   << "| \\";
        QTest::newRow("space") << " "
                               << "Space";
        QTest::newRow("line end") << "\r"
                                  << "Enter";
        QTest::newRow("tab") << "\t"
                             << "Tab";
        QTest::newRow("wide") << "中"
                              << "";
        QTest::newRow("full-width comma") << "，"
                                          << "";
    }

    void charactersSitOnTheirKeys()
    {
        QFETCH(QString, character);
        QFETCH(QString, label);
        const int key = UsKeyboard::keyFor(character);
        QCOMPARE(key >= 0 ? UsKeyboard::keys().at(key).label : QString(), label);
    }

    void keyboardRowsFitTheirWidth()
    {
        // Every row ends within the widest row's fifteen key widths, and no two keys overlap.
        QMap<int, double> rowEnd;
        for (const KeyboardKey& key : UsKeyboard::keys()) {
            QVERIFY2(key.left >= rowEnd.value(key.row, 0) - 1e-9, qPrintable(key.label));
            rowEnd[key.row] = key.left + key.width;
        }
        QCOMPARE(rowEnd.size(), 5);
        for (double end : rowEnd)
            QVERIFY(end <= 15 + 1e-9);
        QCOMPARE(rowEnd.value(0), 15.0);
    }

    void keyRatesSumTheirCharacters()
    {
        MistakeTally tally;
        tally.add(textBytes(QStringLiteral("aA b\n")), ExerciseKind::English, logOf(QStringLiteral("aa⌫A n")));
        const QList<UsKeyboard::KeyRate> rates = UsKeyboard::rates(tally);
        QCOMPARE(rates.size(), UsKeyboard::keys().size());
        const UsKeyboard::KeyRate a = rates[UsKeyboard::keyFor(QStringLiteral("a"))];
        QCOMPARE(a.typed, 3); // a, then a where A belongs, then A
        QCOMPARE(a.wrong, 1);
        const UsKeyboard::KeyRate b = rates[UsKeyboard::keyFor(QStringLiteral("b"))];
        QCOMPARE(b.typed, 1);
        QCOMPARE(b.rate(), 1.0);
        QCOMPARE(rates[UsKeyboard::keyFor(QStringLiteral(" "))].wrong, 0);
        QCOMPARE(rates[UsKeyboard::keyFor(QStringLiteral("n"))].typed, 0); // typed, but not where it belonged
    }

    void paceFollowsTheSpeed_data()
    {
        QTest::addColumn<qint64>("changeAt"); // when 4× begins (0: never)
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<qint64>("waitFor2000");
        // Started at 10 000 on the steady clock.
        QTest::newRow("1x") << qint64(0) << qint64(11500) << qint64(1500) << qint64(500);
        QTest::newRow("1x past") << qint64(0) << qint64(12500) << qint64(2500) << qint64(0);
        QTest::newRow("4x from the start") << qint64(10000) << qint64(10400) << qint64(1600) << qint64(100);
        QTest::newRow("4x later") << qint64(11000) << qint64(11100) << qint64(1400) << qint64(150);
        QTest::newRow("4x rounds up") << qint64(11000) << qint64(11249) << qint64(1996) << qint64(1);
    }

    void paceFollowsTheSpeed()
    {
        QFETCH(qint64, changeAt);
        QFETCH(qint64, now);
        QFETCH(qint64, position);
        QFETCH(qint64, waitFor2000);
        ReplayPace pace(10000);
        if (changeAt > 0)
            pace.setSpeed(4, changeAt);
        QCOMPARE(pace.position(now), position);
        QCOMPARE(pace.wait(2000, now), waitFor2000);
    }
};

QTEST_GUILESS_MAIN(TestMistakes)
#include "test_mistakes.moc"
