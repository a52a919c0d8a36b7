#pragma once
// The main window MDIF1: menus, Status panel, the scroll bar that moves the Exercise screen,
// and the bottom strip with the login label.

#include "exercise/exercise_text.h"
#include "exercise/keystroke_log.h"
#include "exercise/scoring.h"
#include "shell/session.h"

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <memory>

class InputBlock;
class LoginDialog;
struct LoginResult;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QScrollBar;
class StatusPanel;
class StoreClient;
struct ResultTools;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The Application folder is the one load() is given; tests that do not load give it here.
    explicit MainWindow(const QString& appFolder = QString(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start sequence. False when the grade database cannot be used: the user has been
    // told, the display is back as it was, and the program should end.
    bool load(const QString& appFolder);
    // The same in two halves, so that the window can be shown while the store starts: beginLoad
    // does what comes before the window is shown; after the first paint the window asks the
    // store for the start-up purge, holding user input back until it answers, and emits
    // loadFinished. The store is the program's (started already), or the window's own.
    bool beginLoad(const QString& appFolder, StoreClient* store = nullptr);
    // The purge waits for the first paint (the program's start); load() does it at once.
    void purgeAfterFirstPaint();
    // Shows the window the way the display mode allows: filling a screen switched to 800 x 600,
    // or at that size in the middle of a screen that could not be switched.
    void showInDisplayMode();
    // Where the window goes: the whole switched screen, or 800 x 600 centred in what is available.
    static QRect placement(bool displaySwitched, const QRect& available);

signals:
    void loadFinished(bool usable);

public:
    StatusPanel* statusPanel() const { return statusPanel_; }
    QLabel* loginLabel() const { return loginLabel_; }   // Label2
    QScrollBar* scrollBar() const { return scrollBar_; } // VSc1
    QMdiArea* mdiArea() const { return mdiArea_; }
    QMenu* topMenu(const char* name) const;    // dl, lrxm, xtwh
    QAction* menuItem(const char* name) const; // lxdl, ywlr, userbz, ...

    QSize savedScreenSize() const { return savedScreenSize_; }
    const Session& session() const { return session_; }
    // The store every unit of work on the grade database goes to.
    StoreClient& store();

    // Enables " 录入项目 " and " 系统维护 " from a Login mode (the session's, as the program
    // uses it); any other value leaves them as they are.
    void setmenus(LoginMode mode);

    // The window the scroll bar moves (the Exercise screen's frame) and the widget that
    // takes the focus after a scroll; set by the Exercise screen while it is open.
    void setExerciseWindow(QWidget* frame, QWidget* focusTarget);
    // Made by the Exercise screen's end sequence and by a scroll bar change with no exercise
    // open: lays the remaining child windows out again.
    void endOfExercise();
    // Sets the scroll bar's height from the window's height (the resize rule).
    void applyResizeRule();
    // What a login menu item does before its dialog shows: the Login mode is set, the test
    // batch ends, and the dialog is made for the mode, its login wired to showLogin.
    std::unique_ptr<LoginDialog> newLoginDialog(LoginMode mode);
    // A login the login dialog reports: the session's taker, the Status panel, the login label
    // and the menus.
    void showLogin(const LoginResult& login);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void buildPanels();
    static QBrush backgroundBrush();
    void loginItem(LoginMode mode);
    void exerciseItem(ExerciseKind kind);
    void quit();
    void scrollBarChanged(int value);
    bool finishLoad();
    void submitResult(qint64 exercise, const KeystrokeLog& log, const ExerciseResult& local);
    void showFigures(double speed, double accuracy, double score);
    ResultTools resultTools();

    Session session_;
    StatusPanel* statusPanel_ = nullptr;
    QLabel* loginLabel_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    QWidget* scrollStrip_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    QPointer<QWidget> exerciseFrame_;
    QPointer<QWidget> exerciseFocus_;
    QSize savedScreenSize_;
    bool displaySwitched_ = false;
    std::unique_ptr<StoreClient> ownStore_;
    StoreClient* store_ = nullptr;
    bool purgeAfterFirstPaint_ = false;
    std::unique_ptr<InputBlock> inputHeld_;
};
