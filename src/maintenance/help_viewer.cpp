#include "maintenance/help_viewer.h"

#include "maintenance/help_content.h"
#include "platform/fonts.h"
#include "platform/twips.h"
#include "platform/no_right_click.h"

#include <QEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// Wide enough for a wrapped line of 106 half-width columns in the box's font.
constexpr int kWidthTwips = 10500;
constexpr int kHeightTwips = 7200;

const QColor kTextColour(0, 0, 255);
const QColor kBackground(230, 255, 230);

} // namespace

HelpViewer::HelpViewer(const QString& appFolder, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmbz"));
    setWindowTitle(QStringLiteral("帮助"));
    setFont(Fonts::song(9));
    resize(Twips::toPixels(kWidthTwips), Twips::toPixels(kHeightTwips));

    text1_ = new QPlainTextEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text1_->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text1_);

    NoRightClick::norightclick(text1_);
    text1_->installEventFilter(this);
    QPalette colours = text1_->palette();
    colours.setColor(QPalette::Base, kBackground);
    colours.setColor(QPalette::Text, kTextColour);
    text1_->setPalette(colours);

    // The file is read afresh at every opening.
    text1_->setPlainText(HelpContent::contentFor(appFolder));
    text1_->setReadOnly(true);
}

HelpViewer::~HelpViewer()
{
    releaseTextBox();
}

void HelpViewer::done(int result)
{
    releaseTextBox();
    QDialog::done(result);
}

bool HelpViewer::eventFilter(QObject* watched, QEvent* event)
{
    // A read-only box still takes text committed by an input method when it is handed one;
    // the help text must stay as the file holds it.
    if (watched == text1_ && event->type() == QEvent::InputMethod)
        return true;
    return QDialog::eventFilter(watched, event);
}

void HelpViewer::releaseTextBox()
{
    NoRightClick::release(text1_);
}

void openHelpViewer(QWidget* parent, const QString& appFolder)
{
    HelpViewer viewer(appFolder, parent);
    viewer.exec();
}
