#pragma once
// The merge dialog frmhbsf ("合并回收"): moves one batch from the diskette's collection file
// into the teacher's collection file, which it keeps open while it is open.

#include "collect/merge_collection.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;

class MergeDialog : public QDialog {
    Q_OBJECT
public:
    // Opens (or first creates) the teacher's file in the current working folder.
    explicit MergeDialog(QWidget* parent = nullptr);
    ~MergeDialog() override;

    void runMerge();

protected:
    // Closing while the diskette is read gives the reader up; nothing of it is stored.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void mergeFinished();

    MergeCollection merge_;
    QLineEdit* batchBox_ = nullptr;        // Text1
    QPushButton* confirmButton_ = nullptr; // Command1
    QLabel* statusLine_ = nullptr;         // Label3
    QPointer<QWidget> focusBeforeRun_;     // given back its focus when a run ends
};

// The menu item's work: the dialog, modal, made afresh at each opening.
void openMergeDialog(QWidget* parent);
