#pragma once
// frmxslrwj: shows the text of one exercise file of yw (English) or zw (Chinese) in a
// read-only box, every line of the file followed by an empty line.

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

class ShowExerciseFileDialog : public QDialog {
    Q_OBJECT
public:
    // The file chooser starts in the Application folder's yw or zw.
    explicit ShowExerciseFileDialog(const QString& appFolder, QWidget* parent = nullptr);
    ~ShowExerciseFileDialog() override;

    void done(int result) override;

private:
    void typeClicked(int index);
    void chooseFile();
    void showFile();
    // Puts the working folder back and lets the display box go: the chooser may have moved
    // the folder, and other windows name files relative to it.
    void release();

    QString rememberedFolder_;
    int lastTypeIndex_ = 0;
    QRadioButton* english_ = nullptr;   // Option1_0
    QRadioButton* chinese_ = nullptr;   // Option1_1
    QLineEdit* fileName_ = nullptr;     // Text2
    QPlainTextEdit* display_ = nullptr; // Text1
};
