#pragma once
// The teacher's live view of one batch on the school server ("监考"): first a login window
// (server, user, password, batch) that connects and reads the batch once, then a window listing
// every student of the batch as the sitting goes: who is typing and how far, who has finished
// with what figures and the server's check, who is marked, and which machines have gone silent.

#include "collect/batch_watch.h"
#include "collect/live_attempts_model.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class LiveWindow : public QWidget {
    Q_OBJECT
public:
    // Takes over a watch whose first read has come (its rows are given too).
    LiveWindow(BatchWatch* watch, const QList<LiveAttempt>& firstRows, QWidget* parent = nullptr);

    LiveAttemptsModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    BatchWatch* watch() const { return watch_; }
    // How often silence is looked at again, on the teacher's machine alone.
    static constexpr int kReevaluateMilliseconds = 1000;

private:
    void showCounts();
    BatchWatch* watch_;
    LiveAttemptsModel* model_;
    QTableView* table_;
    QLabel* counts_; // Label1
    QLabel* link_;   // Label2
    QTimer reevaluate_;
};

class LiveLoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit LiveLoginDialog(const QString& appFolder, QWidget* parent = nullptr);
    // The button's work: checks the boxes, connects and reads the batch; on success the live
    // window opens and this window closes.
    void login();
    // The window opened by the last successful login.
    LiveWindow* liveWindow() const { return window_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void failed(const QString& message);
    void setControlsEnabled(bool enabled);

    QString appFolder_;
    QLineEdit* addressBox_;  // Text1
    QLineEdit* userBox_;     // Text3
    QLineEdit* passwordBox_; // Text4
    QLineEdit* batchBox_;    // Text2
    QPushButton* confirm_;   // Command1
    QLabel* status_;         // Label2
    QPointer<BatchWatch> pending_;
    QPointer<LiveWindow> window_;
};

// The menu item's work: the login window, modal, made afresh; the live window it opens stays
// open beside the main window.
void openLiveView(QWidget* parent, const QString& appFolder);
