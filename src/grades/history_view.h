#pragma once
// The history view frmcx: every stored result, newest first, in a read-only table.

#include <QDialog>

class HistoryModel;
class QLabel;
class QGroupBox;
class QTableView;

class HistoryView : public QDialog {
    Q_OBJECT
public:
    explicit HistoryView(const QString& appFolder, QWidget* parent = nullptr);
    ~HistoryView() override;

    // Opens the view's own connection and fills the table. A database that cannot be read is
    // reported in a message box; the table then stays empty. False in that case.
    bool load();

    HistoryModel* model() const { return model_; }
    QTableView* grid() const { return grid_; } // DataGrid1

private:
    void reportReadFailure(const QString& problem);

    QString appFolder_;
    HistoryModel* model_ = nullptr;
    QLabel* title_ = nullptr;    // Label1
    QGroupBox* frame_ = nullptr; // Frame1
    QTableView* grid_ = nullptr; // DataGrid1
};

// The menu item's work: the window, modal, made afresh at each opening.
void openHistoryView(QWidget* parent, const QString& appFolder);
