#pragma once
// The export dialog ("导出成绩"): one batch (or all) of a collection file, or of a grade
// database, written for the teacher's spreadsheet as XLSX or CSV.

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExportDialog(QWidget* parent = nullptr);

    // The export button's work.
    void runExport();

private:
    void buildControls();
    void chooseSource();
    void chooseOutput();

    QComboBox* sourceBox_ = nullptr;      // ComboBox1
    QLineEdit* batchBox_ = nullptr;       // Text1
    QLineEdit* outputBox_ = nullptr;      // Text2
    QPushButton* exportButton_ = nullptr; // Command1
    QLabel* statusLine_ = nullptr;        // Label4
};

// The menu item's work: the dialog, modal, made afresh at each opening.
void openExportDialog(QWidget* parent);
