#include "platform/message_box.h"

#include <QMessageBox>

namespace MessageBoxes {
namespace {
bool recording = false;
QList<Shown> recorded;
} // namespace

void show(QWidget* parent, const QString& title, const QString& text)
{
    if (recording) {
        recorded.append({title, text});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

void setRecording(bool on)
{
    recording = on;
    recorded.clear();
}

bool isRecording()
{
    return recording;
}

QList<Shown> takeRecorded()
{
    QList<Shown> result;
    result.swap(recorded);
    return result;
}

} // namespace MessageBoxes
