#pragma once
// Every message box of the program goes through here: one OK button, no icon, as the
// program's messages always looked. Tests switch to recording mode and read what was shown.

#include <QList>
#include <QString>

class QWidget;

namespace MessageBoxes {

struct Shown {
    QString title;
    QString text;
};

// Shows a modal message box with a single OK button ("确定") and waits for it.
// An empty title leaves the box without a title of its own.
void show(QWidget* parent, const QString& title, const QString& text);

// Test seam: while recording, show() returns at once and keeps what it would have shown.
void setRecording(bool on);
bool isRecording();
QList<Shown> takeRecorded();

} // namespace MessageBoxes
