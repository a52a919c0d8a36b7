// Code page 936, byte lengths, drive letters and the exercise-file frame.

#include "exercise/exercise_file_format.h"
#include "platform/byte_length.h"
#include "platform/codepage.h"
#include "platform/paths.h"

#include <QtTest>

class TestPlatformText : public QObject {
    Q_OBJECT

private slots:
    void bytelenCounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("doubleByte");
        QTest::newRow("empty") << QString() << 0 << false;
        QTest::newRow("spaces only") << QStringLiteral("    ") << 0 << false;
        QTest::newRow("ten digits") << QStringLiteral("2026001234") << 10 << false;
        QTest::newRow("two chinese") << QStringLiteral("张三") << 4 << true;
        QTest::newRow("letters in spaces") << QStringLiteral("  ab  ") << 2 << false;
        QTest::newRow("letter and chinese") << QStringLiteral("a中") << 3 << true;
        QTest::newRow("full-width comma") << QStringLiteral("，") << 2 << true;
        QTest::newRow("inner spaces count") << QStringLiteral(" a b ") << 3 << false;
        QTest::newRow("tab is not trimmed") << QStringLiteral("\tab") << 3 << false;
        QTest::newRow("emoji counts double") << QStringLiteral("a😀") << 3 << true;
    }

    // Every input check measures a text so: trimmed of spaces, in code page 936 bytes.
    void bytelenCounts()
    {
        QFETCH(QString, text);
        QFETCH(int, length);
        QFETCH(bool, doubleByte);
        QCOMPARE(bytelen(text), length);
        const ByteLength measured = measureBytes(text);
        QCOMPARE(measured.bytes, length);
        QCOMPARE(measured.doubleByte, doubleByte);
    }

    void characterCodes()
    {
        QCOMPARE(*CodePage::charCode(U'a'), qint16(97));
        // 中 is D6 D0 in code page 936: 0xD6 * 256 + 0xD0 - 65536.
        QCOMPARE(*CodePage::charCode(U'中'), qint16(0xD6 * 256 + 0xD0 - 65536));
        QCOMPARE(*CodePage::charCode(U'，'), qint16(0xA3 * 256 + 0xAC - 65536));
        QVERIFY(!CodePage::charCode(U'\U0001F600'));
        QCOMPARE(CodePage::charText(0xD6, 0xD0), QStringLiteral("中"));
    }

    void driveLetters()
    {
        qputenv("TYPELAB_DRIVE_A", "/tmp/floppy");
        QCOMPARE(Paths::toLocal(QStringLiteral("A:\\学生成绩.mdb")), QStringLiteral("/tmp/floppy/学生成绩.mdb"));
        QCOMPARE(Paths::toLocal(QStringLiteral("a:\\学生成绩.mdb")), QStringLiteral("/tmp/floppy/学生成绩.mdb"));
        QCOMPARE(Paths::toLocal(QStringLiteral("A:\\")), QStringLiteral("/tmp/floppy/"));
        qunsetenv("TYPELAB_DRIVE_A");
        QCOMPARE(Paths::toLocal(QStringLiteral("A:\\x.mdb")), QStringLiteral("/media/floppy0/x.mdb"));
        qputenv("TYPELAB_DRIVE_Z", "/mnt/lab");
        QCOMPARE(Paths::toLocal(QStringLiteral("Z:\\PC3\\data\\stugrade.mdb")),
                 QStringLiteral("/mnt/lab/PC3/data/stugrade.mdb"));
        qunsetenv("TYPELAB_DRIVE_Z");
        // No folder for Q: the path stays as typed and is simply not found.
        QCOMPARE(Paths::toLocal(QStringLiteral("Q:\\x")), QStringLiteral("Q:/x"));
        QCOMPARE(Paths::toLocal(QStringLiteral("1\\data\\stugrade.mdb")), QStringLiteral("1/data/stugrade.mdb"));
        QCOMPARE(Paths::inAppFolder(QStringLiteral("/opt/t"), QStringLiteral("\\data\\help.dat")),
                 QStringLiteral("/opt/t/data/help.dat"));
    }

    void frameAndHeaderCheck()
    {
        const QByteArray file = ExerciseFileFormat::build(QByteArray(1000, 'a'));
        QCOMPARE(file.size(), 1032);
        QCOMPARE(quint8(file[16]), quint8(0xE8));
        QCOMPARE(quint8(file[17]), quint8(0x03));
        QVERIFY(ExerciseFileFormat::textOf(file).has_value());
        QVERIFY(!ExerciseFileFormat::textOf(file + 'x').has_value());
        QVERIFY(!ExerciseFileFormat::textOf(file.chopped(1)).has_value());
        QByteArray wrongMagic = file;
        wrongMagic[3] = 0x17;
        QVERIFY(!ExerciseFileFormat::textOf(wrongMagic).has_value());
        // 32736 bytes of text no longer fit the signed 16-bit sum.
        QVERIFY(!ExerciseFileFormat::textOf(ExerciseFileFormat::build(QByteArray(32736, 'a'))).has_value());
        QVERIFY(ExerciseFileFormat::textOf(ExerciseFileFormat::build(QByteArray(32735, 'a'))).has_value());
    }

    void plainTextBecomesExerciseText()
    {
        auto converted = ExerciseFileFormat::toExerciseText(QStringLiteral("中文\nab\r\n").toUtf8());
        QVERIFY(converted.unencodable.isEmpty());
        QCOMPARE(converted.text, QByteArray("\xD6\xD0\xCE\xC4\r\nab\r\n"));
        // Already code page 936 with CR LF: unchanged.
        QCOMPARE(ExerciseFileFormat::toExerciseText(converted.text).text, converted.text);
        // A converted text ends with a line end, so its last line is typed too.
        QCOMPARE(ExerciseFileFormat::toExerciseText(QStringLiteral("第一行\n末行").toUtf8()).text,
                 QByteArray("\xB5\xDA\xD2\xBB\xD0\xD0\r\n\xC4\xA9\xD0\xD0\r\n"));
        QCOMPARE(ExerciseFileFormat::toExerciseText("one\ntwo").text, QByteArray("one\r\ntwo\r\n"));
        QCOMPARE(ExerciseFileFormat::toExerciseText("one\r\ntwo").text, QByteArray("one\r\ntwo"));
        auto refused = ExerciseFileFormat::toExerciseText(QStringLiteral("ok😀").toUtf8());
        QCOMPARE(refused.unencodable, QStringLiteral("😀"));
    }
};

QTEST_GUILESS_MAIN(TestPlatformText)
#include "test_platform_text.moc"
