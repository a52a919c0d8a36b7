#include "results/keyboard_picture.h"

#include "platform/fonts.h"

#include <QHelpEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr double kKeysWide = 15; // the widest row, in key widths
constexpr int kRows = 5;
constexpr double kLegendRows = 1.1;    // the legend's height, in key widths
constexpr double kWorstRate = 1.0 / 3; // red from here on
const QColor kUntyped(225, 225, 225);
const QColor kNone(120, 200, 120);
const QColor kHalfway(240, 215, 80);
const QColor kWorst(215, 60, 50);

QColor mix(const QColor& from, const QColor& to, double share)
{
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                            from.greenF() + (to.greenF() - from.greenF()) * share,
                            from.blueF() + (to.blueF() - from.blueF()) * share);
}

QString percent(double rate)
{
    return QStringLiteral("%1%").arg(qRound(rate * 100));
}

} // namespace

KeyboardPicture::KeyboardPicture(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture1"));
    setFont(Fonts::song(9));
    rates_.resize(UsKeyboard::keys().size());
}

void KeyboardPicture::setRates(const QList<UsKeyboard::KeyRate>& rates)
{
    rates_ = rates;
    rates_.resize(UsKeyboard::keys().size());
    update();
}

QColor KeyboardPicture::colourFor(const UsKeyboard::KeyRate& rate)
{
    if (rate.typed == 0)
        return kUntyped;
    const double share = std::min(1.0, rate.rate() / kWorstRate);
    return share < 0.5 ? mix(kNone, kHalfway, share * 2) : mix(kHalfway, kWorst, (share - 0.5) * 2);
}

double KeyboardPicture::unit() const
{
    return std::min(width() / kKeysWide, height() / (kRows + kLegendRows));
}

QRectF KeyboardPicture::keyRect(int key) const
{
    const KeyboardKey& k = UsKeyboard::keys().at(key);
    const double u = unit();
    const double margin = u * 0.06;
    return QRectF(k.left * u + margin, k.row * u + margin, k.width * u - 2 * margin, u - 2 * margin);
}

QSize KeyboardPicture::sizeHint() const
{
    return QSize(int(kKeysWide * 36), int((kRows + kLegendRows) * 36));
}

void KeyboardPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QList<KeyboardKey>& keys = UsKeyboard::keys();
    const double u = unit();
    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.8);

    for (int i = 0; i < keys.size(); ++i) {
        const QRectF box = keyRect(i);
        painter.setPen(QColor(90, 90, 90));
        painter.setBrush(colourFor(rates_[i]));
        painter.drawRoundedRect(box, u * 0.08, u * 0.08);
        painter.setPen(Qt::black);
        painter.setFont(font());
        const QRectF upper(box.left(), box.top(), box.width(), box.height() * 0.58);
        painter.drawText(upper, Qt::AlignCenter, keys[i].label);
        if (rates_[i].typed > 0) {
            painter.setFont(small);
            const QRectF lower(box.left(), box.top() + box.height() * 0.5, box.width(), box.height() * 0.5);
            painter.drawText(lower, Qt::AlignCenter, percent(rates_[i].rate()));
        }
    }

    // The legend: the colour scale from no mistakes to a third and more, and the grey of keys
    // nothing was typed on.
    painter.setFont(font());
    const QFontMetricsF metrics(font());
    const double top = kRows * u + u * 0.25;
    const double barHeight = u * 0.35;
    double x = u * 0.1;
    const QString caption = QStringLiteral("错误率：");
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x, top + barHeight), caption);
    x += metrics.horizontalAdvance(caption);
    const QRectF bar(x, top, u * 5, barHeight);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    gradient.setColorAt(0, kNone);
    gradient.setColorAt(0.5, kHalfway);
    gradient.setColorAt(1, kWorst);
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(gradient);
    painter.drawRect(bar);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(bar.left(), top + barHeight + metrics.height()), QStringLiteral("0%"));
    const QString worst = QStringLiteral("%1及以上").arg(percent(kWorstRate));
    painter.drawText(QPointF(bar.right() - metrics.horizontalAdvance(worst), top + barHeight + metrics.height()),
                     worst);
    x = bar.right() + u * 0.8;
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(kUntyped);
    painter.drawRect(QRectF(x, top, u * 0.6, barHeight));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x + u * 0.75, top + barHeight), QStringLiteral("未录入"));
}

bool KeyboardPicture::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QList<KeyboardKey>& keys = UsKeyboard::keys();
        for (int i = 0; i < keys.size(); ++i) {
            if (!keyRect(i).contains(help->pos()))
                continue;
            const UsKeyboard::KeyRate& rate = rates_[i];
            QToolTip::showText(help->globalPos(),
                               rate.typed == 0 ? QStringLiteral("%1：未录入").arg(keys[i].label)
                                               : QStringLiteral("%1：录入 %2 次，错 %3 次（%4）")
                                                     .arg(keys[i].label)
                                                     .arg(rate.typed)
                                                     .arg(rate.wrong)
                                                     .arg(percent(rate.rate())),
                               this);
            return true;
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}
