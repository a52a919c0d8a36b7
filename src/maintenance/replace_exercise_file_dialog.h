#pragma once
// frmghlrwj: replaces the text of an exercise file by the content of a plain text file, in
// two steps: the type (which folder the target chooser starts in), then the two files.

#include "maintenance/exercise_file_replacement.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;
class StoreClient;

class ReplaceExerciseFileDialog : public QDialog {
    Q_OBJECT
public:
    // The target chooser starts in the Application folder's yw or zw. The exercise texts and the
    // help text are the store's: it writes them for the system login's session.
    ReplaceExerciseFileDialog(const QString& appFolder, StoreClient& store, const QString& session,
                              QWidget* parent = nullptr);
    ~ReplaceExerciseFileDialog() override;

    void done(int result) override;

private:
    void setFileStep(bool on);
    void chooseSource();
    void chooseTarget();
    void replace();
    ExerciseFileReplacement::Outcome write(const QString& target, const QByteArray& text);

    QString rememberedFolder_;
    StoreClient& store_;
    QString session_;
    QString lastSourceName_;              // the source chooser's current file name
    QRadioButton* english_ = nullptr;     // Option1_0
    QRadioButton* chinese_ = nullptr;     // Option1_1
    QPushButton* confirmType_ = nullptr;  // command5
    QLineEdit* source_ = nullptr;         // Text1
    QPushButton* chooseSource_ = nullptr; // Command1
    QLineEdit* target_ = nullptr;         // Text2
    QPushButton* chooseTarget_ = nullptr; // Command2
    QPushButton* replace_ = nullptr;      // Command3
};
