#pragma once
// The middle of a window an exercise runs in: the Status panel on the left, the area the
// Exercise screen lives in, and the strip with the scroll bar that moves the screen (VSc1,
// hidden until an exercise shows). The main window and the replay window are built around one.

class QHBoxLayout;
class QMdiArea;
class QScrollBar;
class QWidget;
class StatusPanel;

struct ExerciseStage {
    StatusPanel* panel = nullptr;
    QMdiArea* area = nullptr;        // mdiArea
    QWidget* strip = nullptr;        // Picture3
    QScrollBar* scrollBar = nullptr; // VSc1

    // Builds the three side by side into `row`, the bar as high as given (twips).
    static ExerciseStage build(QWidget* parent, QHBoxLayout* row, int scrollBarHeightTwips);
};
