#pragma once
// The login dialog frmdl ("登录窗口") behind " 练习登录 ", " 测试登录 " and " 系统登录 ": it takes
// its fields from the Login mode it is opened for, checks them, has the store open a session
// (the store claims the test batch and checks the passwords), and on success tells the window
// (loggedIn), which keeps the login and shows it in its panel, label and menus.

#include "login/login_mode.h"

#include <QDialog>

class StoreClient;
struct StoreReply;
class QLabel;
class QLineEdit;
class QPushButton;
struct LoginFault;

// A login that succeeded.
struct LoginResult {
    bool student = false; // a practice or test login; false for the system login
    QString number;       // the student's number and name, for the Status panel
    QString name;
    QString caption; // the login label's text
    QString batch;   // the trimmed batch of a test login; empty otherwise
    QString session; // the store's session of this login
};

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog and lays its rows out for the Login mode; the login opens a session of
    // the store (a system login keeps the student of the current session). Show it with exec()
    // (the program) or open() (tests).
    LoginDialog(LoginMode mode, StoreClient& store, const QString& currentSession, QWidget* parent);

    QLineEdit* box(int index) const { return boxes_[index]; }   // Text1_0 .. Text1_3
    QLabel* caption(int index) const { return labels_[index]; } // Label1_0 .. Label1_4
    QPushButton* confirmButton() const { return button_; }      // Command1

    // The button "确定": checks the fields and logs in.
    void confirm();

signals:
    // Just before the dialog closes on a successful login.
    void loggedIn(const LoginResult& result);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void load();
    void placeRow(int row, int top);
    void enterPressed(int boxIndex);
    void confirmPractice();
    void confirmTest();
    void confirmSystem();
    void showSecondLoginRow();
    void refuse(const LoginFault& fault);
    void refuseWrongPassword(int boxIndex);
    // A login the store did not open; false when it did.
    bool refusedByStore(const StoreReply& reply, int passwordBox);
    void message(const QString& text);
    void logIn(LoginResult result);
    const LoginMode mode_;
    StoreClient& store_;
    const QString currentSession_;
    QLabel* labels_[5] = {};
    QLineEdit* boxes_[4] = {};
    QPushButton* button_ = nullptr;
};
