#include "results/replay_window.h"

#include "exercise/exercise_screen.h"
#include "exercise/exercise_stage.h"
#include "platform/clock.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "exercise/status_panel.h"
#include "store/store_client.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace {

const char kCaption[] = "成绩回放";
// As wide and as high as the main window's client area, so the screen is laid out as it was.
constexpr int kDesignWidth = 8880;
constexpr int kDesignHeight = 8310;
constexpr int kBottomStripHeight = 600;
constexpr int kFastSpeed = 4;

} // namespace

ReplayWindow::ReplayWindow(const ResultLogEntry& entry, QWidget* parent) : QDialog(parent), entry_(entry)
{
    setObjectName(QStringLiteral("frmhf"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(Fonts::song(9));
    setFixedSize(Twips::toPixels(kDesignWidth), Twips::toPixels(kDesignHeight + kBottomStripHeight));
    wakeUp_.setSingleShot(true);
    connect(&wakeUp_, &QTimer::timeout, this, &ReplayWindow::wake);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* middle = new QHBoxLayout;
    const ExerciseStage stage = ExerciseStage::build(this, middle, kDesignHeight - 300);
    panel_ = stage.panel;
    area_ = stage.area;
    scrollBar_ = stage.scrollBar;
    // The bar moves the screen's frame, as the main window's bar does.
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (frame_)
            frame_->move(frame_->x(), -Twips::toPixels(value));
    });
    outer->addLayout(middle, 1);

    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("Picture2"));
    bottom->setFixedHeight(Twips::toPixels(kBottomStripHeight));
    auto* controls = new QHBoxLayout(bottom);
    controls->setContentsMargins(Twips::toPixels(120), 0, Twips::toPixels(120), 0);
    const GradeRow& row = entry_.row;
    // Dates and times read as the history view shows them, in Chinese whatever the system locale.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    subject_ = new QLabel(QStringLiteral("%1  %2  %3  %4 %5")
                              .arg(row.xh, row.xm, row.lrxm, chinese.toString(row.lrdate, QLocale::ShortFormat),
                                   chinese.toString(row.lrtime, QLocale::ShortFormat)),
                          bottom);
    subject_->setObjectName(QStringLiteral("Label2"));
    subject_->setFont(Fonts::song(9));
    controls->addWidget(subject_, 1);
    const char* captions[3] = {"1倍速", "4倍速", "直接到结尾"};
    for (int i = 0; i < 3; ++i) {
        buttons_[i] = new QPushButton(QString::fromUtf8(captions[i]), bottom);
        buttons_[i]->setObjectName(QStringLiteral("Command1_%1").arg(i));
        buttons_[i]->setFocusPolicy(Qt::NoFocus);
        controls->addWidget(buttons_[i]);
    }
    connect(buttons_[0], &QPushButton::clicked, this, [this] { setSpeed(1); });
    connect(buttons_[1], &QPushButton::clicked, this, [this] { setSpeed(kFastSpeed); });
    connect(buttons_[2], &QPushButton::clicked, this, &ReplayWindow::toEnd);
    outer->addWidget(bottom);

    panel_->setValue(StatusPanel::StudentNumber, row.xh);
    panel_->setValue(StatusPanel::Name, row.xm);
}

ReplayWindow::~ReplayWindow() = default;

bool ReplayWindow::start()
{
    const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(entry_.log);
    const bool knownKind = ExerciseKinds::fromNumber(int(entry_.kind)).has_value();
    if (!log || !knownKind) {
        MessageBoxes::show(this, QString::fromUtf8(kCaption), QStringLiteral("这条成绩的录入记录无法读取。"));
        return false;
    }
    log_ = *log;

    auto* screen = new ExerciseScreen(area_, scrollBar_, entry_.kind,
                                      ExerciseTaker{row().xh, row().xm, {}}, ExerciseScreen::Mode::Replay);
    screen_ = screen;
    StatusPanel* panel = panel_;
    panel->follow(screen);
    // The figures the exercise ended with, counted again from the replayed typed bytes.
    connect(screen, &ExerciseScreen::finished, panel, [panel](const KeystrokeLog&, const ExerciseResult& result) {
        panel->setValue(StatusPanel::Speed, Scoring::figureText(result.speed));
        panel->setValue(StatusPanel::Accuracy, Scoring::figureText(result.accuracy));
        panel->setValue(StatusPanel::Score, Scoring::figureText(result.score));
    });
    connect(screen, &ExerciseScreen::placed, this, [this](QWidget* frame, QWidget*) { frame_ = frame; });
    if (!screen->load(entry_.text))
        return false;
    scrollBar_->show();
    screen->showInMainWindow();

    pace_.emplace(Clock::steadyMilliseconds());
    wake();
    return true;
}

const GradeRow& ReplayWindow::row() const
{
    return entry_.row;
}

void ReplayWindow::setSpeed(int factor)
{
    if (!pace_ || atEnd())
        return;
    pace_->setSpeed(factor, Clock::steadyMilliseconds());
    wake();
}

void ReplayWindow::toEnd()
{
    if (!pace_)
        return;
    wakeUp_.stop();
    while (next_ < log_.size() && screen_ && !screen_->ended())
        screen_->replayEvent(log_.at(next_++));
    showEnd();
}

void ReplayWindow::wake()
{
    if (!pace_ || !screen_)
        return;
    const qint64 now = Clock::steadyMilliseconds();
    playUntil(pace_->position(now));
    if (atEnd()) {
        showEnd();
        return;
    }
    wakeUp_.start(int(std::min<qint64>(pace_->wait(log_.at(next_).milliseconds, now), 60'000)));
}

void ReplayWindow::playUntil(qint64 logTime)
{
    while (next_ < log_.size() && log_.at(next_).milliseconds <= logTime && screen_ && !screen_->ended())
        screen_->replayEvent(log_.at(next_++));
}

bool ReplayWindow::atEnd() const
{
    return next_ >= log_.size() || !screen_ || screen_->ended();
}

void ReplayWindow::showEnd()
{
    wakeUp_.stop();
    for (QPushButton* button : buttons_)
        button->setEnabled(false);
}

std::unique_ptr<ReplayWindow> makeReplay(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid)
{
    const ResultLogReply reply = store.resultLog(session, rowid, true);
    if (!reply.ok()) {
        MessageBoxes::show(parent, QString::fromUtf8(kCaption),
                           QStringLiteral("无法回放这条成绩。\n%1").arg(storeProblem(reply)));
        return nullptr;
    }
    auto window = std::make_unique<ReplayWindow>(reply.entry, parent);
    if (!window->start())
        return nullptr;
    return window;
}

void openReplay(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid)
{
    if (const auto window = makeReplay(parent, store, session, rowid))
        window->exec();
}
