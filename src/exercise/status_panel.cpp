#include "exercise/status_panel.h"

#include "exercise/exercise_screen.h"

#include "platform/fonts.h"
#include "platform/twips.h"

#include <QLabel>
#include <QPainter>

namespace {

struct Row {
    int top;
    const char* caption; // nullptr for a value label
};

const Row kRows[16] = {
    {120, "  学   号  "},  {480, nullptr},  {960, "  姓   名   "}, {1320, nullptr},
    {2040, "文本总行数"},  {2400, nullptr}, {2880, " 当 前 行 "},  {3240, nullptr},
    {3840, "  成   绩  "}, {4200, nullptr}, {4680, "  速度(/分)"}, {5040, nullptr},
    {5520, " 准 确 率"},   {5880, nullptr}, {6600, " 剩余时间  "}, {7080, nullptr},
};

constexpr int kPanelWidth = 1560;
constexpr int kLabelLeft = 170;
constexpr int kLabelWidth = 1215;
constexpr int kLabelHeight = 255;
constexpr int kDividers[3] = {1800, 3600, 6360};

} // namespace

StatusPanel::StatusPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture1"));
    setFixedWidth(Twips::toPixels(kPanelWidth));
    setAutoFillBackground(true);
    QPalette panelPalette = palette();
    panelPalette.setColor(QPalette::Window, QColor(236, 233, 216));
    setPalette(panelPalette);
    for (int i = 0; i < 16; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setFont(Fonts::kai(10.5));
        label->setGeometry(Twips::rect(kLabelLeft, kRows[i].top, kLabelWidth, kLabelHeight));
        if (kRows[i].caption) {
            label->setText(QString::fromUtf8(kRows[i].caption));
        } else {
            label->setAlignment(Qt::AlignCenter);
            QPalette valuePalette = label->palette();
            valuePalette.setColor(QPalette::WindowText, QColor(0, 0, 160));
            label->setPalette(valuePalette);
        }
        labels_[i] = label;
    }
}

QLabel* StatusPanel::label(int index) const
{
    return index >= 0 && index < 16 ? labels_[index] : nullptr;
}

void StatusPanel::setValue(int index, const QString& text)
{
    labels_[index]->setText(text);
}

void StatusPanel::follow(const ExerciseScreen* screen)
{
    connect(screen, &ExerciseScreen::totalLinesKnown, this,
            [this](int lines) { setValue(TotalLines, QString::number(lines)); });
    connect(screen, &ExerciseScreen::currentLineChanged, this,
            [this](int line) { setValue(CurrentLine, QString::number(line)); });
    connect(screen, &ExerciseScreen::cursorColumnChanged, this,
            [this](int column) { setValue(Accuracy, QString::number(column)); });
    connect(screen, &ExerciseScreen::timeLeftChanged, this,
            [this](const QString& text) { setValue(RemainingTime, text); });
}

QString StatusPanel::value(int index) const
{
    return labels_[index]->text();
}

void StatusPanel::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(QColor(128, 128, 128), 3));
    for (int y : kDividers)
        painter.drawLine(0, Twips::toPixels(y), Twips::toPixels(1680), Twips::toPixels(y));
}
