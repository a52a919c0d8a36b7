#pragma once
// frmqclsjl: empties the results (stdgrade) and the test logins (recxh) of the grade
// database. Pressing its one button is the confirmation.

#include <QDialog>

class QLabel;
class StoreClient;
class QPushButton;

class ClearHistoryDialog : public QDialog {
    Q_OBJECT
public:
    // The store clears the history for a system login's session.
    ClearHistoryDialog(StoreClient& store, const QString& session, QWidget* parent = nullptr);

private:
    void clear();

    StoreClient& store_;
    QString session_;
    QLabel* status_ = nullptr;       // Label1
    QPushButton* confirm_ = nullptr; // Command1
};
