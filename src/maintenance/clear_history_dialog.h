#pragma once
// frmqclsjl: empties the results (stdgrade) and the test logins (recxh) of the grade
// database. Pressing its one button is the confirmation.

#include <QDialog>

class QLabel;
class QPushButton;

class ClearHistoryDialog : public QDialog {
    Q_OBJECT
public:
    explicit ClearHistoryDialog(const QString& appFolder, QWidget* parent = nullptr);

private:
    void clear();

    QString appFolder_;
    QLabel* status_ = nullptr;       // Label1
    QPushButton* confirm_ = nullptr; // Command1
};
