// The typing engine: what each character stores and draws, how wide characters share cells,
// how the cursor wraps and the view follows, and every editing and navigation key.

#include "typing_rig.h"

#include <QHash>
#include <QRandomGenerator>
#include <QtTest>

// Keys typed on a line: the cell of the last character, the bytes stored from it, whether
// they are right, and the cursor column after.
struct Typed {
    QByteArray line, keys;
    int lastColumn;
    QByteArray stored;
    bool right;
    int cursor;
};
// A character typed, `lefts` Left keys, another typed over it; cells, bytes and marks from 0.
struct Overwrite {
    QByteArray line, first;
    int lefts;
    QByteArray second;
    QByteArrayList cells;
    QByteArray stored, marks;
    int cursor;
};
// Keys that end on line 1, then Backspace: the column on line 0, the bytes stored from
// position `from` and what is drawn.
struct LineStart {
    QByteArray line, keys;
    int column, from;
    QByteArray stored;
    QStringList drawn;
};
// Keys played on a text (see TypingRig::play): where the cursor ends, the bytes and marks
// stored from position `from`, and what the cells of a row show from a column on.
struct Played {
    QList<QByteArray> lines;
    QByteArrayList keys;
    At cursor;
    int from;
    QByteArray stored, marks;
    At cellsFrom;
    QByteArrayList cells;
};
Q_DECLARE_METATYPE(Typed)
Q_DECLARE_METATYPE(Played)
Q_DECLARE_METATYPE(Overwrite)
Q_DECLARE_METATYPE(LineStart)

namespace {
const QByteArray kZhong("\xD6\xD0"); // 中
const QByteArray kWen("\xCE\xC4");   // 文
const QByteArray kZi("\xD7\xD6");    // 字
const QByteArray kWideSpace("\xA1\xA1");
const QColor kRight(0, 192, 0);
const QColor kWrong(192, 0, 0);
const QByteArray kNone("\0", 1);

const QByteArray kEuro("\x80"); // a single-byte character of 0x80 or more

// How many cells the input row of line k has: those of its line, and the one after its last
// cell when that position belongs to no other line (the LF after a CR, or past the text).
int rowCells(const ExerciseText& text, int k)
{
    const LineEntry line = text.lineTable[k];
    if (line.length <= 0)
        return 0;
    const bool ownsNext = k == text.lastLine || line.start + line.length < text.lineTable[k + 1].start;
    return line.length + (ownsNext ? 1 : 0);
}

// What is wrong with the engine's state, or nothing: the cursor stands on a cell of its line
// (past the last one only right after a wide character that ends the line), and on a right
// half only on the last cell; bytes and marks lie only in the cells of the rows; a mark stands
// on a trail byte after a lead byte in the same row; and each cell shows what its bytes say.
QString inconsistency(const TypingRig& rig)
{
    const ExerciseText& text = rig.text;
    const int line = rig.line();
    const int column = rig.column();
    if (line < 0 || line > text.lastLine)
        return QStringLiteral("cursor on line %1").arg(line);
    const LineEntry current = text.lineTable[line];
    const bool pastWide =
        column == current.length && rowCells(text, line) > current.length && rig.marked(current.start + column - 1);
    if (column < 0 || (column > std::max(0, current.length - 1) && !pastWide))
        return QStringLiteral("cursor at %1,%2").arg(line).arg(column);
    if (column > 0 && column < current.length - 1 && rig.marked(current.start + column))
        return QStringLiteral("cursor on a right half at %1,%2").arg(line).arg(column);

    QHash<int, QPair<int, int>> cellOf; // position -> line, column
    for (int k = 0; k <= text.lastLine; ++k) {
        for (int c = 0; c < rowCells(text, k); ++c)
            cellOf.insert(text.lineTable[k].start + c, {k, c});
    }
    for (int p = 0; p < ExerciseText::kPositions; ++p) {
        if ((rig.typed(p) != 0 || rig.marked(p)) && !cellOf.contains(p))
            return QStringLiteral("byte %1 or mark outside the rows at %2").arg(rig.typed(p)).arg(p);
    }
    for (auto it = cellOf.cbegin(); it != cellOf.cend(); ++it) {
        const int p = it.key();
        const auto [k, c] = it.value();
        QByteArray expected;
        if (rig.marked(p)) {
            if (c == 0 || rig.typed(p - 1) < 0x80 || rig.marked(p - 1) || rig.typed(p) == 0)
                return QStringLiteral("half a character at %1 (%2,%3)").arg(p).arg(k).arg(c);
            expected = "~";
        } else if (p + 1 < ExerciseText::kPositions && rig.marked(p + 1)) {
            expected = rig.typed(p, 2);
        } else if (rig.typed(p) != 0 && rig.typed(p) != 13) {
            expected = rig.typed(p, 1);
        }
        if (rig.canvas.shown(k, c) != expected)
            return QStringLiteral("cell %1,%2 shows \"%3\" for \"%4\" at %5")
                .arg(k)
                .arg(c)
                .arg(QString::fromLatin1(rig.canvas.shown(k, c).toHex()), QString::fromLatin1(expected.toHex()))
                .arg(p);
    }
    for (auto it = rig.canvas.cells.cbegin(); it != rig.canvas.cells.cend(); ++it) {
        const auto [k, c] = it.key();
        if (!it.value().shown.isEmpty()
            && (c >= rowCells(text, k) || cellOf.value(text.lineTable[k].start + c) != it.key()))
            return QStringLiteral("cell %1,%2 shows something outside its row").arg(k).arg(c);
    }
    return QString();
}

// n lines "ab\r\n", the last without CR LF.
QList<QByteArray> shortLines(int n)
{
    QList<QByteArray> lines(n, QByteArray("ab\r\n"));
    lines.last() = "ab";
    return lines;
}
} // namespace

class TestTypingEngine : public QObject {
    Q_OBJECT
private slots:
    void countdownStartsWithFirstCharacter()
    {
        TypingRig rig({"abc"});
        rig.press({Keys::Right, Keys::Left});
        QCOMPARE(rig.host.countdownStarts, 0);
        QVERIFY(!rig.engine->typingStarted());
        rig.type(Keys::Backspace);
        QCOMPARE(rig.host.countdownStarts, 1);
        QVERIFY(rig.engine->typingStarted());
        rig.type("ab" + kZhong);
        QCOMPARE(rig.host.countdownStarts, 1);
    }

    void characterColourAndCells_data()
    {
        QTest::addColumn<Typed>("c");
        const QByteArray ab = "Ab c\r\n", wide = kZhong + kWen + "ab\r\n";
        QTest::newRow("same letter") << Typed{ab, "A", 0, "A", true, 1};
        QTest::newRow("case differs") << Typed{ab, "a", 0, "a", false, 1};
        QTest::newRow("half-width space") << Typed{ab, "Ab ", 2, " ", true, 3};
        QTest::newRow("full-width for half-width space")
            << Typed{"Ab cd\r\n", "Ab" + kWideSpace, 2, kWideSpace, false, 4};
        QTest::newRow("right wide") << Typed{wide, kZhong, 0, kZhong, true, 2};
        QTest::newRow("other wide") << Typed{wide, kWen, 0, kWen, false, 2};
        QTest::newRow("same lead, other trail") << Typed{wide, "\xD6\xD1", 0, "\xD6\xD1", false, 2};
        QTest::newRow("letter for wide") << Typed{wide, "x", 0, "x", false, 1};
        QTest::newRow("wide for letters") << Typed{kZhong + "abcd\r\n", kZhong + kWen, 2, kWen, false, 4};
        QTest::newRow("wide in English text") << Typed{"abcdef\r\n", "a" + kZhong, 1, kZhong, false, 3};
        // Control characters are typed like any other: Tab, Ctrl+C, the line feed of Ctrl+Enter.
        QTest::newRow("tab") << Typed{ab, "\t", 0, "\t", false, 1};
        QTest::newRow("tab where the text has one") << Typed{"a\tb\r\n", "a\t", 1, "\t", true, 2};
        QTest::newRow("ctrl+c") << Typed{ab, "A\x03", 1, "\x03", false, 2};
        QTest::newRow("line feed") << Typed{ab, "\n", 0, "\n", false, 1};
        // A character code page 936 cannot hold: two cells, never right.
        QTest::newRow("unencodable") << Typed{wide, "\xFF\xFF", 0, "\xFF\xFF", false, 2};
    }

    void characterColourAndCells()
    {
        QFETCH(Typed, c);
        TypingRig rig({c.line, "next"});
        rig.type(c.keys);
        const bool wide = c.stored.size() == 2;
        QCOMPARE(rig.canvas.row(0, c.lastColumn, 2), (QByteArrayList{c.stored, wide ? "~" : ""}));
        QCOMPARE(rig.canvas.colour(0, c.lastColumn), c.right ? kRight : kWrong);
        QCOMPARE(rig.typed(c.lastColumn, int(c.stored.size())), c.stored);
        QCOMPARE(rig.marks(c.lastColumn, 2), QByteArray(wide ? "01" : "00"));
        QCOMPARE(rig.at(), At(0, c.cursor));
    }

    // Typing over a character already there: no half of a wide character is left behind.
    void overwrite_data()
    {
        QTest::addColumn<Overwrite>("c");
        QTest::newRow("letter on the left half of a wide one")
            << Overwrite{kZhong + kWen, kWen, 1, "q", {"q", ""}, "q" + kNone, "00", 1};
        // The second wide character covers cells 0 and 1; cell 2 held the old right half.
        // The second wide character covers cells 0 and 1; cell 2 held the old right half, which
        // goes whatever the text expects there.
        for (const QByteArray& line : {kZhong + kWen + kZi, QByteArray("abcdefg")})
            QTest::newRow(line.startsWith('a') ? "wide over a right half, English" : "wide over a right half, Chinese")
                << Overwrite{line, "a" + kWen, 2, kZhong, {kZhong, "~", ""}, kZhong + kNone, "010", 2};
    }

    void overwrite()
    {
        QFETCH(Overwrite, c);
        TypingRig rig({c.line + "\r\n", "x"});
        rig.type(c.first);
        rig.press(Keys::Left, c.lefts);
        QCOMPARE(rig.column(), 0);
        rig.type(c.second);
        QCOMPARE(rig.canvas.row(0, 0, int(c.cells.size())), c.cells);
        QCOMPARE(rig.typed(0, int(c.stored.size())), c.stored);
        QCOMPARE(rig.marks(0, int(c.marks.size())), c.marks);
        QCOMPARE(rig.column(), c.cursor);
    }

    void crCell()
    {
        TypingRig rig({"ab\r\n", "cd\r\n", "ef"});
        rig.type("ab");
        QCOMPARE(rig.column(), 2); // on the CR cell
        rig.type("x");
        QCOMPARE(rig.canvas.colour(0, 2), kWrong);
        QCOMPARE(rig.typed(2), quint8('x'));
        QCOMPARE(rig.at(), At(1, 0));
        QCOMPARE(rig.host.lineShown, 2);
        rig.type("cd" + QByteArray(Keys::Enter));
        QCOMPARE(rig.typed(6), quint8(13));
        QCOMPARE(rig.canvas.shown(1, 2), QByteArray());
        QCOMPARE(rig.at(), At(2, 0));
        QCOMPARE(rig.host.lineShown, 3);
    }

    void endOfText()
    {
        TypingRig rig({"a\r\n", "bc"});
        rig.type("a\rbc");
        QCOMPARE(rig.at(), At(1, 1)); // the cursor stays on the last cell
        rig.type("xy");
        QCOMPARE(rig.typed(3, 2), QByteArray("by"));
        QCOMPARE(rig.canvas.shown(1, 1), QByteArray("y"));
        QCOMPARE(rig.column(), 1);
        rig.type(kZhong); // blanks the last cell and is dropped
        QCOMPARE(rig.typed(4, 2), kNone + kNone);
        QVERIFY(!rig.marked(5));
        QCOMPARE(rig.canvas.row(1, 1, 2), (QByteArrayList{"", ""}));
        QCOMPARE(rig.at(), At(1, 1));
    }

    void wideCharacterWrapsAtLineEnd()
    {
        TypingRig rig({kZhong + kWen + "\r\n", kZhong + kWen + "a"});
        rig.type(kZhong + kWen);
        QCOMPARE(rig.column(), 4); // the CR cell
        rig.type("x");             // stored on the CR cell, on to the next line
        rig.press(Keys::Left);
        QCOMPARE(rig.at(), At(0, 4));
        QCOMPARE(rig.typed(4), quint8('x'));
        rig.type(kZhong); // clears the CR cell and goes to the next line
        QCOMPARE(rig.typed(4), quint8(0));
        QCOMPARE(rig.canvas.shown(0, 4), QByteArray());
        QCOMPARE(rig.at(), At(1, 2));
        QCOMPARE(rig.host.lineShown, 2);
        QCOMPARE(rig.canvas.shown(1, 0), kZhong);
        QCOMPARE(rig.canvas.colour(1, 0), kRight);
        QCOMPARE(rig.typed(6, 2), kZhong);
        QCOMPARE(rig.marks(6, 2), QByteArray("01"));
        QVERIFY(!rig.engine->cursorLowerEndAscii());
    }

    void wideCharacterOneCellBeforeLastCell()
    {
        // A wrapped line of even length ends with a wide character and moves on by itself.
        TypingRig rig({kZhong + kWen, "ab\r\n", kZhong + kWen});
        rig.type(kZhong + kWen);
        QCOMPARE(rig.at(), At(1, 0));
        QVERIFY(rig.marked(3));
        QVERIFY(rig.engine->cursorLowerEndAscii());
        rig.type("a" + kZi); // the trail byte lands on the CR cell
        QCOMPARE(rig.line(), 2);
        QCOMPARE(rig.typed(5, 2), kZi);
        QVERIFY(rig.marked(6));
        QCOMPARE(rig.canvas.shown(1, 1), kZi);
        // On the last line the cursor stays on the wide character's left half.
        rig.type(kZhong + kWen);
        QCOMPARE(rig.at(), At(2, 2));
        rig.type(kZi);
        QCOMPARE(rig.column(), 2);
        QCOMPARE(rig.typed(10, 2), kZi);
    }

    void wideCharacterWrapsOntoABlankLine()
    {
        // From the CR cell the wide character wraps onto the next line and is typed there,
        // even on a line that holds only its CR cell; the cursor then moves on to line 2.
        TypingRig rig({"ab\r\n", "\r\n", kZhong + "\r\n", "x"});
        rig.type("ab" + kZhong);
        QCOMPARE(rig.at(), At(2, 0));
        QCOMPARE(rig.host.lineShown, 3);
        QCOMPARE(rig.typed(4, 2), kZhong);
        QCOMPARE(rig.marks(4, 2), QByteArray("01"));
        QCOMPARE(rig.canvas.shown(1, 0), kZhong);
        QCOMPARE(rig.canvas.colour(1, 0), kWrong);
        QCOMPARE(rig.typed(6, 2), kNone + kNone);
        QCOMPARE(rig.canvas.shown(2, 0), QByteArray());
        QVERIFY(rig.engine->cursorLowerEndAscii());
    }

    // The wrap clears the old right half on the new line whatever the text expects there.
    void wideCharacterWrapRepairsTheNextCell()
    {
        TypingRig rig({"ab\r\n", "cdefg\r\n", "x"});
        rig.type("ab" + QByteArray(Keys::Enter) + "c" + kWen); // 文 in cells 1 and 2 of line 1
        rig.press(Keys::Left, 2);
        rig.press(Keys::Up);
        rig.press(Keys::Right, 2); // the CR cell of line 0
        rig.type(kZhong);
        QCOMPARE(rig.at(), At(1, 2));
        QCOMPARE(rig.typed(2), quint8(0)); // the Enter on the CR cell is gone
        QCOMPARE(rig.typed(4, 3), kZhong + kNone);
        QCOMPARE(rig.marks(4, 3), QByteArray("010"));
        QCOMPARE(rig.canvas.row(1, 0, 3), (QByteArrayList{kZhong, "~", ""}));
    }

    // Typing onto row 12 scrolls eleven lines, or to the end when fewer are left.
    void pageFollow_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("expected"); // -1: the scroll maximum
        QTest::newRow("eleven lines at a time") << 30 << 6600;
        QTest::newRow("eleven or fewer left: to the end") << 23 << -1;
    }

    void pageFollow()
    {
        QFETCH(int, lines);
        QFETCH(int, expected);
        TypingRig rig(shortLines(lines), lines * 600 + 300 - 8000 + 600 + 600);
        rig.type(QByteArray("ab\r").repeated(11));
        QCOMPARE(rig.line(), 11);
        rig.type("ab"); // typing wraps onto line 12 through the CR cell
        QCOMPARE(rig.host.value, 0);
        rig.type("x");
        QCOMPARE(rig.line(), 12);
        QCOMPARE(rig.host.value, expected < 0 ? rig.host.maximum : expected);
    }

    void longTextScrollsToTheEnd()
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
        rig.press(Keys::Up, 200); // back to the top, a line at a time
        QCOMPARE(rig.at(), At(0, 0));
        QCOMPARE(rig.host.value, 0);
    }

    void leftKey()
    {
        TypingRig rig({"abcdefg\r\n", "a" + kZhong, "xyz"});
        rig.press(Keys::Left); // start of line 0: nothing
        QCOMPARE(rig.at(), At(0, 0));
        rig.type("abcde");
        rig.press(Keys::Left);
        QCOMPARE(rig.host.columnShown, 5);
        QCOMPARE(rig.column(), 4);
        rig.press(Keys::Left, 2);
        rig.type(kZhong); // cells 2 and 3
        QCOMPARE(rig.column(), 4);
        rig.press(Keys::Left);
        QCOMPARE(rig.column(), 2);
        // From a line start to the last cell of the line above, or the left half of a wide
        // character that ends it.
        rig.press({Keys::Down, Keys::Left, Keys::Left});
        rig.type("a" + kZhong); // the wide character ends the line: on to line 2
        QCOMPARE(rig.line(), 2);
        rig.press(Keys::Left);
        QCOMPARE(rig.at(), At(1, 1));
        QCOMPARE(rig.host.lineShown, 2);
        rig.press(Keys::Left, 2);
        QCOMPARE(rig.at(), At(0, 7)); // the CR cell
    }

    void rightKey()
    {
        TypingRig rig({"abcdef\r\n", "abc" + kZhong, "xy"});
        rig.type(kZhong);
        rig.press({Keys::Left, Keys::Right}); // over the wide character
        QCOMPARE(rig.column(), 2);
        rig.press(Keys::Right);
        QCOMPARE(rig.column(), 3);
        rig.press(Keys::Right, 3); // onto the CR cell, then on to the next line
        QCOMPARE(rig.column(), 6);
        rig.press(Keys::Right);
        QCOMPARE(rig.at(), At(1, 0));
        QCOMPARE(rig.host.lineShown, 2);
        // A wide character whose right half is on the CR cell: Right goes over it onto the cell
        // after the CR cell, and from there to the next line.
        rig.press({Keys::Left, Keys::Left});
        rig.type(kWen);
        QCOMPARE(rig.at(), At(1, 0));
        rig.press({Keys::Left, Keys::Right});
        QCOMPARE(rig.at(), At(0, 7));
        QCOMPARE(rig.host.lineShown, 1);
        rig.press(Keys::Right);
        QCOMPARE(rig.at(), At(1, 0));
        // On a wrapped line the cell after the last one is the next line's first: Right over a
        // wide character on the last two cells goes to it on the next line.
        rig.type("abc" + kZhong);
        QCOMPARE(rig.line(), 2);
        rig.press(Keys::Up);
        QCOMPARE(rig.column(), 0);
        rig.press(Keys::Right, 3);
        QCOMPARE(rig.column(), 3);
        rig.press(Keys::Right);
        QCOMPARE(rig.at(), At(2, 0));
        rig.press(Keys::Right, 5); // the last cell of the last line: nothing
        QCOMPARE(rig.at(), At(2, 1));
    }

    // No key leaves half a wide character behind: a wide character wrapped onto a blank line
    // has its right half after the line's only cell, a right half may be under the cursor after
    // Up or Down, and Delete takes a byte of 0x80 or more for a lead.
    void keysOverWideCharacters_data()
    {
        QTest::addColumn<Played>("c");
        const QList<QByteArray> blankLine{"ab\r\n", "\r\n", "cd\r\n", "x"};
        const QByteArrayList wrapped{"a", "b", kZhong, "Left"}; // 中 on cells 0 and 1 of line 1
        QTest::newRow("letter on a wide character wrapped onto a blank line")
            << Played{blankLine, wrapped + QByteArrayList{"x"}, {2, 0}, 4, "x" + kNone, "00", {1, 0}, {"x", ""}};
        QTest::newRow("Delete on it") << Played{
            blankLine, wrapped + QByteArrayList{"Delete"}, {1, 0}, 4, kNone + kNone, "00", {1, 0}, {"", ""}};
        QTest::newRow("Enter on it") << Played{
            blankLine, wrapped + QByteArrayList{"\r"}, {2, 0}, 4, "\r" + kNone, "00", {1, 0}, {"", ""}};
        QTest::newRow("wide character on it: on to the next line") << Played{
            blankLine, wrapped + QByteArrayList{kWen}, {2, 2}, 4, kNone + kNone + kWen, "0001", {1, 0}, {"", ""}};
        QTest::newRow("Backspace onto it")
            << Played{blankLine, {"a", "b", kZhong, "\b"}, {1, 0}, 4, kNone + kNone, "00", {1, 0}, {"", ""}};

        // Right goes over a wide character that ends a line onto the cell after it, unless that
        // cell is the next line's first.
        const QList<QByteArray> crEnd{"ab\r\n", "cd"};
        const QByteArrayList overWide{"a", kZhong, "Left", "Right"}; // 中 on cell 1 and the CR cell
        QTest::newRow("Right over a wide character on the CR cell")
            << Played{crEnd, overWide, {0, 3}, 1, kZhong, "01", {0, 1}, {kZhong, "~", ""}};
        QTest::newRow("Right once more") << Played{
            crEnd, overWide + QByteArrayList{"Right"}, {1, 0}, 1, kZhong, "01", {0, 1}, {kZhong, "~", ""}};
        QTest::newRow("letter after the CR cell") << Played{
            crEnd, overWide + QByteArrayList{"x"}, {1, 0}, 1, kZhong + "x", "010", {0, 1}, {kZhong, "~", "x"}};
        QTest::newRow("Right over a wide character ending a wrapped line") << Played{
            {"abcd", "ef"}, {"a", "b", kZhong, "Left", "Right"}, {1, 0}, 2, kZhong, "01", {0, 2}, {kZhong, "~"}};
        const QList<QByteArray> lastLine{"a\r\n", "bcd"}; // 中 on the last two cells of the text
        QTest::newRow("Right over a wide character ending the text") << Played{
            lastLine, {"\r", "b", kZhong, "Right"}, {1, 3}, 3, "b" + kZhong, "001", {1, 0}, {"b", kZhong, "~", ""}};

        const QList<QByteArray> plain{"abcdef\r\n", "x"};
        QTest::newRow("Delete on a byte of 0x80 takes the next cell")
            << Played{plain, {kEuro, "b", "Left", "Left", "Delete"}, {0, 0}, 0, kNone + kNone, "00", {0, 0}, {"", ""}};
        QTest::newRow("and a wide character there whole") << Played{
            plain, {kEuro, kZhong, "Left", "Left", "Delete"}, {0, 0}, 0, QByteArray(3, 0), "000", {0, 0}, {"", "", ""}};
        // The byte ends a wrapped line; the next line starts with 中, which Delete leaves alone.
        const QByteArrayList euroOnLastCell{"a", "b", kEuro, kZhong, "Up", "Delete"};
        QTest::newRow("but not the next line's first cell") << Played{
            {"abc", kZhong + "d\r\n", "x"}, euroOnLastCell, {0, 2}, 2, kNone + kZhong, "001", {1, 0}, {kZhong, "~"}};

        // Up cuts the column back onto the right half of 中, which ends line 0 on its CR cell.
        const QList<QByteArray> shorter{"abc\r\n", "defghi\r\n"};
        QByteArrayList onRightHalf{"a", "b", kZhong};
        onRightHalf << QByteArrayList(6, "Right") << "Up";
        QTest::newRow("Delete on a right half") << Played{
            shorter, onRightHalf + QByteArrayList{"Delete"}, {0, 3}, 2, kNone + kNone, "00", {0, 2}, {"", ""}};
        QTest::newRow("Backspace on a right half")
            << Played{shorter, onRightHalf + QByteArrayList{"\b"}, {0, 2}, 2, kNone + kNone, "00", {0, 2}, {"", ""}};
        QTest::newRow("Enter on a right half")
            << Played{shorter, onRightHalf + QByteArrayList{"\r"}, {1, 0}, 2, kNone + "\r", "00", {0, 2}, {"", ""}};
    }

    void keysOverWideCharacters()
    {
        QFETCH(Played, c);
        TypingRig rig(c.lines);
        rig.play(c.keys);
        QCOMPARE(rig.at(), c.cursor);
        QCOMPARE(rig.typed(c.from, int(c.stored.size())), c.stored);
        QCOMPARE(rig.marks(c.from, int(c.marks.size())), c.marks);
        QCOMPARE(rig.canvas.row(c.cellsFrom.first, c.cellsFrom.second, int(c.cells.size())), c.cells);
        QCOMPARE(inconsistency(rig), QString());
    }

    void upAndDown()
    {
        TypingRig rig(
            {QByteArray(40, 'a') + "\r\n", QByteArray(19, 'b') + "\r\n", "c" + kZhong + "dd\r\n", "ab" + kZhong});
        rig.press(Keys::Up); // line 0: nothing
        QCOMPARE(rig.line(), 0);
        rig.press(Keys::Down, 2);
        rig.type("c" + kZhong + Keys::Enter + "ab" + kZhong); // the last line: the cursor stays on 中
        QCOMPARE(rig.at(), At(3, 2));
        rig.press(Keys::Down); // the last line: nothing
        QCOMPARE(rig.line(), 3);
        rig.press(Keys::Up); // column 2 is the right half of 中 on line 2
        QCOMPARE(rig.at(), At(2, 1));
        rig.press(Keys::Up, 2);
        rig.press(Keys::Right, 38);
        QCOMPARE(rig.column(), 39);
        rig.press(Keys::Down); // a line of 20 cells: its last cell
        QCOMPARE(rig.column(), 19);
        QCOMPARE(rig.host.lineShown, 2);
        rig.press(Keys::Down, 2); // clamped onto the last cell of line 3, the right half of 中
        QCOMPARE(rig.at(), At(3, 3));
    }

    // A column cut back to the line's last cell stays there, even on the right half of a wide
    // character; only a column kept as it was steps off a right half.
    void upAndDownOntoShorterLines()
    {
        TypingRig rig({"abc\r\n", QByteArray(40, 'a') + "\r\n", QByteArray(19, 'b') + "\r\n", QByteArray(45, 'c')});
        rig.type("ab" + kZhong); // its trail lands on the CR cell of line 0
        QCOMPARE(rig.at(), At(1, 0));
        rig.press(Keys::Right, 6);
        rig.press(Keys::Up);
        QCOMPARE(rig.at(), At(0, 3));
        QCOMPARE(rig.host.lineShown, 1);
        // A letter typed on that right half replaces the whole wide character.
        rig.type("x");
        QCOMPARE(rig.canvas.row(0, 2, 2), (QByteArrayList{"", "x"}));
        QCOMPARE(rig.typed(2, 2), kNone + "x");
        QCOMPARE(rig.marks(2, 2), QByteArray("00"));
        QCOMPARE(rig.at(), At(1, 0));
        rig.press(Keys::Right, 6);
        rig.press(Keys::Up);
        QCOMPARE(rig.at(), At(0, 3));
        rig.press(Keys::Down);
        rig.press(Keys::Right, 37); // column 40, the CR cell of line 1
        QCOMPARE(rig.at(), At(1, 40));
        rig.press(Keys::Down, 2); // onto the line of 20 cells and on to line 3: column 19
        rig.press(Keys::Right, 21);
        QCOMPARE(rig.at(), At(3, 40));
        rig.press(Keys::Up); // from column 40 onto the line of 20 cells
        QCOMPARE(rig.at(), At(2, 19));
    }

    void lineFollowAndScrollBack()
    {
        TypingRig rig(shortLines(30), 10500);
        rig.press(Keys::Down, 11);
        QCOMPARE(rig.host.value, 0);
        rig.press(Keys::Down); // row 12: one line
        QCOMPARE(rig.host.value, 600);
        rig.press(Keys::Right, 3); // across the line end onto row 12 again
        QCOMPARE(rig.line(), 13);
        QCOMPARE(rig.host.value, 1200);
        rig.press(Keys::Down, 20); // the last step finds less than a line left
        QCOMPARE(rig.line(), 29);
        QCOMPARE(rig.host.value, 10500);
        rig.host.value = 6600; // lines 0 to 10 scrolled away
        rig.press(Keys::Up, 19);
        QCOMPARE(rig.line(), 10);
        QCOMPARE(rig.host.value, 6000);
        rig.host.value = 6300; // half a line of line 10 still shows
        rig.press(Keys::Up);
        QCOMPARE(rig.host.value, 5700);
        rig.host.value = 300;
        rig.press(Keys::Up, 9);
        QCOMPARE(rig.line(), 0);
        QCOMPARE(rig.host.value, 0); // less than a line away: back to the top
        rig.host.value = 1200;
        rig.press({Keys::Down, Keys::Left}); // line 0 under the top edge: up a line
        QCOMPARE(rig.line(), 0);
        QCOMPARE(rig.host.value, 600);
    }

    void deleteKey()
    {
        TypingRig rig({"abcdef\r\n", "x"});
        rig.type("a" + kZhong);
        rig.press({Keys::Left, Keys::Delete});
        QCOMPARE(rig.column(), 1);
        QCOMPARE(rig.typed(1, 2), kNone + kNone);
        QVERIFY(!rig.marked(2));
        QCOMPARE(rig.canvas.row(0, 1, 2), (QByteArrayList{"", ""}));
        rig.press({Keys::Left, Keys::Delete});
        QCOMPARE(rig.typed(0), quint8(0));
        QCOMPARE(rig.canvas.log.last(), QStringLiteral("blank 0,0x1"));
        const int drawn = int(rig.canvas.log.size());
        rig.press(Keys::Delete); // an empty cell: nothing
        QCOMPARE(rig.canvas.log.size(), drawn);
        // A byte of 0x80 or more is taken for a wide character's lead: the cell after it goes too.
        rig.play({kEuro, "b", "Left", "Left", "Delete"});
        QCOMPARE(rig.column(), 0);
        QCOMPARE(rig.typed(0, 2), kNone + kNone);
        QCOMPARE(rig.canvas.row(0, 0, 2), (QByteArrayList{"", ""}));
    }

    void backspaceWithinLine()
    {
        TypingRig rig({"abcdef\r\n", "x"});
        rig.type("a" + kZhong + "b\b");
        QCOMPARE(rig.column(), 3);
        QCOMPARE(rig.typed(3), quint8(0));
        QCOMPARE(rig.canvas.shown(0, 3), QByteArray());
        rig.type(Keys::Backspace); // the wide character, both cells
        QCOMPARE(rig.column(), 1);
        QCOMPARE(rig.typed(1, 2), kNone + kNone);
        QVERIFY(!rig.marked(2));
        QCOMPARE(rig.canvas.log.last(), QStringLiteral("blank 0,1x2"));
        rig.type("\b\b"); // the second at the start of line 0
        QCOMPARE(rig.at(), At(0, 0));
        QCOMPARE(rig.typed(0), quint8(0));
    }

    // Backspace at the start of line 1 erases what ends line 0.
    void backspaceAcrossLineStart_data()
    {
        QTest::addColumn<LineStart>("c");
        QTest::newRow("letter on the last cell") << LineStart{"ab\r\n", "abx", 2, 2, kNone, {"blank 0,2x1"}};
        QTest::newRow("wide character ending the line")
            << LineStart{"a" + kZhong, "a" + kZhong, 1, 1, kNone + kNone, {"blank 0,1x2"}};
        // Only the 13 goes, nothing is drawn.
        QTest::newRow("Enter on the last cell") << LineStart{"ab\r\n", "ab\r", 2, 1, "b" + kNone, {}};
        // Enter before the last cell stays; the cursor lands on the last cell.
        QTest::newRow("Enter before the last cell") << LineStart{"abc\r\n", "a\r", 3, 1, "\r", {"blank 0,3x1"}};
    }

    void backspaceAcrossLineStart()
    {
        QFETCH(LineStart, c);
        TypingRig rig({c.line, "cd"});
        rig.type(c.keys);
        QCOMPARE(rig.line(), 1);
        const qsizetype before = rig.canvas.log.size();
        rig.type(Keys::Backspace);
        QCOMPARE(rig.at(), At(0, c.column));
        QCOMPARE(rig.host.lineShown, 1);
        QCOMPARE(rig.typed(c.from, int(c.stored.size())), c.stored);
        QCOMPARE(rig.marks(c.from, int(c.stored.size())), QByteArray(c.stored.size(), '0'));
        QCOMPARE(rig.canvas.log.mid(before), c.drawn);
    }

    void enterKey()
    {
        TypingRig rig({"abcdef\r\n", "ghij"});
        rig.type("a" + kZhong);
        rig.press(Keys::Left);
        rig.type(Keys::Enter); // on the left half of a wide character
        QCOMPARE(rig.typed(1, 6), "\r" + QByteArray(5, 0));
        QVERIFY(!rig.marked(2));
        QCOMPARE(rig.canvas.row(0, 1, 2), (QByteArrayList{"", ""}));
        QCOMPARE(rig.at(), At(1, 0));
        QCOMPARE(rig.host.lineShown, 2);
        rig.type("g\r"); // the last line: recorded, the cursor stays
        QCOMPARE(rig.typed(9), quint8(13));
        QCOMPARE(rig.at(), At(1, 1));
    }

    void escKey()
    {
        for (bool typedFirst : {false, true}) {
            TypingRig rig({"ab"});
            if (typedFirst)
                rig.type("a");
            rig.press(Keys::Esc);
            QCOMPARE(rig.host.escapes, 1);
            QVERIFY(rig.engine->endedByEsc());
            QCOMPARE(rig.engine->typingStarted(), typedFirst);
            QCOMPARE(rig.host.lineShown, 1);
            rig.type("b"); // the exercise is over: keys change nothing
            rig.press(Keys::Esc);
            QCOMPARE(rig.typed(0, 2), (typedFirst ? QByteArray("a") : kNone) + kNone);
            QCOMPARE(rig.host.escapes, 1);
        }
    }

    void statusFieldsOnEveryKey()
    {
        TypingRig rig({"abcdefg\r\n", "xy"});
        rig.type("abcde");
        rig.host.columnShown = rig.host.lineShown = -1;
        rig.press(36); // no action, both fields written
        QCOMPARE(rig.host.columnShown, 5);
        QCOMPARE(rig.host.lineShown, 1);
        QCOMPARE(rig.column(), 5);
        rig.press(Keys::Down);
        QCOMPARE(rig.host.columnShown, 5);
        QCOMPARE(rig.host.lineShown, 2);
    }

    void shortAndEmptyLines()
    {
        TypingRig rig({"abc\r\n", "", "\r\n", "abc"});
        rig.type("abcz"); // z on the CR cell, on to the empty line
        QCOMPARE(rig.at(), At(1, 0));
        rig.type("x"); // nothing to type on: on to the next line
        QCOMPARE(rig.at(), At(2, 0));
        QCOMPARE(rig.typed(5), quint8(0));
        rig.type(Keys::Backspace); // back onto the empty line: nothing to erase
        QCOMPARE(rig.at(), At(1, 0));
        QCOMPARE(rig.typed(3), quint8('z'));
        rig.press(Keys::Down, 2);
        QCOMPARE(rig.line(), 3);
        rig.press({Keys::Right, Keys::Right, Keys::Up}); // a line of one cell
        QCOMPARE(rig.column(), 0);
        rig.press(Keys::Up); // a line of none
        QCOMPARE(rig.column(), 0);
        rig.press(Keys::Left);
        QCOMPARE(rig.at(), At(0, 3));
        rig.type(Keys::Enter);
        QCOMPARE(rig.line(), 1);
        rig.press(Keys::Delete);
        rig.type(Keys::Enter);
        rig.press(Keys::Right);
        QCOMPARE(rig.line(), 3);
        QCOMPARE(rig.typed(0, 10), "abc\r" + QByteArray(6, 0));
    }

    void fullSizeTextStaysInBuffers()
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
        rig.type(kZhong); // one cell before the last: the trail on position 4096
        QCOMPARE(rig.typed(4095, 2), kZhong);
        QVERIFY(rig.marked(4096));
        QCOMPARE(rig.column(), 5);
        for (int i = 0; i < 20; ++i) {
            rig.type(kWen + "a" + kZi + "\b");
            rig.press({Keys::Right, Keys::Delete});
            rig.type("\r" + kZi);
            rig.press(Keys::Right);
            rig.type("b");
        }
        QCOMPARE(rig.line(), 1);
        QVERIFY(rig.engine->cursorPosition() <= 4096);
        QCOMPARE(rig.engine->positionMarks()[0], qint16(0));
        QCOMPARE(rig.typed(0), quint8(0));
    }

    // Random keys, and the key sequences that once left half a character behind, never leave
    // the cells and the bytes disagreeing: see inconsistency().
    void randomKeysKeepCellsConsistent_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<quint32>("seed");
        // Wide characters on the last two cells of lines with and without CR, a line of no
        // cells, a blank line after a line that a wide character wraps from.
        const QList<QByteArray> chinese{kZhong + "ab" + kWen + "\r\n", "\r\n",        "a" + kZi + kZhong + "b", "",
                                        kWen + kZi + "\r\n",           "abc" + kZhong};
        const QList<QByteArray> english{"ab\r\n", "\r\n", "cd\r\n", "abc", "de\r\n", "wxyz"};
        for (quint32 seed : {4711u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u}) {
            QTest::addRow("Chinese, seed %u", seed) << chinese << seed;
            QTest::addRow("English, seed %u", seed) << english << seed;
        }
    }

    void randomKeysKeepCellsConsistent()
    {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(quint32, seed);
        TypingRig rig(lines);
        QRandomGenerator random(seed);
        const QList<QByteArray> characters{kZhong, kWen, "a", "x", "\b", "\r", kWideSpace, kEuro};
        const QByteArrayList keys{"Left", "Right", "Up", "Down", "Delete"};
        // Each followed the cursor onto a cell where a key left half a character behind.
        const QList<QByteArrayList> sequences{{kZhong, "Left", "x"},
                                              {kZhong, "Left", "Delete"},
                                              {kZhong, "Left", "\r"},
                                              {kZhong, "\b"},
                                              {"a", kZhong, "Left", "Right", "Delete"},
                                              {kEuro, kZhong, "Left", "Left", "Delete"},
                                              {"Up", "Delete"},
                                              {"Down", "\b"},
                                              {"Up", "\r"}};
        for (int step = 0; step < 3000; ++step) {
            const int kind = random.bounded(16);
            if (kind < 7)
                rig.type(characters[random.bounded(int(characters.size()))]);
            else if (kind < 14)
                rig.play({keys[random.bounded(int(keys.size()))]});
            else
                rig.play(sequences[random.bounded(int(sequences.size()))]);
            const QString problem = inconsistency(rig);
            if (!problem.isEmpty())
                QFAIL(qPrintable(QStringLiteral("step %1: %2").arg(step).arg(problem)));
        }
    }
};

QTEST_GUILESS_MAIN(TestTypingEngine)
#include "test_typing_engine.moc"
