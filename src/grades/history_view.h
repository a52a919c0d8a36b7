#pragma once
// The history view frmcx: the stored results, newest first, in a read-only table. Boxes above
// it narrow the rows (student number, name, batch, a date range, the exercise kind; see
// history_filter.h), and a button opens the progress chart of the student of the selected
// row, or of the number typed in its box. Buttons under the results look at the selected result
// closer: its mistakes, all of its student's mistakes, and (for the supervisor) its replay.

#include "store/store_history.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

class HistoryModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QGroupBox;
class QPushButton;
class QTableView;

// What the buttons under the results do; the main window gives them, knowing the store and the
// login. A button without its work stays disabled (the replay without a system login).
struct ResultTools {
    std::function<void(QWidget* parent, const GradeRow& result)> mistakes;       // 错误分析
    std::function<void(QWidget* parent, const QString& number)> studentMistakes; // 该生错误
    std::function<void(QWidget* parent, const GradeRow& result)> replay;         // 回放
};

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
    // The filter the rows shown were read with.
    const HistoryPages::Filter& filter() const { return filter_; }

    // Command1: reads the boxes and shows the rows they let through. Input that cannot be a
    // filter is told in a message box, and the rows stay as they were.
    void applyFilter();
    // Command2: the progress chart of the selected row's student, or else of the number typed.
    void showProgress();
    void setResultTools(ResultTools tools);
    // Command3, Command4, Command5: the selected result's mistakes, its student's (or the typed
    // number's) mistakes over all results, its replay.
    void showMistakes();
    void showStudentMistakes();
    void showReplay();

private:
    void buildFilterBoxes();
    void buildResultButtons();
    std::optional<GradeRow> selectedResult();
    // The selected row's student, or else the number typed in its box; empty after a message.
    QString chosenStudent();
    void reportReadFailure(const QString& problem);

    std::unique_ptr<HistoryPages::Source> source_; // the whole history; the model reads a filtered one
    HistoryPages::Filter filter_;
    HistoryModel* model_ = nullptr;
    QLabel* title_ = nullptr;         // Label1
    QGroupBox* filters_ = nullptr;    // Frame2
    QLineEdit* boxes_[5] = {};        // Text1_0 number, 1 name, 2 batch, 3 first date, 4 last date
    QComboBox* kind_ = nullptr;       // Combo1
    QPushButton* search_ = nullptr;   // Command1
    QPushButton* progress_ = nullptr; // Command2
    QGroupBox* frame_ = nullptr;      // Frame1
    QTableView* grid_ = nullptr;      // DataGrid1
    ResultTools tools_;
    QPushButton* mistakes_ = nullptr;        // Command3
    QPushButton* studentMistakes_ = nullptr; // Command4
    QPushButton* replay_ = nullptr;          // Command5
};

// The menu item's work: the window, modal, made afresh at each opening.
void openHistoryView(QWidget* parent, std::unique_ptr<HistoryPages::Source> source, ResultTools tools = {});
