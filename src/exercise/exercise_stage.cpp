#include "exercise/exercise_stage.h"

#include "exercise/status_panel.h"
#include "platform/twips.h"

#include <QHBoxLayout>
#include <QMdiArea>
#include <QScrollBar>

namespace {
constexpr int kScrollStripWidth = 250;
constexpr int kScrollBarWidth = 255;
} // namespace

ExerciseStage ExerciseStage::build(QWidget* parent, QHBoxLayout* row, int scrollBarHeightTwips)
{
    ExerciseStage stage;
    row->setSpacing(0);
    stage.panel = new StatusPanel(parent);
    row->addWidget(stage.panel);

    stage.area = new QMdiArea(parent);
    stage.area->setObjectName(QStringLiteral("mdiArea"));
    stage.area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stage.area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    row->addWidget(stage.area, 1);

    stage.strip = new QWidget(parent);
    stage.strip->setObjectName(QStringLiteral("Picture3"));
    stage.strip->setFixedWidth(Twips::toPixels(kScrollStripWidth));
    stage.scrollBar = new QScrollBar(Qt::Vertical, stage.strip);
    stage.scrollBar->setObjectName(QStringLiteral("VSc1"));
    stage.scrollBar->setGeometry(0, 0, Twips::toPixels(kScrollBarWidth), Twips::toPixels(scrollBarHeightTwips));
    stage.scrollBar->hide();
    row->addWidget(stage.strip);
    return stage;
}
