// Exercise files: the header and length check, the random digit, and the two splitters that
// cut a text into display lines.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"
#include "platform/codepage.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <set>

namespace {

ExerciseText textOf(const QByteArray& bytes)
{
    ExerciseText text;
    std::memcpy(text.textBytes.data(), bytes.constData(), std::size_t(bytes.size()));
    text.textLength = int(bytes.size());
    return text;
}

// Display line i as bytes, its CR included.
QByteArray lineOf(const ExerciseText& text, int i)
{
    const LineEntry& e = text.lineTable[i];
    return QByteArray(reinterpret_cast<const char*>(text.textBytes.data()) + e.start, e.length);
}

QList<QByteArray> linesOf(const ExerciseText& text)
{
    QList<QByteArray> lines;
    for (int i = 0; i <= text.lastLine; ++i)
        lines.append(lineOf(text, i));
    return lines;
}

// Every byte of the text belongs to exactly one line, apart from the LF after a line's CR;
// the row after the last line starts where the shown text ends.
void verifyCoverage(const ExerciseText& text)
{
    QCOMPARE(text.lineTable[0].start, qint16(0));
    QVERIFY(text.lastLine >= 0 && text.lastLine < ExerciseText::kRows - 1);
    for (int i = 0; i <= text.lastLine; ++i) {
        const LineEntry& e = text.lineTable[i];
        QVERIFY2(e.length > 0, qPrintable(QStringLiteral("line %1 is empty").arg(i)));
        const bool endsAtCr = text.textBytes[e.start + e.length - 1] == '\r';
        const int next = e.start + e.length + (endsAtCr ? 1 : 0);
        QVERIFY2(text.lineTable[i + 1].start == next,
                 qPrintable(QStringLiteral("line %1 ends at %2, line %3 starts at %4")
                                .arg(i)
                                .arg(next)
                                .arg(i + 1)
                                .arg(text.lineTable[i + 1].start)));
        QVERIFY(next <= text.textLength);
    }
}

int visibleLength(const QByteArray& line)
{
    return int(line.endsWith('\r') ? line.size() - 1 : line.size());
}

QByteArray repeated(char c, int n)
{
    return QByteArray(n, c);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool split(ExerciseText& text, bool chinese)
{
    return chinese ? ExerciseLoader::splitChinese(text) : ExerciseLoader::splitEnglish(text);
}

// n Chinese characters from a fixed set of common GB2312 ones (no punctuation).
QByteArray hanzi(int n)
{
    static const QByteArray chars = QByteArray::fromHex("d6d0cec4cabeb5c4d1a7c9fab4f3d0a1c9bdcbaed4c2c8d5");
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += chars.mid((i % (chars.size() / 2)) * 2, 2);
    return out;
}

QByteArray gbk(const char* utf8)
{
    return *CodePage::encode(QString::fromUtf8(utf8));
}

// The project's own exercise sources, encoded as the build encodes them.
QByteArray packedSource(ExerciseKind kind, int digit)
{
    const QString name =
        kind == ExerciseKind::English ? QStringLiteral("data/yw/ydzcs%1.txt") : QStringLiteral("data/zw/cdzcs%1.txt");
    QFile source(QDir(TestSupport::sourceDir()).filePath(name.arg(digit)));
    if (!source.open(QIODevice::ReadOnly))
        return {};
    const auto conversion = ExerciseFileFormat::toExerciseText(source.readAll());
    return conversion.unencodable.isEmpty() ? conversion.text : QByteArray();
}

ExerciseText splitSource(ExerciseKind kind, int digit)
{
    ExerciseText text = textOf(packedSource(kind, digit));
    if (!split(text, kind == ExerciseKind::Chinese))
        text.textLength = -1;
    return text;
}

bool endsAtCr(const ExerciseText& text, int line)
{
    const LineEntry& e = text.lineTable[line];
    return e.length > 0 && text.textBytes[e.start + e.length - 1] == '\r';
}

bool isCnMark(const ExerciseText& text, int p, const char* marks)
{
    const QByteArray all = *CodePage::encode(QString::fromUtf8(marks));
    for (int i = 0; i + 1 < all.size(); i += 2)
        if (quint8(all[i]) == text.byteAt(p) && quint8(all[i + 1]) == text.byteAt(p + 1))
            return true;
    return false;
}

} // namespace

class TestExerciseLoader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void cleanup() { ExerciseLoader::setRandomSourceForTests({}); }

    // ---- files and headers ----

    void header_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file at all
        QTest::addColumn<bool>("valid");
        const QByteArray good = ExerciseFileFormat::build("Type this line.\r\nAnd this one.\r\n");
        QTest::newRow("exact length") << good << true;
        QTest::newRow("one byte more") << good + 'x' << false;
        QTest::newRow("one byte less") << good.left(good.size() - 1) << false;
        for (int i = 0; i < 4; ++i) {
            QByteArray bad = good;
            bad[i] = char(bad[i] ^ 0x01);
            QTest::addRow("magic byte %d wrong", i) << bad << false;
        }
        QByteArray free = good;
        for (int i = 4; i < 16; ++i)
            free[i] = char(0xA0 + i);
        for (int i = 18; i < 32; ++i)
            free[i] = char(0xFF - i);
        QTest::newRow("bytes 4-15 and 18-31 anything") << free << true;
        QTest::newRow("header only, shorter than 32") << good.left(20) << false;
        // A length field of 0x8000 or more is negative in 16-bit arithmetic: never valid, even
        // when the file is that long.
        QByteArray high = ExerciseFileFormat::build(QByteArray(0x8010, 'a'));
        QCOMPARE(quint8(high[17]), quint8(0x80));
        QTest::newRow("byte 17 0x80") << high << false;
        // 32740 + 32 = 32772 overflows a signed 16-bit sum.
        QTest::newRow("sum over 32767") << ExerciseFileFormat::build(QByteArray(32740, 'a')) << false;
        QTest::newRow("text 4097 bytes") << ExerciseFileFormat::build(QByteArray(4095, 'a') + "\r\n") << false;
        QTest::newRow("text 4096 bytes") << ExerciseFileFormat::build(QByteArray(4094, 'a') + "\r\n") << true;
        QTest::newRow("empty text") << ExerciseFileFormat::build(QByteArray()) << false;
        QTest::newRow("201 lines") << ExerciseFileFormat::build(QByteArray("a\r\n").repeated(201)) << false;
        QTest::newRow("no file") << QByteArray() << false;
    }

    void header()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, valid);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("zw/cdzcs1.dat"));
        if (!file.isEmpty())
            QVERIFY(writeFile(path, file));
        for (ExerciseKind kind : {ExerciseKind::English, ExerciseKind::Chinese}) {
            const auto loaded = ExerciseLoader::load(path, kind);
            QCOMPARE(loaded.has_value(), valid);
            if (valid) {
                QCOMPARE(QByteArray(reinterpret_cast<const char*>(loaded->textBytes.data()), loaded->textLength),
                         file.mid(32));
                verifyCoverage(*loaded);
            }
        }
    }

    // ---- the file name ----

    void digit_data()
    {
        QTest::addColumn<float>("r");
        QTest::addColumn<int>("digit");
        QTest::newRow("7.0554752 -> 7.055475") << 0.70554752f << 5;
        QTest::newRow("zero") << 0.0f << 0;
        QTest::newRow("half -> 5") << 0.5f << 5;
        QTest::newRow("0.1 -> 1") << 0.1f << 1;
        QTest::newRow("1.23") << 0.123f << 3;
        QTest::newRow("largest below one") << 0.99999994f << 9;
        QTest::newRow("rounded at 7 digits") << 0.31415926f << 3; // 3.141593
        QTest::newRow("trailing zeros dropped") << 0.25f << 5;    // 2.5
        QTest::newRow("below 0.1") << 0.0042f << 2;               // 0.042
    }

    void digit()
    {
        QFETCH(float, r);
        QFETCH(int, digit);
        QCOMPARE(ExerciseLoader::digitFor(r), digit);
        ExerciseLoader::setRandomSourceForTests([r] { return r; });
        QCOMPARE(ExerciseLoader::drawDigit(), digit);
    }

    void realDrawsGiveDigits()
    {
        std::set<int> seen;
        for (int i = 0; i < 200; ++i) {
            const int d = ExerciseLoader::drawDigit();
            QVERIFY(d >= 0 && d <= 9);
            seen.insert(d);
        }
        QVERIFY2(seen.size() >= 3, "the clock-seeded draw keeps giving the same digits");
    }

    void paths()
    {
        QCOMPARE(ExerciseLoader::pathFor(QStringLiteral("/opt/typelab"), ExerciseKind::English, 4),
                 QStringLiteral("/opt/typelab/yw/ydzcs4.dat"));
        QCOMPARE(ExerciseLoader::pathFor(QStringLiteral("/opt/typelab"), ExerciseKind::Chinese, 0),
                 QStringLiteral("/opt/typelab/zw/cdzcs0.dat"));
    }

    // ---- the two splitters ----

    void split_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("lines"); // empty: refused
        using Lines = QList<QByteArray>;
        const auto en = [](const char* name, const QByteArray& text, const Lines& lines) {
            QTest::addRow("en %s", name) << false << text << lines;
        };
        const auto zh = [](const char* name, const QByteArray& text, const Lines& lines) {
            QTest::addRow("zh %s", name) << true << text << lines;
        };
        const QByteArray a89 = repeated('a', 89), a90 = repeated('a', 90);
        en("lines end at CR", "one\r\ntwo\r\n", {"one\r", "two\r"});
        en("blank line", "one\r\n\r\ntwo\r\n", {"one\r", "\r", "two\r"});
        en("90 bytes then a letter", a90 + "bc\r\n", {a90, "bc\r"});
        en("90 bytes then CR", a90 + "\r\nb\r\n", {a90 + '\r', "b\r"});
        en("( at 89 starts the next line", a89 + "(b)\r\n", {a89, "(b)\r"});
        en("[ at 89", a89 + "[x]\r\n", {a89, "[x]\r"});
        en("letter at 89 stays", a89 + "bc\r\n", {a89 + 'b', "c\r"});
        en(", at 90 stays", a90 + ", b\r\n", {a90 + ',', " b\r"});
        en(") at 90 stays", a90 + ")b\r\n", {a90 + ')', "b\r"});
        en("( at 90 moves", a90 + "(b\r\n", {a90, "(b\r"});
        const QByteArray openSingle = "'" + a89, openSingle88 = "'" + repeated('a', 88), openDouble = "\"" + a89;
        en("' at 90 closes an open quote", openSingle + "' b\r\n", {openSingle + '\'', " b\r"});
        en("' at 90 with no quote open moves", a90 + "'b'\r\n", {a90, "'b'\r"});
        en("' at 89 opening moves", a89 + "'b'\r\n", {a89, "'b'\r"});
        en("' at 89 closing stays", openSingle88 + "'bc\r\n", {openSingle88 + "'", "bc\r"});
        en("\" at 90 closes", openDouble + "\".\r\n", {openDouble + '"', ".\r"});
        en("\" at 89 opening moves", a89 + "\"b\"\r\n", {a89, "\"b\"\r"});
        // Quotes toggle once each: two singles earlier on the line leave the state closed.
        const QByteArray pair = "'x' " + repeated('a', 86);
        en("quote pairs balance", pair + "'b'\r\n", {pair, "'b'\r"});
        en("closing mark then CR keeps one line", a90 + ".\r\nnext\r\n", {a90 + ".\r", "next\r"});
        en("long paragraph wraps three times", repeated('b', 250) + "\r\n",
           {repeated('b', 90), repeated('b', 90), repeated('b', 70) + '\r'});

        const QByteArray h44 = hanzi(44), h44a = h44 + "a", h43a = hanzi(43) + "a"; // 88, 89, 87 bytes
        const QByteArray comma = gbk("，"), open = gbk("（");
        zh("45 characters fill a line", hanzi(50) + "\r\n", {hanzi(50).left(90), hanzi(50).mid(90) + '\r'});
        zh("， at 89 gives 91 bytes", h44a + comma + hanzi(2) + "\r\n", {h44a + comma, hanzi(2) + '\r'});
        zh("character at 89 moves", h44a + hanzi(3) + "\r\n", {h44a, hanzi(3) + '\r'});
        zh("（ at 88 moves", h44 + open + hanzi(2) + "\r\n", {h44, open + hanzi(2) + '\r'});
        zh("（ at 88 before ASCII moves", h44 + open + "ab\r\n", {h44, open + "ab\r"});
        zh("（ at 87 before a character moves", h43a + open + hanzi(2) + "\r\n", {h43a, open + hanzi(2) + '\r'});
        // Before ASCII it stays; the ASCII byte at 89 stays too, the one at 90 moves.
        zh("（ at 87 before ASCII stays", h43a + open + "12)\r\n", {h43a + open + "1", "2)\r"});
        zh("closing mark at 90 hangs", hanzi(45) + comma + "ab\r\n", {hanzi(45) + comma, "ab\r"});
        zh("closing mark at 89 then CR", h44a + comma + "\r\n" + hanzi(2) + "\r\n",
           {h44a + comma + '\r', hanzi(2) + '\r'});
        zh("ASCII at 90 moves", repeated('9', 95) + "\r\n", {repeated('9', 90), "99999\r"});
        zh("ASCII after closing at 89 moves", h44a + gbk("。") + "xyz\r\n", {h44a + gbk("。"), "xyz\r"});
        zh("blank line", hanzi(2) + "\r\n\r\n" + hanzi(1) + "\r\n", {hanzi(2) + '\r', "\r", hanzi(1) + '\r'});
        // A GBK character whose second byte is below 0x80 is still one character.
        const QByteArray wide = QByteArray::fromHex("8140"); // 丂
        zh("GBK trail below 0x80", wide.repeated(50) + "\r\n", {wide.repeated(45), wide.repeated(5) + '\r'});
        // A lead byte ending the text does not pair with the stale byte after it; at column 90
        // it starts a line of its own.
        zh("lead byte at the end", hanzi(3) + "\xB0", {hanzi(3) + "\xB0"});
        zh("lead byte at the end, column 90", hanzi(45) + "\xB0", {hanzi(45), "\xB0"});

        // How a text ends. A wrapped last line without CR LF keeps its last piece; a short
        // unterminated line after a line end is not part of the exercise.
        const QByteArray h45 = hanzi(45);
        en("wrapped, unterminated", a90 + "tail", {a90, "tail"});
        zh("wrapped, unterminated", h45 + hanzi(3), {h45, hanzi(3)});
        zh("ASCII wrap after CR, unterminated", "x\r\n" + a90 + "tail", {"x\r", a90, "tail"});
        en("single unterminated line", "only", {"only"});
        en("short unterminated after CR", "one\r\ntwo", {"one\r"});
        zh("short unterminated after CR", "one\r\n" + hanzi(10), {"one\r"});
        // A closing mark at column 90 and the final line end: no empty line after it.
        en("closing + CR ends the text", a90 + ".\r\n", {a90 + ".\r"});
        en("closing + bare CR ends the text", a90 + ".\r", {a90 + ".\r"});
        en("closing is the last byte", a90 + ",", {a90 + ","});
        zh("closing is the last character", hanzi(44) + "a" + comma, {hanzi(44) + "a" + comma});
        en("CR without LF at the end", "ab\r", {"ab\r"});

        // At most 200 lines. 199 line ends and a wrapped last line: its unterminated piece is
        // line 200 of 201, with no row left for the start after it.
        const QByteArray lines200 = QByteArray("a\r\n").repeated(200);
        en("200 lines", lines200, Lines(200, "a\r"));
        zh("200 lines", lines200, Lines(200, "a\r"));
        en("201 lines", lines200 + "a\r\n", {});
        zh("201 lines", lines200 + "a\r\n", {});
        en("199 + wrapped unterminated", QByteArray("\r\n").repeated(199) + repeated('a', 95), {});
        en("198 + wrapped unterminated", QByteArray("\r\n").repeated(198) + repeated('a', 95),
           Lines(198, "\r") + Lines{a90, "aaaaa"});
    }

    void split()
    {
        QFETCH(bool, chinese);
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, lines);
        // Stale bytes of an earlier exercise after the text must not count: a CR, a lead byte
        // or a trail byte right after it.
        for (int shift = 0; shift < 3; ++shift) {
            ExerciseText t = textOf(text);
            for (int p = int(text.size()); p < ExerciseText::kPositions; ++p)
                t.textBytes[p] = quint8("\xA1\r\xB0"[(p - text.size() + shift) % 3]);
            QCOMPARE(::split(t, chinese), !lines.isEmpty());
            if (lines.isEmpty())
                continue;
            QCOMPARE(linesOf(t), lines);
            QVERIFY(t.lineTable[t.lastLine].start < t.textLength);
            if (!text.endsWith('\r')) // a bare CR at the end has no LF to pass over
                verifyCoverage(t);
        }
    }

    // An empty text splits into one empty line (so a tool that checks the line limit takes
    // it), but as an exercise file it is refused: there is nothing to type.
    void emptyText()
    {
        for (bool chinese : {false, true}) {
            ExerciseText t = textOf(QByteArray());
            t.textBytes[0] = 'x';
            t.lineTable[0] = LineEntry{5, 9};
            QVERIFY(::split(t, chinese));
            QCOMPARE(t.lastLine, 0);
            QCOMPARE(t.lineTable[0].start, qint16(0));
            QCOMPARE(t.lineTable[0].length, qint16(0));
        }
    }

    void lineTableStartsClearedAtEverySplit()
    {
        ExerciseText t = textOf(repeated('a', 300) + "\r\n");
        t.lineTable.fill(LineEntry{1234, 77});
        t.lastLine = 150;
        QVERIFY(ExerciseLoader::splitEnglish(t));
        QCOMPARE(t.lastLine, 3);
        for (int i = t.lastLine + 2; i < ExerciseText::kRows; ++i)
            QCOMPARE(t.lineTable[i].start, qint16(0));
        QCOMPARE(t.lineTable[t.lastLine + 1].length, qint16(0));
    }

    // A stray byte must not push every later break into the middle of a character.
    void strayBytesDoNotShiftBreaks_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("lead byte before CR") << QByteArray("\xB0\r\n");
        QTest::newRow("lead byte before ASCII") << QByteArray("\xB0"
                                                              "a\r\n");
        QTest::newRow("lead byte at a line's end, mid-line CR") << hanzi(3) + "\xC1\r\n";
    }

    void strayBytesDoNotShiftBreaks()
    {
        QFETCH(QByteArray, prefix);
        const QByteArray body = hanzi(100) + gbk("，") + hanzi(60) + "\r\n";
        ExerciseText t = textOf(prefix + body);
        ExerciseText clean = textOf(body);
        QVERIFY(ExerciseLoader::splitChinese(t));
        QVERIFY(ExerciseLoader::splitChinese(clean));
        // The lines of the body are the same as without the stray byte.
        const QList<QByteArray> all = linesOf(t);
        QVERIFY(all.size() > 1);
        QCOMPARE(all.mid(all.size() - (clean.lastLine + 1)), linesOf(clean));
        verifyCoverage(t);
    }

    // ---- the exercise texts that come with the program ----

    void realTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("digit");
        for (int kind : {1, 2})
            for (int digit = 0; digit <= 9; ++digit)
                QTest::addRow("%s%d", kind == 1 ? "ydzcs" : "cdzcs", digit) << kind << digit;
    }

    void realTexts()
    {
        QFETCH(int, kind);
        QFETCH(int, digit);
        const auto exerciseKind = ExerciseKind(kind);
        const QByteArray text = packedSource(exerciseKind, digit);
        QVERIFY2(!text.isEmpty(), "source missing or not encodable in code page 936");
        QVERIFY2(text.size() >= 2500 && text.size() <= 4000, qPrintable(QString::number(text.size())));
        QVERIFY(text.endsWith("\r\n"));
        for (int p = 0; p < text.size(); ++p) {
            const quint8 b = quint8(text[p]);
            if (b == '\r')
                QVERIFY2(p + 1 < text.size() && text[p + 1] == '\n', "CR without LF");
            else if (b == '\n')
                QVERIFY2(p > 0 && text[p - 1] == '\r', "LF without CR");
            else if (exerciseKind == ExerciseKind::English)
                QVERIFY2(b >= 0x20 && b < 0x7F, qPrintable(QStringLiteral("byte %1 at %2").arg(b).arg(p)));
            else if (b >= 0x80) {
                // GB2312 range: both bytes 0xA1 to 0xFE, leads up to 0xF7.
                QVERIFY(p + 1 < text.size());
                const quint8 trail = quint8(text[p + 1]);
                QVERIFY2(b >= 0xA1 && b <= 0xF7 && trail >= 0xA1 && trail <= 0xFE,
                         qPrintable(QStringLiteral("code %1%2 at %3").arg(b, 0, 16).arg(trail, 0, 16).arg(p)));
                ++p;
            }
        }

        // Load it the way the program does: from the built Application folder when the build
        // has packed it, else from a file made here.
        QString path = ExerciseLoader::pathFor(qEnvironmentVariable("TYPELAB_APP_DIR"), exerciseKind, digit);
        QTemporaryDir dir;
        if (QFile::exists(path)) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), ExerciseFileFormat::build(text));
        } else {
            path = ExerciseLoader::pathFor(dir.path(), exerciseKind, digit);
            QVERIFY(writeFile(path, ExerciseFileFormat::build(text)));
        }
        const auto loaded = ExerciseLoader::load(path, exerciseKind);
        QVERIFY(loaded);
        verifyCoverage(*loaded);
        QCOMPARE(int(loaded->lineTable[loaded->lastLine + 1].start), int(text.size()));
        QVERIFY(endsAtCr(*loaded, loaded->lastLine));
        // A closing mark may hang past column 89; Chinese ones are two bytes wide.
        const int widest = exerciseKind == ExerciseKind::English ? 91 : 92;
        for (int i = 0; i <= loaded->lastLine; ++i)
            QVERIFY2(visibleLength(lineOf(*loaded, i)) <= widest, qPrintable(QString::number(i)));
    }

    // A paragraph ends with one line end: an empty line after it would take the student's next
    // letter as wrong and shift the whole next line red.
    void realTextsHaveNoEmptyLines()
    {
        for (ExerciseKind kind : {ExerciseKind::English, ExerciseKind::Chinese})
            for (int digit = 0; digit <= 9; ++digit) {
                const ExerciseText text = splitSource(kind, digit);
                for (int i = 0; i <= text.lastLine; ++i)
                    QVERIFY2(visibleLength(lineOf(text, i)) > 0,
                             qPrintable(QStringLiteral("text %1, line %2").arg(digit).arg(i)));
            }
    }

    // The texts together give every splitting rule real work to do.
    void realTextsExerciseEveryRule()
    {
        QMap<QString, int> seen;
        for (int digit = 0; digit <= 9; ++digit) {
            const ExerciseText en = splitSource(ExerciseKind::English, digit);
            QVERIFY(en.textLength > 0);
            for (int i = 0; i <= en.lastLine; ++i) {
                const int visible = visibleLength(lineOf(en, i));
                const bool wrapped = !endsAtCr(en, i);
                const quint8 last = en.textBytes[en.lineTable[i].start + visible - 1];
                const quint8 next = en.textBytes[en.lineTable[i + 1].start];
                if (wrapped && visible == 89)
                    ++seen[QStringLiteral("en opening mark moved from 89: ") + QChar(next)];
                if (wrapped && visible == 90)
                    ++seen[QStringLiteral("en wrap at 90")];
                if (visible == 91)
                    ++seen[QStringLiteral("en closing mark kept at 90") + (wrapped ? "" : " before CR")];
                if (visible == 91 && (last == '\'' || last == '"'))
                    ++seen[QStringLiteral("en closing quote kept at 90")];
                if (wrapped && visible == 90 && (next == '"' || next == '\''))
                    ++seen[QStringLiteral("en quote moved from 90")];
            }
            const ExerciseText zh = splitSource(ExerciseKind::Chinese, digit);
            QVERIFY(zh.textLength > 0);
            for (int i = 0; i <= zh.lastLine; ++i) {
                const int start = zh.lineTable[i].start;
                const int visible = visibleLength(lineOf(zh, i));
                const bool wrapped = !endsAtCr(zh, i);
                const int next = zh.lineTable[i + 1].start;
                const bool closingAtEnd = visible >= 2 && isCnMark(zh, start + visible - 2, "，。：；、！？》）”’");
                if ((visible == 87 || visible == 88) && isCnMark(zh, next, "《（“‘"))
                    ++seen[QStringLiteral("zh opening mark moved from %1").arg(visible)];
                if (visible == 89 && wrapped)
                    ++seen[QStringLiteral("zh character moved from 89")];
                if (visible == 90 && wrapped && zh.byteAt(next) < 0x80)
                    ++seen[QStringLiteral("zh ASCII moved from 90")];
                if ((visible == 91 || visible == 92) && closingAtEnd)
                    ++seen[QStringLiteral("zh closing mark hangs from %1%2")
                               .arg(visible - 2)
                               .arg(wrapped ? "" : " before CR")];
                if (visible >= 89 && isCnMark(zh, start + 87, "《（“‘") && zh.byteAt(start + 89) < 0x80)
                    ++seen[QStringLiteral("zh opening mark kept at 87 before ASCII")];
            }
        }
        const QStringList expected = {"en opening mark moved from 89: (",
                                      "en opening mark moved from 89: '",
                                      "en opening mark moved from 89: \"",
                                      "en wrap at 90",
                                      "en closing mark kept at 90",
                                      "en closing mark kept at 90 before CR",
                                      "en closing quote kept at 90",
                                      "en quote moved from 90",
                                      "zh opening mark moved from 87",
                                      "zh opening mark moved from 88",
                                      "zh character moved from 89",
                                      "zh ASCII moved from 90",
                                      "zh closing mark hangs from 89",
                                      "zh closing mark hangs from 90",
                                      "zh closing mark hangs from 89 before CR",
                                      "zh closing mark hangs from 90 before CR",
                                      "zh opening mark kept at 87 before ASCII"};
        for (const QString& rule : expected)
            QVERIFY2(seen.value(rule) > 0, qPrintable(rule));
    }
};

QTEST_MAIN(TestExerciseLoader)
#include "test_exercise_loader.moc"
