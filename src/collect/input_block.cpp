#include "collect/input_block.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {
int blocks = 0;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}
} // namespace

InputBlock::InputBlock()
{
    ++blocks;
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

InputBlock::~InputBlock()
{
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
    --blocks;
}

bool InputBlock::active()
{
    return blocks > 0;
}

void InputBlock::refresh(QWidget* changed)
{
    if (changed->isVisible())
        changed->repaint();
    QCoreApplication::processEvents();
}

bool InputBlock::eventFilter(QObject* watched, QEvent* event)
{
    if (isUserInput(event->type()))
        return true;
    // A window closed in the middle of a run would take the run's objects with it.
    if (event->type() == QEvent::Close && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
