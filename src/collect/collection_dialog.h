#pragma once
// The collection dialog frmdjsf ("收分"): single-machine collection onto the diskette or
// network collection from the laboratory machines, for one batch.

#include "collect/score_collection.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

class CollectionDialog : public QDialog, private CollectionView {
    Q_OBJECT
public:
    explicit CollectionDialog(QWidget* parent = nullptr);

    // The button's work; Enter in the batch box does the same.
    void runCollection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void modeChosen(int index);
    void setProgressLine(const QString& text) override;
    void setResultLine(const QString& text) override;
    void machineDone(int machine, int machinesFound) override;

    QRadioButton* option1_[2] = {};
    QLabel* label1_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    QPushButton* command1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label4_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
};
