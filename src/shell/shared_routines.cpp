#include "shell/shared_routines.h"

#include "shell/main_window.h"
#include "shell/program_state.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>

void setmenus(MainWindow& mainWindow)
{
    QAction* exercises = mainWindow.topMenu("lrxm")->menuAction();
    QAction* maintenance = mainWindow.topMenu("xtwh")->menuAction();
    switch (programState().loginMode) {
    case LoginMode::None:
        exercises->setEnabled(false);
        maintenance->setEnabled(false);
        break;
    case LoginMode::Practice:
    case LoginMode::Test:
        exercises->setEnabled(true);
        maintenance->setEnabled(false);
        break;
    case LoginMode::System:
        exercises->setEnabled(true);
        maintenance->setEnabled(true);
        break;
    default:
        break;
    }
}

namespace {

// Swallows the right button on the box and on its viewport; everything else goes on.
class NoRightClick : public QObject {
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

QPointer<NoRightClick> activeFilter;

} // namespace

void installNoRightClick(QWidget* textBox)
{
    removeNoRightClick();
    auto* filter = new NoRightClick(textBox);
    textBox->installEventFilter(filter);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(textBox))
        area->viewport()->installEventFilter(filter);
    activeFilter = filter;
    programState().subclassedTextBox = textBox;
}

void removeNoRightClick()
{
    if (!programState().subclassedTextBox)
        return;
    delete activeFilter.data(); // removes itself from the box and the viewport
    programState().subclassedTextBox = nullptr;
}
