#pragma once
// The drawing surface of the Exercise screen: one image as large as the whole text, holding
// the blue text rows and the typed characters on the input rows. What is drawn stays until it
// is drawn over, so the screen only shows the image.

#include "exercise/exercise_text.h"
#include "exercise/typing_host.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <functional>

class CellImage : public CellCanvas {
public:
    // Layout of the rows, in twips; from one row to the next is ExerciseGeometry::kLinePitch.
    static constexpr int kLeftMargin = 200;
    static constexpr int kTopMargin = 100;
    static constexpr int kInputRowOffset = 300;
    static const QColor textColour; // blue, RGB(0, 0, 255)

    // The window font measured in twips: a half-width character on "w" and "l", a full-width
    // one on a common ideograph.
    struct Metrics {
        int asciiCharWidth = 0;
        int asciiCharHeight = 0;
        int wideCharWidth = 0;
        int wideCharHeight = 0;
    };

    explicit CellImage(const QFont& font);

    const QFont& font() const { return font_; }
    Metrics metrics() const { return metrics_; }
    // Pixel geometry: one cell, the left edge of column 0, the tops of a line's rows.
    int cellWidth() const { return cellWidth_; }
    int cellHeight() const { return cellHeight_; }
    int leftEdge() const;
    int textRowTop(int line) const;
    int inputRowTop(int line) const;
    // The pixels of `cells` cells of a line's input row from a column on.
    QRect inputCells(int line, int column, int cells) const;
    QRect textCells(int line, int column, int cells) const;

    // Height of the whole text in twips: one pitch per line and half a pitch below the last.
    static int textHeightTwips(const ExerciseText& text);
    // Makes a fresh white image for the text (at least `minimumWidth` pixels wide) and prints
    // every display line in blue, each character in its own cells.
    void printText(const ExerciseText& text, int minimumWidth);
    const QImage& image() const { return image_; }

    // Told the pixels that changed, so the window can repaint just those.
    void setChangedHandler(std::function<void(const QRect&)> handler) { changed_ = std::move(handler); }

    void drawChar(int line, int column, quint8 lead, quint8 trail, bool doubleByte, QColor colour) override;
    void blank(int line, int column, int cells) override;

private:
    void drawInBox(QPainter& painter, const QRect& box, const QString& glyph, const QColor& colour) const;
    void notify(const QRect& rect) const;

    QFont font_;
    QFontMetrics fontMetrics_;
    Metrics metrics_;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    QImage image_;
    std::function<void(const QRect&)> changed_;
};
