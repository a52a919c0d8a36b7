#include "exercise/exercise_screen.h"

#include "exercise/exercise_geometry.h"
#include "exercise/key_codes.h"
#include "platform/clock.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

namespace {

constexpr double kFontPoints = 10.5;
constexpr int kBlinkMilliseconds = 300;
constexpr int kCountdownMilliseconds = 1000;
// The main window keeps this much of its width beside the screen, in twips.
constexpr int kWidthAllowance = 2000;
// The scroll bar's maximum lets the last line scroll up past the main window's bottom edge.
constexpr int kScrollAllowance = ExerciseGeometry::kLinePitch + 600;

} // namespace

ExerciseScreen::ExerciseScreen(QMdiArea* area, QScrollBar* scrollBar, ExerciseKind kind, ExerciseTaker taker, Mode mode)
    : area_(area), scrollBar_(scrollBar), kind_(kind), cells_(Fonts::song(kFontPoints)), taker_(std::move(taker)),
      mode_(mode)
{
    setObjectName(QStringLiteral("form2"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(cells_.font());

    cursorLine_ = new QWidget(this);
    cursorLine_->setObjectName(QStringLiteral("Line1"));
    cursorLine_->setAttribute(Qt::WA_TransparentForMouseEvents);
    cursorLine_->setAutoFillBackground(true);
    QPalette linePalette = cursorLine_->palette();
    linePalette.setColor(QPalette::Window, Qt::black);
    cursorLine_->setPalette(linePalette);
    cursorLine_->hide();

    blinkTimer_ = new QTimer(this);
    blinkTimer_->setObjectName(QStringLiteral("Timer1"));
    blinkTimer_->setInterval(kBlinkMilliseconds);
    connect(blinkTimer_, &QTimer::timeout, this, &ExerciseScreen::blink);
    blinkTimer_->start();

    countdownTimer_ = new QTimer(this);
    countdownTimer_->setObjectName(QStringLiteral("Timer2"));
    countdownTimer_->setInterval(kCountdownMilliseconds);
    connect(countdownTimer_, &QTimer::timeout, this, &ExerciseScreen::countdownTick);

    cells_.setChangedHandler([this](const QRect& rect) { update(rect); });
}

ExerciseScreen::~ExerciseScreen() = default;

bool ExerciseScreen::load(const QByteArray& fileText)
{
    text_ = ExerciseLoader::fromText(fileText, kind_);
    if (!text_) {
        reportBadExerciseFile();
        return false;
    }
    // A fresh engine: nothing typed, no marks, cursor on line 0, countdown not started.
    engine_ = std::make_unique<TypingEngine>(*text_, cells_, *this);
    countdown_ = Countdown();
    log_.clear();
    openedAt_ = Clock::steadyMilliseconds();
    placeCursor();
    emit totalLinesKnown(text_->lastLine + 1);
    emit timeLeftChanged(countdown_.text());
    // In a test login each exercise can be taken once.
    if (!taker_.batchNumber.isEmpty())
        emit takenInTest(kind_);
    return true;
}

void ExerciseScreen::showInMainWindow()
{
    QMdiArea* area = area_;
    frame_ = area->addSubWindow(this, Qt::FramelessWindowHint);
    frame_->setAttribute(Qt::WA_DeleteOnClose);
    connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        if (window && window == frame_)
            activate();
    });
    frame_->move(0, 0);
    // The scroll bar moves the frame, not the screen inside it: the input method must hear of it.
    frame_->installEventFilter(this);
    watchedFrame_ = frame_.data();
    frame_->show();
    activate();
}

bool ExerciseScreen::eventFilter(QObject* watched, QEvent* event)
{
    // Compared as plain objects: the frame may be halfway through its destruction here.
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && watched == watchedFrame_)
        tellInputMethodWhereWeAre();
    return QWidget::eventFilter(watched, event);
}

// Qt tells the input method where a widget stands only when that widget itself moves; the
// screen stands still in its frame while the frame scrolls, so it says so itself, and the
// candidate window keeps opening under the cursor.
void ExerciseScreen::tellInputMethodWhereWeAre()
{
    if (!hasFocus())
        return;
    QInputMethod* inputMethod = QGuiApplication::inputMethod();
    QTransform transform;
    const QPoint origin = mapTo(window(), QPoint(0, 0));
    transform.translate(origin.x(), origin.y());
    inputMethod->setInputItemTransform(transform);
    inputMethod->setInputItemRectangle(rect());
    inputMethod->update(Qt::ImCursorRectangle | Qt::ImInputItemClipRectangle);
}

void ExerciseScreen::activate()
{
    if (laidOut_ || closed_ || !text_ || !frame_)
        return;
    laidOut_ = true;

    const int mainWidth = Twips::fromPixels(area_->window()->width());
    const int width = mainWidth > kWidthAllowance ? Twips::toPixels(mainWidth - kWidthAllowance) : this->width();
    const int height = Twips::toPixels(CellImage::textHeightTwips(*text_));
    frame_->setGeometry(0, 0, width, height);
    resize(width, height);

    // The scroll bar moves this screen from now on, starting at the top.
    QScrollBar* bar = scrollBar_;
    emit placed(frame_, this);
    bar->setSingleStep(ExerciseGeometry::kLinePitch);
    bar->setPageStep(ExerciseGeometry::kPageTwips);
    applyResizeRule();
    bar->setValue(0);
    frame_->move(0, 0);

    showCurrentLine(engine_->currentLine() + 1);
    cells_.printText(*text_, width);
    update();

    // A replay takes no keys: its events come from the log.
    keysOn_ = mode_ == Mode::Exercise;
    placeCursor();
    setFocus();
}

void ExerciseScreen::applyResizeRule()
{
    if (!laidOut_ || closed_)
        return;
    const int maximum =
        Twips::fromPixels(height()) - Twips::fromPixels(area_->window()->frameGeometry().height()) + kScrollAllowance;
    scrollBar_->setRange(0, std::max(0, maximum));
}

void ExerciseScreen::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyResizeRule();
}

// ---------------------------------------------------------------- keys

bool ExerciseScreen::event(QEvent* event)
{
    // Tab is a key of the exercise, not a move to another control.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(event);
}

void ExerciseScreen::keyPressEvent(QKeyEvent* event)
{
    if (mode_ == Mode::Replay) {
        event->accept(); // nor do they reach the window around it
        return;
    }
    if (!keysOn_ || !engine_) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const int keyCode = KeyCodes::keyDownCode(event->key());
    record(KeystrokeEvent::Kind::KeyDown, qint16(keyCode));
    engine_->keyDown(keyCode);
    // Esc may have ended the exercise: its character goes nowhere. Enter and Backspace are
    // characters of their own whatever text the platform gives them; Ctrl+Enter is the line
    // feed, typed like any other character; Delete acts as a key only and types nothing.
    QString text = event->text();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        text = event->modifiers() & Qt::ControlModifier ? QStringLiteral("\n") : QStringLiteral("\r");
    else if (event->key() == Qt::Key_Backspace)
        text = QStringLiteral("\b");
    else if (event->key() == Qt::Key_Delete)
        text.clear();
    if (keysOn_)
        characters(text);
    if (keysOn_)
        placeCursor();
}

void ExerciseScreen::inputMethodEvent(QInputMethodEvent* event)
{
    if (!keysOn_ || !engine_) {
        event->ignore();
        return;
    }
    event->accept();
    const QRect oldPreedit = cursorRectangle().adjusted(0, 0, cells_.cellWidth() * (preedit_.size() * 2 + 1), 0);
    preedit_ = event->preeditString();
    // Each committed character is one character event, as if typed by its own key, and the
    // column field follows it as it follows keys.
    characters(event->commitString(), true);
    if (keysOn_)
        placeCursor();
    update(oldPreedit);
    update(cursorRectangle().adjusted(0, 0, cells_.cellWidth() * (preedit_.size() * 2 + 1), 0));
}

QVariant ExerciseScreen::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return keysOn_;
    case Qt::ImCursorRectangle:
        return cursorRectangle();
    case Qt::ImInputItemClipRectangle:
        return rect();
    case Qt::ImFont:
        return cells_.font();
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
        return 0;
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection:
    case Qt::ImTextBeforeCursor:
    case Qt::ImTextAfterCursor:
        return QString();
    case Qt::ImHints:
        return int(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    default:
        return QWidget::inputMethodQuery(query);
    }
}

void ExerciseScreen::characters(const QString& text, bool showColumn)
{
    for (qint16 code : KeyCodes::characterCodes(text)) {
        if (!keysOn_)
            break;
        record(KeystrokeEvent::Kind::Character, code);
        engine_->character(code);
        if (showColumn && keysOn_)
            showCursorColumn(engine_->cursorColumn());
    }
}

void ExerciseScreen::record(KeystrokeEvent::Kind kind, qint16 value)
{
    if (mode_ == Mode::Replay)
        return;
    log_.append({quint32(std::max<qint64>(0, Clock::steadyMilliseconds() - openedAt_)), kind, value});
}

// ---------------------------------------------------------------- cursor line

QRect ExerciseScreen::cursorRectangle() const
{
    if (!engine_)
        return QRect();
    const int line = engine_->currentLine();
    const int x = cells_.leftEdge() + engine_->cursorColumn() * cells_.cellWidth();
    const CellImage::Metrics metrics = cells_.metrics();
    const int height = engine_->cursorLowerEndAscii() ? metrics.asciiCharHeight : metrics.wideCharHeight;
    return QRect(x, cells_.inputRowTop(line), 1, Twips::toPixels(height));
}

void ExerciseScreen::placeCursor()
{
    const QRect cursor = cursorRectangle();
    if (cursor.isNull())
        return;
    cursorLine_->setGeometry(cursor);
    tellInputMethodWhereWeAre();
}

void ExerciseScreen::blink()
{
    if (laidOut_ && hasFocus())
        cursorLine_->setVisible(!cursorLine_->isVisible());
    else
        cursorLine_->hide();
}

void ExerciseScreen::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    if (laidOut_ && !closed_)
        cursorLine_->show();
}

void ExerciseScreen::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    cursorLine_->hide();
}

void ExerciseScreen::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, Qt::white);
    painter.drawImage(area.topLeft(), cells_.image(), area);
    if (!preedit_.isEmpty()) {
        // What the input method is composing, at the cursor, until it is committed.
        const QRect cursor = cursorRectangle();
        QFont underlined = cells_.font();
        underlined.setUnderline(true);
        painter.setFont(underlined);
        const QRect box(cursor.x(), cursor.y(), QFontMetrics(underlined).horizontalAdvance(preedit_),
                        cells_.cellHeight());
        painter.fillRect(box, Qt::white);
        painter.setPen(Qt::darkGray);
        painter.drawText(box.x(), box.y() + QFontMetrics(underlined).ascent(), preedit_);
    }
}

// ---------------------------------------------------------------- typing host

void ExerciseScreen::startCountdown()
{
    // A replay's countdown ticks where the log's ticks are.
    if (mode_ == Mode::Exercise && !closed_ && !countdownTimer_->isActive())
        countdownTimer_->start();
}

void ExerciseScreen::showCurrentLine(int oneBased)
{
    emit currentLineChanged(oneBased);
}

void ExerciseScreen::showCursorColumn(int column)
{
    emit cursorColumnChanged(column);
}

int ExerciseScreen::scrollValue() const
{
    return scrollBar_->value();
}

int ExerciseScreen::scrollMaximum() const
{
    return scrollBar_->maximum();
}

void ExerciseScreen::setScrollValue(int value)
{
    scrollBar_->setValue(value);
}

int ExerciseScreen::screenTop() const
{
    return frame_ ? Twips::fromPixels(frame_->y()) : 0;
}

void ExerciseScreen::escapePressed()
{
    if (engine_ && engine_->typingStarted())
        finish();
    closeExercise();
}

// ---------------------------------------------------------------- the end

int ExerciseScreen::typedCharacters() const
{
    // A double-byte character fills two positions and counts once.
    int characters = 0;
    const auto& typed = engine_->typedBytes();
    for (int p = 0; p < ExerciseText::kPositions; ++p) {
        if (typed[p] == 0)
            continue;
        ++characters;
        if (typed[p] >= 0x80)
            ++p;
    }
    return characters;
}

void ExerciseScreen::countdownTick()
{
    if (closed_ || finished_)
        return;
    record(KeystrokeEvent::Kind::Tick, 0);
    if (!countdown_.tick()) {
        emit timeLeftChanged(countdown_.text());
        const int elapsed = countdown_.elapsedSeconds();
        if (mode_ == Mode::Exercise && engine_ && elapsed > 0 && elapsed % kProgressSeconds == 0)
            emit progress(typedCharacters(), countdown_.minutesLeft() * 60 + countdown_.secondsLeft());
        return;
    }
    countdownTimer_->stop();
    if (engine_ && engine_->typingStarted())
        finish();
    closeExercise();
}

void ExerciseScreen::replayEvent(const KeystrokeEvent& event)
{
    if (mode_ != Mode::Replay || !engine_ || !laidOut_ || ended())
        return;
    const std::optional<KeystrokeEvent> previous = replayed_;
    replayed_ = event;
    switch (event.kind) {
    case KeystrokeEvent::Kind::KeyDown:
        engine_->keyDown(event.value);
        break;
    case KeystrokeEvent::Kind::Character:
        engine_->character(event.value);
        // A key's character follows its key-down at the same moment; characters the input
        // method committed come alone, and the column field followed each of them.
        if (!ended()
            && !(previous && previous->kind == KeystrokeEvent::Kind::KeyDown
                 && previous->milliseconds == event.milliseconds))
            showCursorColumn(engine_->cursorColumn());
        break;
    case KeystrokeEvent::Kind::Tick:
        countdownTick();
        break;
    }
    if (!ended())
        placeCursor();
}

void ExerciseScreen::finish()
{
    // Esc and the last tick can meet: the result is computed and stored once.
    if (finished_ || !engine_)
        return;
    finished_ = true;
    keysOn_ = false;
    countdownTimer_->stop();

    const int elapsed = countdown_.elapsedSeconds();
    const ExerciseResult result = kind_ == ExerciseKind::English
        ? Scoring::finishEnglish(*text_, engine_->typedBytes(), elapsed, engine_->endedByEsc())
        : Scoring::finishChinese(*text_, engine_->typedBytes(), elapsed, engine_->endedByEsc());
    emit finished(log_, result);
}

void ExerciseScreen::reportBadExerciseFile()
{
    MessageBoxes::show(area_->window(), QStringLiteral("错误提示对话框"),
                       QStringLiteral("打开文件错或源文件不是程序所规定的文件！"));
    closeExercise();
}

void ExerciseScreen::closeEvent(QCloseEvent* event)
{
    // Only the end sequence closes the screen (not a window shortcut such as Ctrl+F4), so the
    // Exercise type, the scroll bar and the result always follow.
    if (!closed_) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void ExerciseScreen::closeExercise()
{
    if (closed_)
        return;
    if (mode_ == Mode::Replay) {
        // The end state stays on the screen, and the scroll bar with it.
        closed_ = true;
        countdownTimer_->stop();
        blinkTimer_->stop();
        cursorLine_->hide();
        return;
    }
    closed_ = true;
    keysOn_ = false;
    countdownTimer_->stop();
    blinkTimer_->stop();
    cursorLine_->hide();
    scrollBar_->hide();
    emit closed();
    if (frame_)
        frame_->close();
    else
        deleteLater();
}
