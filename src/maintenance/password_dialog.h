#pragma once
// The two password dialogs, frmxgecdlmm (second-login password, xsmm) and frmxgyhmm (system
// login password, usermm): one window parameterised by the column it changes.

#include <QDialog>

class StoreClient;

class QLabel;
class QLineEdit;
class QPushButton;
enum class PasswordColumn;

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    // The passwords are the store's; it shows and changes them for a system login's session.
    PasswordDialog(PasswordColumn column, StoreClient& store, const QString& session, QWidget* parent = nullptr);

    static constexpr int kMaxPasswordBytes = 10;

private:
    void load();
    void change();
    // The status line reports what stops the dialog from working; the button stays off.
    void disableWith(const QString& problem);

    PasswordColumn column_;
    StoreClient& store_;
    QString session_;
    QLineEdit* oldPassword_ = nullptr;    // Text2
    QLineEdit* newPassword_ = nullptr;    // Text1
    QPushButton* changeButton_ = nullptr; // Command1
    QLabel* status_ = nullptr;            // Label3
};
