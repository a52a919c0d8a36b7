#include "exercise/cell_image.h"

#include "exercise/exercise_geometry.h"
#include "platform/codepage.h"
#include "platform/twips.h"

#include <QPainter>
#include <algorithm>

const QColor CellImage::textColour = QColor(0, 0, 255);

namespace {

using ExerciseGeometry::kLinePitch;

// Any common ideograph of the font gives the full-width metrics.
const QString kWideSample = QStringLiteral("中");

} // namespace

CellImage::CellImage(const QFont& font) : font_(font), fontMetrics_(font)
{
    const int asciiWidthPx = fontMetrics_.horizontalAdvance(QLatin1Char('w'));
    const int wideWidthPx = fontMetrics_.horizontalAdvance(kWideSample);
    // A text's height is the font's line height, the same for "l" as for an ideograph.
    const int heightPx = fontMetrics_.height();
    metrics_.asciiCharWidth = Twips::fromPixels(asciiWidthPx);
    metrics_.asciiCharHeight = Twips::fromPixels(heightPx);
    metrics_.wideCharWidth = Twips::fromPixels(wideWidthPx);
    metrics_.wideCharHeight = Twips::fromPixels(heightPx);
    // A cell is a half-width character wide; a wide character always takes exactly two, so
    // the typed row lines up under the text whatever the font's own advances are.
    cellWidth_ = std::max(1, asciiWidthPx);
    cellHeight_ = std::max(1, heightPx);
}

int CellImage::leftEdge() const
{
    return Twips::toPixels(kLeftMargin);
}

int CellImage::textRowTop(int line) const
{
    return Twips::toPixels(kTopMargin + line * kLinePitch);
}

int CellImage::inputRowTop(int line) const
{
    return Twips::toPixels(kTopMargin + line * kLinePitch + kInputRowOffset);
}

QRect CellImage::inputCells(int line, int column, int cells) const
{
    return QRect(leftEdge() + column * cellWidth_, inputRowTop(line), cells * cellWidth_, cellHeight_);
}

QRect CellImage::textCells(int line, int column, int cells) const
{
    return QRect(leftEdge() + column * cellWidth_, textRowTop(line), cells * cellWidth_, cellHeight_);
}

int CellImage::textHeightTwips(const ExerciseText& text)
{
    return text.lineCount() * kLinePitch + kInputRowOffset;
}

void CellImage::printText(const ExerciseText& text, int minimumWidth)
{
    int widestLine = 0;
    for (int line = 0; line <= text.lastLine; ++line)
        widestLine = std::max(widestLine, int(text.lineTable[line].length));
    const int width = std::max(minimumWidth, leftEdge() + (widestLine + 1) * cellWidth_);
    image_ = QImage(width, Twips::toPixels(textHeightTwips(text)), QImage::Format_RGB32);
    image_.fill(Qt::white);

    QPainter painter(&image_);
    painter.setFont(font_);
    for (int line = 0; line <= text.lastLine; ++line) {
        const LineEntry entry = text.lineTable[line];
        int column = 0;
        for (int p = entry.start; p < entry.start + entry.length; ++p) {
            const quint8 byte = text.byteAt(p);
            if (byte == 13)
                break;
            if (byte >= 0x80) {
                drawInBox(painter, textCells(line, column, 2), CodePage::charText(byte, text.byteAt(p + 1)),
                          textColour);
                column += 2;
                ++p;
            } else {
                if (byte >= 32)
                    drawInBox(painter, textCells(line, column, 1), CodePage::charText(byte), textColour);
                column += 1;
            }
        }
    }
    painter.end();
    notify(image_.rect());
}

void CellImage::drawChar(int line, int column, quint8 lead, quint8 trail, bool doubleByte, QColor colour)
{
    if (image_.isNull())
        return;
    const QRect box = inputCells(line, column, doubleByte ? 2 : 1);
    QPainter painter(&image_);
    painter.setFont(font_);
    // A control character or a character code page 936 cannot hold has no glyph of its own:
    // a hollow box in its cells shows that something was typed there.
    const bool printable = doubleByte ? lead != 0xFF : lead >= 32 && lead != 127;
    if (printable) {
        drawInBox(painter, box, doubleByte ? CodePage::charText(lead, trail) : CodePage::charText(lead), colour);
    } else {
        painter.fillRect(box, Qt::white);
        painter.setPen(colour);
        painter.drawRect(box.adjusted(1, 2, -2, -2));
    }
    painter.end();
    notify(box);
}

void CellImage::blank(int line, int column, int cells)
{
    if (image_.isNull() || cells <= 0)
        return;
    const QRect box = inputCells(line, column, cells);
    QPainter painter(&image_);
    painter.fillRect(box, Qt::white);
    painter.end();
    notify(box);
}

void CellImage::drawInBox(QPainter& painter, const QRect& box, const QString& glyph, const QColor& colour) const
{
    // Opaque: whatever the cells showed before is gone.
    painter.fillRect(box, Qt::white);
    if (glyph.isEmpty())
        return;
    const int advance = fontMetrics_.horizontalAdvance(glyph);
    const int x = box.left() + std::max(0, (box.width() - advance) / 2);
    painter.save();
    painter.setClipRect(box);
    painter.setPen(colour);
    painter.drawText(x, box.top() + fontMetrics_.ascent(), glyph);
    painter.restore();
}

void CellImage::notify(const QRect& rect) const
{
    if (changed_)
        changed_(rect);
}
