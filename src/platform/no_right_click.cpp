#include "platform/no_right_click.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {

// Swallows the right button on the box and on its viewport; everything else goes on.
class RightButtonFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true;
            break;
        case QEvent::ContextMenu:
            return true;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

RightButtonFilter* filterOf(const QWidget* textBox)
{
    return textBox ? textBox->findChild<RightButtonFilter*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

} // namespace

namespace NoRightClick {

void norightclick(QWidget* textBox)
{
    if (!textBox || filterOf(textBox))
        return;
    auto* filter = new RightButtonFilter(textBox);
    textBox->installEventFilter(filter);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(textBox))
        area->viewport()->installEventFilter(filter);
}

void release(QWidget* textBox)
{
    // Deleting the filter takes it off the box and the viewport.
    delete filterOf(textBox);
}

bool guards(const QWidget* textBox)
{
    return filterOf(textBox) != nullptr;
}

} // namespace NoRightClick

#include "no_right_click.moc"
