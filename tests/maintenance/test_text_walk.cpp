// The layout of an exercise text in the display boxes of the file tools and the help viewer.
#include "maintenance/text_walk.h"
#include "platform/codepage.h"

#include <QTest>

class TextWalkTest : public QObject {
    Q_OBJECT

private slots:
    void walk_data();
    void walk();
    void wrapsLongLinesAtColumn106();
    void wideCharacterAfter105ColumnsMakesA107ColumnLine();
};

static QByteArray gbk(const char* utf8)
{
    return *CodePage::encode(QString::fromUtf8(utf8));
}

void TextWalkTest::walk_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("doubled");
    QTest::addColumn<QString>("shown");

    QTest::newRow("empty") << QByteArray() << true << QString();
    QTest::newRow("doubled line ends") << QByteArray("ab\r\ncd\r\n") << true << QStringLiteral("ab\n\ncd\n\n");
    QTest::newRow("single line ends") << QByteArray("ab\r\ncd\r\n") << false << QStringLiteral("ab\ncd\n");
    QTest::newRow("blank line") << QByteArray("a\r\n\r\nb") << false << QStringLiteral("a\n\nb");
    QTest::newRow("chinese") << gbk("中文，录入\r\n") << true << QString::fromUtf8("中文，录入\n\n");
    QTest::newRow("mixed") << gbk("A中b") << false << QString::fromUtf8("A中b");
    QTest::newRow("cr then other byte") << QByteArray("a\rb") << false << QStringLiteral("a\nb");
    QTest::newRow("cr at the end") << QByteArray("a\r") << true << QStringLiteral("a\n\n");
    QTest::newRow("lead byte at the end")
        << QByteArray("a\xd6") << false << QStringLiteral("a") + QChar(QChar::ReplacementCharacter);
}

void TextWalkTest::walk()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, doubled);
    QFETCH(QString, shown);
    QCOMPARE(walkExerciseText(text, doubled), shown);
}

void TextWalkTest::wrapsLongLinesAtColumn106()
{
    const QByteArray line = QByteArray(150, 'x') + "\r\n";
    const QString x106(106, u'x');
    const QString x44(44, u'x');
    QCOMPARE(walkExerciseText(line, true), x106 + "\n\n" + x44 + "\n\n");
    QCOMPARE(walkExerciseText(line, false), x106 + "\n" + x44 + "\n");

    // Exactly 106 columns wrap once, and the CR LF that follows still ends its (empty) line.
    QCOMPARE(walkExerciseText(QByteArray(106, 'y') + "\r\n", false), QString(106, u'y') + "\n\n");

    // 200 single-byte characters: 106 then 94.
    QCOMPARE(walkExerciseText(QByteArray(200, 'z'), false), QString(106, u'z') + "\n" + QString(94, u'z'));
}

void TextWalkTest::wideCharacterAfter105ColumnsMakesA107ColumnLine()
{
    const QByteArray text = QByteArray(105, 'a') + gbk("中") + "b";
    QCOMPARE(walkExerciseText(text, true), QString(105, u'a') + QString::fromUtf8("中") + "\n\nb");

    // A double-byte character ending exactly at column 106 wraps too.
    QCOMPARE(walkExerciseText(QByteArray(104, 'a') + gbk("中文"), false),
             QString(104, u'a') + QString::fromUtf8("中") + "\n" + QString::fromUtf8("文"));
}

QTEST_GUILESS_MAIN(TextWalkTest)
#include "test_text_walk.moc"
