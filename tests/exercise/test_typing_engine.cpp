// The typing engine: what each character stores and draws, how wide characters share cells,
// how the cursor wraps and the view follows, and every editing and navigation key.

#include "typing_rig.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
const QByteArray kZhong("\xD6\xD0");    // 中
const QByteArray kWen("\xCE\xC4");      // 文
const QByteArray kZi("\xD7\xD6");       // 字
const QByteArray kWideSpace("\xA1\xA1");
const QColor kRight(0, 192, 0);
const QColor kWrong(192, 0, 0);

// Lines "l0\r\n", "l1\r\n", ...: n short lines, the last without CR LF.
QList<QByteArray> shortLines(int n)
{
    QList<QByteArray> lines;
    for (int i = 0; i < n; ++i)
        lines << (i + 1 < n ? QByteArray("ab\r\n") : QByteArray("ab"));
    return lines;
}
}

class TestTypingEngine : public QObject {
    Q_OBJECT
private slots:
    void countdownStartsWithFirstCharacter();
    void characterColourAndCells_data();
    void characterColourAndCells();
    void wideCharacterInEnglishText();
    void letterOnLeftHalfClearsWholeWideCharacter();
    void wideCharacterOverRightHalfOfAnother_data();
    void wideCharacterOverRightHalfOfAnother();
    void crCell();
    void endOfText();
    void wideCharacterWrapsAtLineEnd();
    void wideCharacterOneCellBeforeLastCell();
    void wideCharacterWrapSkipsLineTooShort();
    void pageFollow_data();
    void pageFollow();
    void longTextScrollsToTheEnd();
    void leftKey();
    void rightKey();
    void upAndDown();
    void lineFollowAndScrollBack();
    void deleteKey();
    void backspaceWithinLine();
    void backspaceAcrossLineStart();
    void enterKey();
    void escKey();
    void statusFieldsOnEveryKey();
    void shortAndEmptyLines();
    void fullSizeTextStaysInBuffers();
    void randomKeysKeepCellsConsistent();
};

void TestTypingEngine::countdownStartsWithFirstCharacter()
{
    TypingRig rig({"abc"});
    rig.press(Keys::Right);
    rig.press(Keys::Left);
    QCOMPARE(rig.host.countdownStarts, 0);
    QVERIFY(!rig.engine->typingStarted());
    rig.type(Keys::Backspace);
    QCOMPARE(rig.host.countdownStarts, 1);
    QVERIFY(rig.engine->typingStarted());
    rig.type("ab" + kZhong);
    QCOMPARE(rig.host.countdownStarts, 1);
}

void TestTypingEngine::characterColourAndCells_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("lastColumn");       // cell of the last character typed
    QTest::addColumn<QByteArray>("stored");    // typedBytes from that cell
    QTest::addColumn<bool>("right");
    QTest::addColumn<int>("cursor");

    QTest::newRow("same letter") << QByteArray("Ab c\r\n") << QByteArray("A") << 0 << QByteArray("A") << true << 1;
    QTest::newRow("case differs") << QByteArray("Ab c\r\n") << QByteArray("a") << 0 << QByteArray("a") << false << 1;
    QTest::newRow("half-width space") << QByteArray("Ab c\r\n") << QByteArray("Ab ") << 2 << QByteArray(" ") << true << 3;
    QTest::newRow("full-width for half-width space")
        << QByteArray("Ab cd\r\n") << QByteArray("Ab" + kWideSpace) << 2 << kWideSpace << false << 4;
    QTest::newRow("right wide") << QByteArray(kZhong + kWen + "ab\r\n") << kZhong << 0 << kZhong << true << 2;
    QTest::newRow("other wide") << QByteArray(kZhong + kWen + "ab\r\n") << kWen << 0 << kWen << false << 2;
    QTest::newRow("same lead, other trail")
        << QByteArray(kZhong + kWen + "ab\r\n") << QByteArray("\xD6\xD1") << 0 << QByteArray("\xD6\xD1") << false << 2;
    QTest::newRow("letter for wide") << QByteArray(kZhong + kWen + "ab\r\n") << QByteArray("x") << 0 << QByteArray("x") << false << 1;
    QTest::newRow("wide for letter") << QByteArray(kZhong + "abcd\r\n") << QByteArray(kZhong + kWen)
                                     << 2 << kWen << false << 4;
}

void TestTypingEngine::characterColourAndCells()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, keys);
    QFETCH(int, lastColumn);
    QFETCH(QByteArray, stored);
    QFETCH(bool, right);
    QFETCH(int, cursor);

    TypingRig rig({line, "next"});
    rig.type(keys);
    QCOMPARE(rig.canvas.shown(0, lastColumn), stored);
    QCOMPARE(rig.canvas.colour(0, lastColumn), right ? kRight : kWrong);
    for (int i = 0; i < stored.size(); ++i)
        QCOMPARE(rig.typed(lastColumn + i), quint8(stored[i]));
    QCOMPARE(rig.marked(lastColumn + 1), stored.size() == 2);
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.column(), cursor);
}

void TestTypingEngine::wideCharacterInEnglishText()
{
    TypingRig rig({"abcdef\r\n", "gh"});
    rig.type("a" + kZhong);
    QCOMPARE(rig.canvas.shown(0, 1), kZhong);
    QCOMPARE(rig.canvas.shown(0, 2), QByteArray("~"));
    QCOMPARE(rig.canvas.colour(0, 1), kWrong);
    QCOMPARE(rig.typed(1), quint8(0xD6));
    QCOMPARE(rig.typed(2), quint8(0xD0));
    QVERIFY(!rig.marked(1));
    QVERIFY(rig.marked(2));
    QCOMPARE(rig.column(), 3);
}

void TestTypingEngine::letterOnLeftHalfClearsWholeWideCharacter()
{
    TypingRig rig({kZhong + kWen + "\r\n", "x"});
    rig.type(kWen);                  // wrong wide character on cells 0 and 1
    rig.press(Keys::Left);
    QCOMPARE(rig.column(), 0);
    rig.type("q");
    QCOMPARE(rig.canvas.shown(0, 0), QByteArray("q"));
    QCOMPARE(rig.canvas.shown(0, 1), QByteArray());
    QCOMPARE(rig.typed(0), quint8('q'));
    QCOMPARE(rig.typed(1), quint8(0));
    QVERIFY(!rig.marked(1));
    QCOMPARE(rig.column(), 1);
}

void TestTypingEngine::wideCharacterOverRightHalfOfAnother_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("Chinese text") << QByteArray(kZhong + kWen + kZi + "\r\n");
    QTest::newRow("English text") << QByteArray("abcdefg\r\n");
}

void TestTypingEngine::wideCharacterOverRightHalfOfAnother()
{
    QFETCH(QByteArray, line);
    TypingRig rig({line, "x"});
    rig.type("a" + kWen);            // the wide character stands on cells 1 and 2
    QVERIFY(rig.marked(2));
    rig.press(Keys::Left);
    rig.press(Keys::Left);
    QCOMPARE(rig.column(), 0);
    rig.type(kZhong);                // cells 0 and 1: cell 2 held the old right half
    QCOMPARE(rig.canvas.shown(0, 0), kZhong);
    QCOMPARE(rig.canvas.shown(0, 1), QByteArray("~"));
    QCOMPARE(rig.canvas.shown(0, 2), QByteArray());
    QCOMPARE(rig.typed(2), quint8(0));
    QVERIFY(!rig.marked(2));
    QVERIFY(rig.marked(1));
    QCOMPARE(rig.typed(0), quint8(0xD6));
    QCOMPARE(rig.typed(1), quint8(0xD0));
    QCOMPARE(rig.column(), 2);
}

void TestTypingEngine::crCell()
{
    TypingRig rig({"ab\r\n", "cd\r\n", "ef"});
    rig.type("ab");
    QCOMPARE(rig.column(), 2);       // on the CR cell
    rig.type("x");
    QCOMPARE(rig.canvas.colour(0, 2), kWrong);
    QCOMPARE(rig.typed(2), quint8('x'));
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 0);
    QCOMPARE(rig.host.lineShown, 2);

    rig.type("cd" + QByteArray(Keys::Enter));
    QCOMPARE(rig.typed(6), quint8(13));
    QCOMPARE(rig.canvas.shown(1, 2), QByteArray());
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.host.lineShown, 3);
}

void TestTypingEngine::endOfText()
{
    TypingRig rig({"a\r\n", "bc"});
    rig.type("a\rbc");
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 1);       // the cursor stays on the last cell
    rig.type("x");
    rig.type("y");
    QCOMPARE(rig.typed(3), quint8('b'));
    QCOMPARE(rig.typed(4), quint8('y'));
    QCOMPARE(rig.canvas.shown(1, 1), QByteArray("y"));
    QCOMPARE(rig.column(), 1);

    rig.type(kZhong);                // blanks the last cell and is dropped
    QCOMPARE(rig.typed(4), quint8(0));
    QCOMPARE(rig.typed(5), quint8(0));
    QVERIFY(!rig.marked(5));
    QCOMPARE(rig.canvas.shown(1, 1), QByteArray());
    QCOMPARE(rig.canvas.shown(1, 2), QByteArray());
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 1);
}

void TestTypingEngine::wideCharacterWrapsAtLineEnd()
{
    TypingRig rig({kZhong + kWen + "\r\n", kZhong + kWen + "a"});
    rig.type(kZhong + kWen);
    QCOMPARE(rig.column(), 4);       // the CR cell
    rig.type("x");                   // stored on the CR cell, on to the next line
    rig.press(Keys::Left);
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.column(), 4);
    QCOMPARE(rig.typed(4), quint8('x'));

    rig.type(kZhong);                // clears the CR cell and goes to the next line
    QCOMPARE(rig.typed(4), quint8(0));
    QCOMPARE(rig.canvas.shown(0, 4), QByteArray());
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.host.lineShown, 2);
    QCOMPARE(rig.canvas.shown(1, 0), kZhong);
    QCOMPARE(rig.canvas.colour(1, 0), kRight);
    QCOMPARE(rig.typed(6), quint8(0xD6));
    QVERIFY(rig.marked(7));
    QCOMPARE(rig.column(), 2);
    QVERIFY(!rig.engine->cursorLowerEndAscii());
}

void TestTypingEngine::wideCharacterOneCellBeforeLastCell()
{
    // A wrapped line of even length ends with a wide character and moves on by itself.
    TypingRig rig({kZhong + kWen, "ab\r\n", kZhong + kWen});
    rig.type(kZhong + kWen);
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 0);
    QVERIFY(rig.marked(3));
    QVERIFY(rig.engine->cursorLowerEndAscii());

    // The trail byte lands on the CR cell.
    rig.type("a" + kZi);
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.typed(5), quint8(0xD7));
    QCOMPARE(rig.typed(6), quint8(0xD6));
    QVERIFY(rig.marked(6));
    QCOMPARE(rig.canvas.shown(1, 1), kZi);

    // On the last line the cursor stays on the wide character's left half.
    rig.type(kZhong + kWen);
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.column(), 2);
    rig.type(kZi);
    QCOMPARE(rig.column(), 2);
    QCOMPARE(rig.typed(10), quint8(0xD7));
    QCOMPARE(rig.typed(11), quint8(0xD6));
}

void TestTypingEngine::wideCharacterWrapSkipsLineTooShort()
{
    // A line holding only its CR cell has no room for a wide character.
    TypingRig rig({"ab\r\n", "\r\n", kZhong + "\r\n", "x"});
    rig.type("ab");
    rig.type(kZhong);
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.column(), 2);
    QCOMPARE(rig.host.lineShown, 3);
    QCOMPARE(rig.typed(4), quint8(0));
    QCOMPARE(rig.typed(6), quint8(0xD6));
    QCOMPARE(rig.typed(7), quint8(0xD0));
    QVERIFY(!rig.marked(6));
    QVERIFY(rig.marked(7));
    QCOMPARE(rig.canvas.shown(2, 0), kZhong);
    QCOMPARE(rig.canvas.shown(1, 0), QByteArray());
}

void TestTypingEngine::pageFollow_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("expected");   // scroll value after the move onto row 12
    const auto maximumFor = [](int lines) { return lines * 600 + 300 - 8000 + 600 + 600; };
    QTest::newRow("eleven lines at a time") << 30 << 6600;
    QTest::newRow("eleven or fewer left: to the end") << 23 << maximumFor(23);
}

void TestTypingEngine::pageFollow()
{
    QFETCH(int, lines);
    QFETCH(int, expected);
    TypingRig rig(shortLines(lines), lines * 600 + 300 - 8000 + 600 + 600);
    for (int i = 0; i < 11; ++i)
        rig.type("ab\r");
    QCOMPARE(rig.line(), 11);
    QCOMPARE(rig.host.value, 0);
    rig.type("ab");                 // typing wraps onto line 12 through the CR cell
    QCOMPARE(rig.host.value, 0);
    rig.type("x");
    QCOMPARE(rig.line(), 12);
    QCOMPARE(rig.host.value, expected);
}

void TestTypingEngine::longTextScrollsToTheEnd()
{
    const int maximum = 201 * 600 + 300 - 8000 + 1200;
    TypingRig rig(shortLines(201), maximum);
    int highest = 0;
    for (int i = 0; i < 200; ++i) {
        rig.type(Keys::Enter);
        highest = std::max(highest, rig.host.value);
    }
    QCOMPARE(rig.line(), 200);
    QCOMPARE(rig.host.value, maximum);
    QVERIFY(highest > 32767);
    // And back up to the top, one line at a time once the top line leaves the view.
    rig.press(Keys::Up, 200);
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.host.value, 0);
}

void TestTypingEngine::leftKey()
{
    TypingRig rig({"abcdefg\r\n", "a" + kZhong, "xyz"});
    rig.press(Keys::Left);           // start of line 0: nothing
    QCOMPARE(rig.column(), 0);
    QCOMPARE(rig.line(), 0);

    rig.type("abcde");
    rig.press(Keys::Left);
    QCOMPARE(rig.host.columnShown, 5);
    QCOMPARE(rig.column(), 4);
    rig.press(Keys::Left, 2);
    rig.type(kZhong);                // cells 2 and 3
    QCOMPARE(rig.column(), 4);
    rig.press(Keys::Left);
    QCOMPARE(rig.column(), 2);

    // From a line start to the last cell of the line above, or the left half of a wide
    // character that ends it.
    rig.press(Keys::Down);
    rig.press(Keys::Left, 2);
    rig.type("a" + kZhong);          // the wide character ends the line: on to line 2
    QCOMPARE(rig.line(), 2);
    rig.press(Keys::Left);
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 1);
    QCOMPARE(rig.host.lineShown, 2);
    rig.press(Keys::Left, 2);
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.column(), 7);       // the CR cell
}

void TestTypingEngine::rightKey()
{
    TypingRig rig({"abcdef\r\n", "abc" + kZhong, "xy"});
    rig.type(kZhong);
    rig.press(Keys::Left);
    rig.press(Keys::Right);          // over the wide character
    QCOMPARE(rig.column(), 2);
    rig.press(Keys::Right);
    QCOMPARE(rig.column(), 3);
    rig.press(Keys::Right, 3);       // onto the CR cell, then on to the next line
    QCOMPARE(rig.column(), 6);
    rig.press(Keys::Right);
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 0);
    QCOMPARE(rig.host.lineShown, 2);

    // A wide character on the last two cells: Right goes on to the next line, not past the line.
    rig.type("abc" + kZhong);
    QCOMPARE(rig.line(), 2);
    rig.press(Keys::Up);
    QCOMPARE(rig.column(), 0);
    rig.press(Keys::Right, 3);
    QCOMPARE(rig.column(), 3);
    rig.press(Keys::Right);
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.column(), 0);

    // The last cell of the last line: nothing.
    rig.press(Keys::Right, 5);
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.column(), 1);
}

void TestTypingEngine::upAndDown()
{
    const QByteArray forty(40, 'a');
    TypingRig rig({forty + "\r\n", QByteArray(19, 'b') + "\r\n", "c" + kZhong + "dd\r\n", "ab" + kZhong});
    rig.press(Keys::Up);             // line 0: nothing
    QCOMPARE(rig.line(), 0);
    rig.press(Keys::Down);
    rig.press(Keys::Down);
    rig.type("c" + kZhong);
    rig.type(Keys::Enter);
    rig.type("ab" + kZhong);         // the last line: the cursor stays on the wide character
    QCOMPARE(rig.line(), 3);
    QCOMPARE(rig.column(), 2);

    rig.press(Keys::Down);           // the last line: nothing
    QCOMPARE(rig.line(), 3);
    rig.press(Keys::Up);             // column 2 is the right half of 中 on line 2
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.column(), 1);
    rig.press(Keys::Up, 2);
    rig.press(Keys::Right, 38);
    QCOMPARE(rig.column(), 39);
    rig.press(Keys::Down);           // a line of 20 cells: its last cell
    QCOMPARE(rig.column(), 19);
    QCOMPARE(rig.host.lineShown, 2);
    rig.press(Keys::Down, 2);        // line 3 ends with a wide character: its left half
    QCOMPARE(rig.line(), 3);
    QCOMPARE(rig.column(), 2);
}

void TestTypingEngine::lineFollowAndScrollBack()
{
    TypingRig rig(shortLines(30), 10500);
    rig.press(Keys::Down, 11);
    QCOMPARE(rig.host.value, 0);
    rig.press(Keys::Down);           // row 12: one line
    QCOMPARE(rig.host.value, 600);
    rig.press(Keys::Right, 3);       // across the line end onto row 12 again
    QCOMPARE(rig.line(), 13);
    QCOMPARE(rig.host.value, 1200);
    rig.press(Keys::Down, 20);       // the last step finds less than a line left
    QCOMPARE(rig.line(), 29);
    QCOMPARE(rig.host.value, 10500);

    rig.host.value = 6600;           // lines 0 to 10 scrolled away
    rig.press(Keys::Up, 19);
    QCOMPARE(rig.line(), 10);
    QCOMPARE(rig.host.value, 6000);
    rig.host.value = 6300;           // half a line of line 10 still shows
    rig.press(Keys::Up);
    QCOMPARE(rig.host.value, 5700);
    rig.host.value = 300;
    rig.press(Keys::Up, 9);
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.host.value, 0);     // less than a line away: back to the top
    rig.host.value = 1200;
    rig.press(Keys::Down);
    rig.press(Keys::Left);           // line 0 under the top edge: up a line
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.host.value, 600);
}

void TestTypingEngine::deleteKey()
{
    TypingRig rig({"abcdef\r\n", "x"});
    rig.type("a" + kZhong);
    rig.press(Keys::Left);
    rig.press(Keys::Delete);
    QCOMPARE(rig.column(), 1);
    QCOMPARE(rig.typed(1), quint8(0));
    QCOMPARE(rig.typed(2), quint8(0));
    QVERIFY(!rig.marked(2));
    QCOMPARE(rig.canvas.shown(0, 1), QByteArray());
    QCOMPARE(rig.canvas.shown(0, 2), QByteArray());

    rig.press(Keys::Left);
    rig.press(Keys::Delete);
    QCOMPARE(rig.typed(0), quint8(0));
    QCOMPARE(rig.canvas.shown(0, 0), QByteArray());
    QCOMPARE(rig.canvas.log.last(), QStringLiteral("blank 0,0x1"));
    const int drawn = int(rig.canvas.log.size());
    rig.press(Keys::Delete);         // an empty cell: nothing
    QCOMPARE(rig.canvas.log.size(), drawn);

    // A single-byte code of 0x80 or more is one cell: its neighbour stays.
    rig.type(QByteArray(1, char(0x80)));
    rig.type("b");
    rig.press(Keys::Left, 2);
    rig.press(Keys::Delete);
    QCOMPARE(rig.typed(0), quint8(0));
    QCOMPARE(rig.typed(1), quint8('b'));
}

void TestTypingEngine::backspaceWithinLine()
{
    TypingRig rig({"abcdef\r\n", "x"});
    rig.type("a" + kZhong + "b");
    rig.type(Keys::Backspace);
    QCOMPARE(rig.column(), 3);
    QCOMPARE(rig.typed(3), quint8(0));
    QCOMPARE(rig.canvas.shown(0, 3), QByteArray());
    rig.type(Keys::Backspace);       // the wide character, both cells
    QCOMPARE(rig.column(), 1);
    QCOMPARE(rig.typed(1), quint8(0));
    QCOMPARE(rig.typed(2), quint8(0));
    QVERIFY(!rig.marked(2));
    QCOMPARE(rig.canvas.log.last(), QStringLiteral("blank 0,1x2"));
    rig.type(QByteArray(Keys::Backspace) + Keys::Backspace);   // the second at the start of line 0
    QCOMPARE(rig.column(), 0);
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.typed(0), quint8(0));
}

void TestTypingEngine::backspaceAcrossLineStart()
{
    // A letter on the last cell.
    {
        TypingRig rig({"ab\r\n", "cd"});
        rig.type("abx");
        QCOMPARE(rig.line(), 1);
        rig.type(Keys::Backspace);
        QCOMPARE(rig.line(), 0);
        QCOMPARE(rig.column(), 2);
        QCOMPARE(rig.typed(2), quint8(0));
        QCOMPARE(rig.canvas.shown(0, 2), QByteArray());
        QCOMPARE(rig.host.lineShown, 1);
    }
    // A wide character ending the line.
    {
        TypingRig rig({"a" + kZhong, "cd"});
        rig.type("a" + kZhong);
        QCOMPARE(rig.line(), 1);
        rig.type(Keys::Backspace);
        QCOMPARE(rig.line(), 0);
        QCOMPARE(rig.column(), 1);
        QCOMPARE(rig.typed(1), quint8(0));
        QCOMPARE(rig.typed(2), quint8(0));
        QVERIFY(!rig.marked(2));
        QCOMPARE(rig.canvas.log.last(), QStringLiteral("blank 0,1x2"));
    }
    // Enter on the last cell: only the 13 goes, nothing is drawn.
    {
        TypingRig rig({"ab\r\n", "cd"});
        rig.type("ab\r");
        const int drawn = int(rig.canvas.log.size());
        rig.type(Keys::Backspace);
        QCOMPARE(rig.line(), 0);
        QCOMPARE(rig.column(), 2);
        QCOMPARE(rig.typed(2), quint8(0));
        QCOMPARE(rig.typed(1), quint8('b'));
        QCOMPARE(rig.canvas.log.size(), drawn);
    }
    // Enter before the last cell stays; the cursor lands on the last cell.
    {
        TypingRig rig({"abc\r\n", "cd"});
        rig.type("a\r");
        rig.type(Keys::Backspace);
        QCOMPARE(rig.column(), 3);
        QCOMPARE(rig.typed(1), quint8(13));
    }
}

void TestTypingEngine::enterKey()
{
    TypingRig rig({"abcdef\r\n", "ghij"});
    rig.type("a" + kZhong);
    rig.press(Keys::Left);
    rig.type(Keys::Enter);           // on the left half of a wide character
    QCOMPARE(rig.typed(1), quint8(13));
    QCOMPARE(rig.typed(2), quint8(0));
    QVERIFY(!rig.marked(2));
    QCOMPARE(rig.canvas.shown(0, 1), QByteArray());
    QCOMPARE(rig.canvas.shown(0, 2), QByteArray());
    for (int p = 3; p <= 6; ++p)
        QCOMPARE(rig.typed(p), quint8(0));
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 0);
    QCOMPARE(rig.host.lineShown, 2);

    rig.type("g\r");                 // the last line: recorded, the cursor stays
    QCOMPARE(rig.typed(9), quint8(13));
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 1);
}

void TestTypingEngine::escKey()
{
    {
        TypingRig rig({"ab"});
        rig.press(Keys::Esc);
        QCOMPARE(rig.host.escapes, 1);
        QVERIFY(rig.engine->endedByEsc());
        QVERIFY(!rig.engine->typingStarted());
        QCOMPARE(rig.host.lineShown, 1);
    }
    TypingRig rig({"ab"});
    rig.type("a");
    rig.press(Keys::Esc);
    QCOMPARE(rig.host.escapes, 1);
    QVERIFY(rig.engine->endedByEsc());
    QVERIFY(rig.engine->typingStarted());
    rig.type("b");                   // the exercise is over: keys change nothing
    rig.press(Keys::Esc);
    QCOMPARE(rig.typed(1), quint8(0));
    QCOMPARE(rig.host.escapes, 1);
}

void TestTypingEngine::statusFieldsOnEveryKey()
{
    TypingRig rig({"abcdefg\r\n", "xy"});
    rig.type("abcde");
    rig.host.columnShown = rig.host.lineShown = -1;
    rig.press(36);                           // no action, both fields written
    QCOMPARE(rig.host.columnShown, 5);
    QCOMPARE(rig.host.lineShown, 1);
    QCOMPARE(rig.column(), 5);
    rig.press(Keys::Down);
    QCOMPARE(rig.host.columnShown, 5);
    QCOMPARE(rig.host.lineShown, 2);
}

void TestTypingEngine::shortAndEmptyLines()
{
    TypingRig rig({"abc\r\n", "", "\r\n", "abc"});
    rig.type("abcz");                // z on the CR cell, on to the empty line
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 0);
    rig.type("x");                   // nothing to type on: on to the next line
    QCOMPARE(rig.line(), 2);
    QCOMPARE(rig.column(), 0);
    QCOMPARE(rig.typed(5), quint8(0));
    rig.type(Keys::Backspace);       // back onto the empty line: nothing to erase
    QCOMPARE(rig.line(), 1);
    QCOMPARE(rig.column(), 0);
    QCOMPARE(rig.typed(3), quint8('z'));
    rig.press(Keys::Down, 2);
    QCOMPARE(rig.line(), 3);
    rig.press(Keys::Right, 2);
    rig.press(Keys::Up);             // a line of one cell
    QCOMPARE(rig.column(), 0);
    rig.press(Keys::Up);             // a line of none
    QCOMPARE(rig.column(), 0);
    rig.press(Keys::Left);
    QCOMPARE(rig.line(), 0);
    QCOMPARE(rig.column(), 3);
    rig.type(Keys::Enter);
    QCOMPARE(rig.line(), 1);
    rig.press(Keys::Delete);
    rig.type(Keys::Enter);
    rig.press(Keys::Right);
    QCOMPARE(rig.line(), 3);
    QCOMPARE(rig.typed(0), quint8('a'));
    QCOMPARE(rig.typed(2), quint8('c'));
    QCOMPARE(rig.typed(3), quint8(13));
    for (int p = 4; p < 10; ++p)
        QCOMPARE(rig.typed(p), quint8(0));
}

void TestTypingEngine::fullSizeTextStaysInBuffers()
{
    // The last line ends at position 4096 although the table claims more.
    TypingRig rig({"a"});
    rig.text.textLength = 4096;
    rig.text.lineTable[0] = {0, 4090};
    rig.text.lineTable[1] = {4090, 40};
    rig.text.lastLine = 1;
    rig.press(Keys::Down);
    rig.press(Keys::Right, 40);
    QCOMPARE(rig.column(), 6);
    QCOMPARE(rig.engine->cursorPosition(), 4096);
    rig.type("a");
    QCOMPARE(rig.typed(4096), quint8('a'));
    rig.press(Keys::Left);
    rig.type(kZhong);                // one cell before the last: the trail on position 4096
    QCOMPARE(rig.typed(4095), quint8(0xD6));
    QCOMPARE(rig.typed(4096), quint8(0xD0));
    QVERIFY(rig.marked(4096));
    QCOMPARE(rig.column(), 5);
    for (int i = 0; i < 20; ++i) {
        rig.type(kWen + "a" + kZi + "\b");
        rig.press(Keys::Right);
        rig.press(Keys::Delete);
        rig.type("\r" + kZi);
        rig.press(Keys::Right);
        rig.type("b");
    }
    QCOMPARE(rig.line(), 1);
    QVERIFY(rig.engine->cursorPosition() <= 4096);
    QCOMPARE(rig.engine->positionMarks()[0], qint16(0));
    QCOMPARE(rig.typed(0), quint8(0));
}

// Random keys over a Chinese text never leave a half character behind and never put the cursor
// outside its line or onto the right half of a wide character.
void TestTypingEngine::randomKeysKeepCellsConsistent()
{
    TypingRig rig({kZhong + "ab" + kWen + "\r\n", "\r\n", "a" + kZi + kZhong + "b", "", kWen + kZi + "\r\n",
                   "abc" + kZhong});
    QRandomGenerator random(4711);
    const QList<QByteArray> characters{kZhong, kWen, "a", "x", "\b", "\r", kWideSpace};
    const QList<int> keys{Keys::Left, Keys::Right, Keys::Up, Keys::Down, Keys::Delete};
    for (int step = 0; step < 5000; ++step) {
        if (random.bounded(2) == 0)
            rig.type(characters[random.bounded(int(characters.size()))]);
        else
            rig.press(keys[random.bounded(int(keys.size()))]);

        const int line = rig.line();
        const int length = rig.text.lineTable[line].length;
        const int start = rig.text.lineTable[line].start;
        QVERIFY2(line >= 0 && line <= rig.text.lastLine, qPrintable(QString::number(step)));
        QVERIFY2(rig.column() >= 0 && rig.column() <= std::max(0, length - 1), qPrintable(QString::number(step)));
        QVERIFY2(!rig.marked(start + rig.column()) || rig.column() == 0, qPrintable(QString::number(step)));
        // Nothing is stored between lines (the LF bytes) or after the text.
        for (int p = 0; p < ExerciseText::kPositions; ++p) {
            bool inLine = false;
            for (int k = 0; k <= rig.text.lastLine && !inLine; ++k)
                inLine = p >= rig.text.lineTable[k].start && p < rig.text.lineTable[k].start + rig.text.lineTable[k].length;
            if (!inLine && (rig.typed(p) != 0 || rig.marked(p)))
                QFAIL(qPrintable(QStringLiteral("step %1 stored outside the lines at %2").arg(step).arg(p)));
        }
        for (int k = 0; k <= rig.text.lastLine; ++k) {
            const int s = rig.text.lineTable[k].start;
            const int e = s + rig.text.lineTable[k].length;
            for (int p = s; p < e; ++p) {
                if (!rig.marked(p))
                    continue;
                // A mark is the right half of a wide character whose left half is on the same line.
                QVERIFY2(p > s && rig.typed(p - 1) >= 0x80 && !rig.marked(p - 1) && rig.typed(p) != 0,
                         qPrintable(QStringLiteral("step %1 position %2").arg(step).arg(p)));
                QCOMPARE(rig.canvas.shown(k, p - s), QByteArray("~"));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestTypingEngine)
#include "test_typing_engine.moc"
