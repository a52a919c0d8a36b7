#include "shell/main_window.h"

#include "collect/collection_dialog.h"
#include "collect/export_dialog.h"
#include "collect/live_window.h"
#include "collect/input_block.h"
#include "collect/merge_dialog.h"
#include "exercise/exercise_opener.h"
#include "exercise/exercise_stage.h"
#include "exercise/exercise_screen.h"
#include "grades/history_view.h"
#include "login/login_dialog.h"
#include "maintenance/help_viewer.h"
#include "maintenance/maintenance_dialogs.h"
#include "platform/clock.h"
#include "platform/display_mode.h"
#include "store/store_client.h"
#include "store/store_history.h"
#include "results/mistakes_window.h"
#include "results/replay_window.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/startup_trace.h"
#include "platform/twips.h"
#include "exercise/status_panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <cmath>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kDesignWidth = 8880;
constexpr int kDesignHeight = 8310;
constexpr int kScrollBarDesignHeight = 8000;
constexpr int kBottomStripHeight = 440;
constexpr int kResizeAllowance = 1130;
// Where the login label stands once a student has logged in.
constexpr int kLoginLabelLeft = 10000;
constexpr int kLoginLabelTop = 100;

QAction* addItem(QMenu* menu, const char* name, const char* caption)
{
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromUtf8(name));
    return action;
}

void addSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QString::fromUtf8(name));
}

} // namespace

static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(const QString& appFolder, QWidget* parent) : QMainWindow(parent)
{
    session_.appFolder = appFolder;
    initResources();
    setObjectName(QStringLiteral("MDIF1"));
    setWindowTitle(QStringLiteral("录入练习测试"));
    buildMenus();
    buildPanels();
    resize(Twips::toPixels(kDesignWidth), Twips::toPixels(kDesignHeight) + menuBar()->sizeHint().height());
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();

    QMenu* login = bar->addMenu(QStringLiteral(" 登    录 "));
    login->setObjectName(QStringLiteral("dl"));
    connect(addItem(login, "lxdl", " 练习登录 "), &QAction::triggered, this,
            [this] { loginItem(LoginMode::Practice); });
    addSeparator(login, "lll1");
    connect(addItem(login, "csdl", " 测试登录 "), &QAction::triggered, this, [this] { loginItem(LoginMode::Test); });
    addSeparator(login, "lll2");
    connect(addItem(login, "djsf", " 单机收分 "), &QAction::triggered, this,
            [this] { openCollectionDialog(this, store()); });
    connect(addItem(login, "hbsf", " 合并收分 "), &QAction::triggered, this, [this] { openMergeDialog(this); });
    connect(addItem(login, "dccj", " 导出成绩 "), &QAction::triggered, this, [this] { openExportDialog(this); });
    connect(addItem(login, "jk", " 监    考 "), &QAction::triggered, this,
            [this] { openLiveView(this, session_.appFolder); });
    addSeparator(login, "ll3");
    connect(addItem(login, "xtdl", " 系统登录 "), &QAction::triggered, this, [this] { loginItem(LoginMode::System); });
    addSeparator(login, "lll4");
    connect(addItem(login, "quit", " 退    出 "), &QAction::triggered, this, &MainWindow::quit);

    QMenu* exercises = bar->addMenu(QStringLiteral(" 录入项目 "));
    exercises->setObjectName(QStringLiteral("lrxm"));
    connect(addItem(exercises, "ywlr", " 英文录入 "), &QAction::triggered, this,
            [this] { exerciseItem(ExerciseKind::English); });
    addSeparator(exercises, "lll5");
    connect(addItem(exercises, "zwlr", " 中文录入 "), &QAction::triggered, this,
            [this] { exerciseItem(ExerciseKind::Chinese); });
    addSeparator(exercises, "lll6");
    connect(addItem(exercises, "cycj", " 查阅成绩 "), &QAction::triggered, this,
            [this] { openHistoryView(this, std::make_unique<StoreHistory>(store()), resultTools()); });

    QMenu* maintenance = bar->addMenu(QStringLiteral(" 系统维护 "));
    maintenance->setObjectName(QStringLiteral("xtwh"));
    connect(addItem(maintenance, "xgecdlmm", "修改二次登录密码"), &QAction::triggered, this,
            [this] { openPasswordDialog(this, store(), session_.storeSession, PasswordColumn::SecondLogin); });
    connect(addItem(maintenance, "xgdlmm", "修改用户登录密码"), &QAction::triggered, this,
            [this] { openPasswordDialog(this, store(), session_.storeSession, PasswordColumn::User); });
    connect(addItem(maintenance, "qclsjl", "清除历史记录"), &QAction::triggered, this,
            [this] { openClearHistoryDialog(this, store(), session_.storeSession); });
    connect(addItem(maintenance, "xslrwj", "显示录入文件"), &QAction::triggered, this,
            [this] { openShowExerciseFile(this, session_.appFolder); });
    connect(addItem(maintenance, "ghlrwj", "更换录入文件"), &QAction::triggered, this,
            [this] { openReplaceExerciseFile(this, session_.appFolder, store(), session_.storeSession); });

    // " 帮    助 " has no items: clicking the menu title opens the help.
    QAction* help = bar->addAction(QStringLiteral(" 帮    助 "));
    help->setObjectName(QStringLiteral("userbz"));
    connect(help, &QAction::triggered, this, [this] { openHelpViewer(this, session_.appFolder); });
}

// The background picture is soft clouds over a gradient: kept at half the size it is drawn at
// (a quarter of the memory the window holds for as long as it lives), it looks the same, and as
// a PNG it needs no decoder beyond Qt's own.
QBrush MainWindow::backgroundBrush()
{
    QBrush brush(QPixmap(QStringLiteral(":/background.png"), "PNG"));
    brush.setTransform(QTransform::fromScale(2, 2));
    return brush;
}

void MainWindow::buildPanels()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* middle = new QHBoxLayout;
    const ExerciseStage stage = ExerciseStage::build(central, middle, kScrollBarDesignHeight);
    statusPanel_ = stage.panel;
    mdiArea_ = stage.area;
    mdiArea_->setBackground(backgroundBrush());
    scrollStrip_ = stage.strip;
    scrollBar_ = stage.scrollBar;
    connect(scrollBar_, &QScrollBar::valueChanged, this, &MainWindow::scrollBarChanged);
    outer->addLayout(middle, 1);

    auto* bottom = new QWidget(central);
    bottom->setObjectName(QStringLiteral("Picture2"));
    bottom->setFixedHeight(Twips::toPixels(kBottomStripHeight));
    loginLabel_ = new QLabel(bottom);
    loginLabel_->setObjectName(QStringLiteral("Label2"));
    loginLabel_->setFont(Fonts::song(10.5));
    loginLabel_->setGeometry(Twips::rect(0, 0, 2295, 495));
    outer->addWidget(bottom);

    setCentralWidget(central);
}

MainWindow::~MainWindow()
{
    // The program ends, and its login with it.
    if (store_ && !session_.storeSession.isEmpty())
        store_->endSession(session_.storeSession);
}

StoreClient& MainWindow::store()
{
    if (!store_) {
        ownStore_ = std::make_unique<StoreClient>(session_.appFolder);
        store_ = ownStore_.get();
        store_->start();
    }
    return *store_;
}

bool MainWindow::load(const QString& appFolder)
{
    return beginLoad(appFolder) && finishLoad();
}

bool MainWindow::beginLoad(const QString& appFolder, StoreClient* store)
{
    session_.appFolder = appFolder;
    if (store)
        store_ = store;
    this->store(); // the store starts while the window is shown
    DisplayMode::save();
    savedScreenSize_ = DisplayMode::savedSize();
    displaySwitched_ = DisplayMode::change(800, 600, 85);
    // Every window repaints in the new mode.
    for (QWidget* widget : QApplication::topLevelWidgets())
        widget->update();
    setmenus(session_.loginMode);
    StartupTrace::mark("display mode, menus, store started");
    return true;
}

QRect MainWindow::placement(bool displaySwitched, const QRect& available)
{
    const QSize designed(800, 600);
    if (displaySwitched)
        return QRect(available.topLeft(), designed);
    // A screen that keeps a larger mode (one the monitor does not offer at 800 x 600, Wayland, a
    // virtual display) shows the program at the size it is laid out for, not spread over it.
    QRect window(QPoint(), designed.boundedTo(available.size()));
    window.moveCenter(available.center());
    return window;
}

void MainWindow::showInDisplayMode()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    setGeometry(placement(displaySwitched_, screen ? screen->availableGeometry() : QRect(0, 0, 800, 600)));
    // Without a window manager a maximised window keeps the geometry set above.
    if (displaySwitched_)
        showMaximized();
    else
        show();
}

void MainWindow::purgeAfterFirstPaint()
{
    purgeAfterFirstPaint_ = true;
    // Menu commands wait for the store's answer; input before then is dropped.
    inputHeld_ = std::make_unique<InputBlock>();
    mdiArea_->viewport()->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mdiArea_->viewport() && event->type() == QEvent::Paint && purgeAfterFirstPaint_) {
        purgeAfterFirstPaint_ = false;
        mdiArea_->viewport()->removeEventFilter(this);
        // Right after this first paint has reached the screen.
        QTimer::singleShot(0, this, [this] { emit loadFinished(finishLoad()); });
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::finishLoad()
{
    const StoreReply purged = store().purge();
    inputHeld_.reset();
    // The first paint has read every glyph the window shows for now.
    Fonts::releaseMappedFaces();
    StartupTrace::mark("grade database opened and purged");
    if (!purged.ok()) {
        DisplayMode::restore();
        MessageBoxes::show(this, QStringLiteral("录入练习测试"),
                           QStringLiteral("成绩数据库无法使用，程序将退出。\n%1").arg(storeProblem(purged)));
        return false;
    }
    return true;
}

QMenu* MainWindow::topMenu(const char* name) const
{
    return menuBar()->findChild<QMenu*>(QString::fromUtf8(name));
}

QAction* MainWindow::menuItem(const char* name) const
{
    return findChild<QAction*>(QString::fromUtf8(name));
}

void MainWindow::setmenus(LoginMode mode)
{
    QAction* exercises = topMenu("lrxm")->menuAction();
    QAction* maintenance = topMenu("xtwh")->menuAction();
    switch (mode) {
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

void MainWindow::setExerciseWindow(QWidget* frame, QWidget* focusTarget)
{
    exerciseFrame_ = frame;
    exerciseFocus_ = focusTarget;
}

// Nothing is left to lay out with the Exercise screen gone: the area is repainted where the
// screen stood.
void MainWindow::endOfExercise()
{
    mdiArea_->update();
}

void MainWindow::applyResizeRule()
{
    const int heightTwips = Twips::fromPixels(frameGeometry().height());
    if (heightTwips > kResizeAllowance)
        scrollBar_->resize(scrollBar_->width(), Twips::toPixels(heightTwips - kResizeAllowance));
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    applyResizeRule();
}

void MainWindow::loginItem(LoginMode mode)
{
    // The mode holds even when the dialog is closed without logging in, and every opening of
    // the dialog ends the test batch.
    newLoginDialog(mode)->exec();
}

std::unique_ptr<LoginDialog> MainWindow::newLoginDialog(LoginMode mode)
{
    // The current login goes on until another succeeds: a dialog given up leaves it as it was.
    session_.loginMode = mode;
    auto dialog = std::make_unique<LoginDialog>(mode, store(), session_.storeSession, this);
    connect(dialog.get(), &LoginDialog::loggedIn, this, &MainWindow::showLogin);
    return dialog;
}

void MainWindow::showLogin(const LoginResult& login)
{
    if (!session_.storeSession.isEmpty() && session_.storeSession != login.session)
        store().endSession(session_.storeSession);
    session_.storeSession = login.session;
    session_.supervisor = !login.student;
    session_.taker.batchNumber = login.batch;
    if (login.student) {
        session_.taker = ExerciseTaker{login.number, login.name, login.batch};
        statusPanel_->setValue(StatusPanel::StudentNumber, login.number);
        statusPanel_->setValue(StatusPanel::Name, login.name);
    }
    setmenus(session_.loginMode);
    menuItem("ywlr")->setEnabled(true);
    menuItem("zwlr")->setEnabled(true);
    if (login.student) {
        loginLabel_->move(Twips::toPixels(kLoginLabelLeft), Twips::toPixels(kLoginLabelTop));
        loginLabel_->setText(login.caption);
    }
}

void MainWindow::exerciseItem(ExerciseKind kind)
{
    if (session_.exerciseOpen)
        return;
    // The store draws the file and keeps the exercise open under the login's session.
    const OpenReply opened = store().openExercise(session_.storeSession, kind);
    if (!opened.ok()) {
        const bool badFile = opened.status == StoreStatus::BadExerciseFile;
        if (opened.status == StoreStatus::AlreadyTaken)
            menuItem(kind == ExerciseKind::English ? "ywlr" : "zwlr")->setEnabled(false);
        MessageBoxes::show(this, QStringLiteral("错误提示对话框"),
                           badFile ? opened.message : QStringLiteral("无法打开练习。\n%1").arg(storeProblem(opened)));
        return;
    }
    session_.exerciseOpen = true;
    const qint64 exercise = opened.exercise;
    // The result belongs to whoever is logged in when the exercise starts.
    startExercise(mdiArea_, scrollBar_, kind, opened.text, session_.taker, [this, exercise](ExerciseScreen* screen) {
        statusPanel_->follow(screen);
        connect(screen, &ExerciseScreen::finished, this,
                [this, exercise](const KeystrokeLog& log, const ExerciseResult& local) {
                    submitResult(exercise, log, local);
                });
        connect(screen, &ExerciseScreen::progress, this, [this, exercise](int typed, int secondsLeft) {
            store().exerciseProgress(session_.storeSession, exercise, typed, secondsLeft);
        });
        connect(screen, &ExerciseScreen::takenInTest, this, [this](ExerciseKind taken) {
            if (QAction* item = menuItem(taken == ExerciseKind::English ? "ywlr" : "zwlr"))
                item->setEnabled(false);
        });
        connect(screen, &ExerciseScreen::placed, this, &MainWindow::setExerciseWindow);
        connect(screen, &ExerciseScreen::closed, this, [this] {
            session_.exerciseOpen = false;
            setExerciseWindow(nullptr, nullptr);
            endOfExercise();
        });
    });
}

// The store replays the log and stores what it computes; its figures are the ones shown.
void MainWindow::submitResult(qint64 exercise, const KeystrokeLog& log, const ExerciseResult& local)
{
    store().finishExercise(session_.storeSession, exercise, log, this, [this, local](const FinishReply& reply) {
        if (reply.ok()) {
            showFigures(reply.speed, reply.accuracy, reply.score);
            return;
        }
        if (reply.status == StoreStatus::NotStored) {
            MessageBoxes::show(this, QStringLiteral("错误提示对话框"),
                               QStringLiteral("本次成绩没有保存到成绩数据库！\n原因：%1。").arg(reply.message));
            return;
        }
        // The store could not take it: the student sees the figures and tells the teacher.
        showFigures(local.speed, local.accuracy, local.score);
        MessageBoxes::show(this, QStringLiteral("错误提示对话框"),
                           QStringLiteral("本次成绩没有保存到成绩数据库！\n成绩：%1  速度：%2/分  准确率：%3%\n%4\n"
                                          "请把成绩告诉老师。")
                               .arg(Scoring::figureText(local.score), Scoring::figureText(local.speed), Scoring::figureText(local.accuracy),
                                    storeProblem(reply)));
    });
}

void MainWindow::showFigures(double speed, double accuracy, double score)
{
    statusPanel_->setValue(StatusPanel::Speed, Scoring::figureText(speed));
    statusPanel_->setValue(StatusPanel::Accuracy, Scoring::figureText(accuracy));
    statusPanel_->setValue(StatusPanel::Score, Scoring::figureText(score));
}

// The history's buttons look at results through the store, under the current login; only a
// system login may replay.
ResultTools MainWindow::resultTools()
{
    ResultTools tools;
    tools.mistakes = [this](QWidget* parent, const GradeRow& result) {
        openMistakes(parent, store(), session_.storeSession, result.rowid);
    };
    tools.studentMistakes = [this](QWidget* parent, const QString& number) {
        openStudentMistakes(parent, store(), session_.storeSession, number);
    };
    if (session_.supervisor)
        tools.replay = [this](QWidget* parent, const GradeRow& result) {
            openReplay(parent, store(), session_.storeSession, result.rowid);
        };
    return tools;
}

void MainWindow::quit()
{
    DisplayMode::restore();
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    DisplayMode::restore();
    QMainWindow::closeEvent(event);
}

void MainWindow::scrollBarChanged(int value)
{
    if (!session_.exerciseOpen) {
        endOfExercise();
        return;
    }
    if (exerciseFrame_)
        exerciseFrame_->move(exerciseFrame_->x(), -Twips::toPixels(value));
    if (exerciseFocus_)
        exerciseFocus_->setFocus();
}
