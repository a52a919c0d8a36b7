#pragma once
// The replay window frmhf, "成绩回放": a stored result shown again in a read-only Exercise
// screen beside a Status panel of its own. The student's keystroke log drives the screen at the
// student's own pace, four times as fast, or straight to the end; keys change nothing. The end
// is the stored result's typed state, with its figures in the panel. A system login only.

#include "exercise/keystroke_log.h"
#include "exercise/replay_pace.h"
#include "store/store_protocol.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>

class ExerciseScreen;
class QLabel;
class QMdiArea;
class QPushButton;
class QScrollBar;
class StatusPanel;
class StoreClient;

class ReplayWindow : public QDialog {
    Q_OBJECT
public:
    // The stored result and its whole keystroke log.
    explicit ReplayWindow(const ResultLogEntry& entry, QWidget* parent = nullptr);
    ~ReplayWindow() override;

    // Opens the screen on the result's text and starts at 1×; false when the text or the log
    // cannot be used (the user has been told).
    bool start();
    // 1× or 4× from where the replay stands.
    void setSpeed(int factor);
    // Every event left, at once.
    void toEnd();
    // Plays the events that are due by the steady clock now, and waits for the next.
    void wake();
    bool atEnd() const;
    // How many of the log's events have been played.
    int played() const { return next_; }

    ExerciseScreen* screen() const { return screen_; }
    StatusPanel* statusPanel() const { return panel_; }
    QScrollBar* scrollBar() const { return scrollBar_; } // VSc1

private:
    const GradeRow& row() const;
    void playUntil(qint64 logTime);
    void showEnd();

    ResultLogEntry entry_;
    KeystrokeLog log_;
    int next_ = 0;
    std::optional<ReplayPace> pace_;
    QTimer wakeUp_;
    StatusPanel* panel_ = nullptr;
    QMdiArea* area_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    QLabel* subject_ = nullptr;    // Label2
    QPushButton* buttons_[3] = {}; // Command1_0 1×, Command1_1 4×, Command1_2 to the end
    QPointer<ExerciseScreen> screen_;
    QPointer<QWidget> frame_;
};

// The window for one stored result (by its stdgrade rowid), with the log read from the store
// under a system login's session; null when it cannot be shown, after a message box has said
// why (not a system login, a result without a keystroke log, ...).
std::unique_ptr<ReplayWindow> makeReplay(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid);
// The same, shown modally.
void openReplay(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid);
