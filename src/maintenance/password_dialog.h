#pragma once
// The two password dialogs, frmxgecdlmm (second-login password, xsmm) and frmxgyhmm (system
// login password, usermm): one window parameterised by the column it changes.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
enum class PasswordColumn;

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(PasswordColumn column, const QString& appFolder, QWidget* parent = nullptr);

    static constexpr int kMaxPasswordBytes = 10;

private:
    void load();
    void change();
    // The status line reports what stops the dialog from working; the button stays off.
    void disableWith(const QString& problem);

    PasswordColumn column_;
    QString appFolder_;
    QLineEdit* oldPassword_ = nullptr;    // Text2
    QLineEdit* newPassword_ = nullptr;    // Text1
    QPushButton* changeButton_ = nullptr; // Command1
    QLabel* status_ = nullptr;            // Label3
};
