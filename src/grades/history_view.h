#pragma once
// The history view frmcx: every stored result, newest first, in a read-only table.

#include "grades/history_pages.h"

#include <QDialog>
#include <memory>

class HistoryModel;
class QLabel;
class QGroupBox;
class QTableView;

class HistoryView : public QDialog {
    Q_OBJECT
public:
    // The results are read from the source (the store, in the program).
    explicit HistoryView(std::unique_ptr<HistoryPages::Source> source, QWidget* parent = nullptr);
    ~HistoryView() override;

    // Counts the results and fills the table. Results that cannot be read are reported in a
    // message box; the table then stays empty. False in that case.
    bool load();

    HistoryModel* model() const { return model_; }
    QTableView* grid() const { return grid_; } // DataGrid1

private:
    void reportReadFailure(const QString& problem);

    std::unique_ptr<HistoryPages::Source> source_; // until load() hands it to the model
    HistoryModel* model_ = nullptr;
    QLabel* title_ = nullptr;    // Label1
    QGroupBox* frame_ = nullptr; // Frame1
    QTableView* grid_ = nullptr; // DataGrid1
};

// The menu item's work: the window, modal, made afresh at each opening.
void openHistoryView(QWidget* parent, std::unique_ptr<HistoryPages::Source> source);
