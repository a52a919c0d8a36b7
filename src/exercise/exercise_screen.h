#pragma once
// The Exercise screen form2: the child window of the main window in which one typing exercise
// runs. It shows the text and the typed characters (drawn by the typing engine into a
// CellImage), blinks the cursor line, runs the countdown and, at the end, stores the result.
// It lives in the main window's MDI area and moves with the scroll bar it is given; what the
// Status panel and the menus show, it only announces through its signals.

#include "exercise/cell_image.h"
#include "exercise/exercise_text.h"
#include "exercise/keystroke_log.h"
#include "exercise/exercise_taker.h"
#include "exercise/scoring.h"
#include "exercise/typing_engine.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class QMdiArea;
class QScrollBar;
class QTimer;

class ExerciseScreen : public QWidget, public TypingHost {
    Q_OBJECT
public:
    // A replay shows a stored exercise again: its events come from the keystroke log through
    // replayEvent(), keys are ignored, the countdown runs only on the log's ticks, and the end
    // stores nothing and leaves the screen open on the end state.
    enum class Mode { Exercise, Replay };

    // The result belongs to the taker, who was logged in when the exercise started.
    ExerciseScreen(QMdiArea* area, QScrollBar* scrollBar, ExerciseKind kind, ExerciseTaker taker,
                   Mode mode = Mode::Exercise);
    ~ExerciseScreen() override;

    // Before the screen is shown: splits the text of the exercise file the store drew (after its
    // header), measures the font, announces the line count and the time. False when the text
    // cannot be used: the user has been told and the exercise is closed.
    bool load(const QByteArray& fileText);
    // Shows the screen frameless at the top-left of the main window's client area and runs the
    // first activation.
    void showInMainWindow();
    // Lays out and prints the text the first time the screen becomes active; later calls do
    // nothing.
    void activate();
    // One tick of the countdown timer Timer2.
    void countdownTick();
    // How often the countdown tells its progress.
    static constexpr int kProgressSeconds = 30;
    // Replay: one event of the log, taken as the screen took it while the student typed.
    void replayEvent(const KeystrokeEvent& event);
    Mode mode() const { return mode_; }
    // The exercise has ended (in a replay: the log has reached its end).
    bool ended() const { return finished_ || closed_; }
    // The end sequence: keys stop, the scroll bar goes, the screen closes (and says so: no
    // exercise is open any more).
    void closeExercise();

    // What the exercise shows and holds, for the main window and for tests.
    ExerciseKind kind() const { return kind_; }
    const TypingEngine* engine() const { return engine_.get(); }
    const CellImage& cells() const { return cells_; }
    const Countdown& countdown() const { return countdown_; }
    const ExerciseTaker& taker() const { return taker_; }
    // Every event the engine consumed and every tick, since the exercise opened.
    const KeystrokeLog& keystrokeLog() const { return log_; }
    QMdiSubWindow* frame() const { return frame_; }
    QWidget* cursorLine() const { return cursorLine_; }
    bool laidOut() const { return laidOut_; }
    // The cursor as a rectangle on the input row, in the screen's pixels.
    QRect cursorRectangle() const;
    // Answers the input method: the cursor rectangle places its candidate window.
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

    // TypingHost
    void startCountdown() override;
    void showCurrentLine(int oneBased) override;
    void showCursorColumn(int column) override;
    int scrollValue() const override;
    int scrollMaximum() const override;
    void setScrollValue(int value) override;
    int screenTop() const override;
    void escapePressed() override;

signals:
    // Values for the Status panel.
    void totalLinesKnown(int lines);
    void currentLineChanged(int oneBased);
    void cursorColumnChanged(int column);
    void timeLeftChanged(const QString& text);
    // Every half minute of the countdown: the characters typed so far and the seconds left (the
    // school server's live view of a test follows them).
    void progress(int typed, int secondsLeft);
    // The exercise is over with typing begun: its keystroke log and the result the screen
    // counted, for the store, which computes the result again from the log.
    void finished(const KeystrokeLog& log, const ExerciseResult& result);
    // A test login takes each exercise once: its menu item goes.
    void takenInTest(ExerciseKind kind);
    // The scroll bar moves this frame from now on, and a scroll gives the focus back here.
    void placed(QWidget* frame, QWidget* focusTarget);
    // The end sequence: the scroll bar goes and the frame is closing.
    void closed();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void characters(const QString& text, bool showColumn = false);
    int typedCharacters() const;
    void record(KeystrokeEvent::Kind kind, qint16 value);
    void placeCursor();
    void tellInputMethodWhereWeAre();
    void blink();
    void applyResizeRule();
    void finish();
    void reportBadExerciseFile();

    QMdiArea* area_;
    QScrollBar* scrollBar_;
    const ExerciseKind kind_;
    std::optional<ExerciseText> text_;
    CellImage cells_;
    std::unique_ptr<TypingEngine> engine_;
    Countdown countdown_;
    KeystrokeLog log_;
    qint64 openedAt_ = 0; // the steady clock when the exercise opened
    ExerciseTaker taker_;
    QPointer<QMdiSubWindow> frame_;
    QPointer<QObject> watchedFrame_;   // the same frame, for the event filter
    QWidget* cursorLine_ = nullptr;    // Line1
    QTimer* blinkTimer_ = nullptr;     // Timer1
    QTimer* countdownTimer_ = nullptr; // Timer2
    QString preedit_;
    const Mode mode_;
    std::optional<KeystrokeEvent> replayed_; // the replay's previous event
    bool laidOut_ = false;
    bool keysOn_ = false;
    bool finished_ = false;
    bool closed_ = false;
};
