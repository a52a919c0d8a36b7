// The exercise font: the stand-in for "宋体" keeps the cell rule (a wide character is exactly two
// half-width cells) and tells apart the characters an English test must not confuse.

#include "exercise/cell_image.h"
#include "platform/fonts.h"
#include "support/test_support.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {

QImage drawn(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text), metrics.height(), QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(0, metrics.ascent(), text);
    return image;
}

// Pixels whose grey differs clearly between two glyph images of one size.
int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 64;
    return count;
}

} // namespace

class TestFonts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }

    void exerciseFontKeepsCellsAndTellsGlyphsApart()
    {
        const QFont font = Fonts::song(10.5);
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("Noto Sans Mono CJK SC"));
        const QFontMetrics metrics(font);
        const int cell = metrics.horizontalAdvance(QLatin1Char('w'));
        QVERIFY(cell > 0);
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("中")), 2 * cell);
        const QString lookAlikes = QStringLiteral("l1I|O0");
        for (const QChar c : lookAlikes)
            QCOMPARE(metrics.horizontalAdvance(c), cell);
        const CellImage cells(font);
        QCOMPARE(cells.metrics().wideCharWidth, 2 * cells.metrics().asciiCharWidth);

        for (const auto& [a, b] : {std::pair{"l", "1"}, std::pair{"l", "I"}, std::pair{"1", "I"}, std::pair{"l", "|"},
                                   std::pair{"1", "|"}, std::pair{"I", "|"}, std::pair{"O", "0"}}) {
            const int differing =
                differingPixels(drawn(font, QString::fromLatin1(a)), drawn(font, QString::fromLatin1(b)));
            QVERIFY2(differing >= 6,
                     qPrintable(QStringLiteral("%1 and %2 differ in %3 pixels").arg(a, b).arg(differing)));
        }
    }
};

QTEST_MAIN(TestFonts)
#include "test_fonts.moc"
