#include "maintenance/maintenance_dialogs.h"

#include "maintenance/clear_history_dialog.h"
#include "maintenance/password_dialog.h"
#include "maintenance/replace_exercise_file_dialog.h"
#include "maintenance/show_exercise_file_dialog.h"

void openPasswordDialog(QWidget* parent, PasswordColumn column)
{
    PasswordDialog dialog(column, parent);
    dialog.exec();
}

void openClearHistoryDialog(QWidget* parent)
{
    ClearHistoryDialog dialog(parent);
    dialog.exec();
}

void openShowExerciseFile(QWidget* parent)
{
    ShowExerciseFileDialog dialog(parent);
    dialog.exec();
}

void openReplaceExerciseFile(QWidget* parent)
{
    ReplaceExerciseFileDialog dialog(parent);
    dialog.exec();
}
