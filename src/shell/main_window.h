#pragma once
// The main window MDIF1: menus, Status panel, the scroll bar that moves the Exercise screen,
// and the bottom strip with the login label.

#include "shell/grade_database_check.h"

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <memory>

class InputBlock;
struct LoginResult;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QScrollBar;
class StatusPanel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start sequence. False when the grade database cannot be used: the user has been
    // told, the display is back as it was, and the program should end.
    bool load(const QString& appFolder);
    // The same in two halves, so that the window can be shown while the grade database is
    // still being opened on a thread of its own (see startOpenAndPurge): beginLoad does what
    // comes before the window is shown; after the first paint the window takes the check's
    // result, holding user input back until then, and emits loadFinished.
    bool beginLoad(const QString& appFolder, GradeDatabaseCheck check);

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

    // The window the scroll bar moves (the Exercise screen's frame) and the widget that
    // takes the focus after a scroll; set by the Exercise screen while it is open.
    void setExerciseWindow(QWidget* frame, QWidget* focusTarget);
    // Made by the Exercise screen's end sequence and by a scroll bar change with no exercise
    // open: lays the remaining child windows out again.
    void endOfExercise();
    // Sets the scroll bar's height from the window's height (the resize rule).
    void applyResizeRule();
    // A login the login dialog reports: the Status panel, the login label and the menus.
    void showLogin(const LoginResult& login);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void buildPanels();
    static QBrush backgroundBrush();
    void loginItem(int mode);
    void exerciseItem(int type);
    void quit();
    void scrollBarChanged(int value);
    bool finishLoad();

    StatusPanel* statusPanel_ = nullptr;
    QLabel* loginLabel_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    QWidget* scrollStrip_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    QPointer<QWidget> exerciseFrame_;
    QPointer<QWidget> exerciseFocus_;
    QSize savedScreenSize_;
    GradeDatabaseCheck pendingCheck_;
    std::unique_ptr<InputBlock> inputHeld_;
};
