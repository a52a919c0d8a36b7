#include "shell/window_openers.h"

#include "maintenance/clear_history_dialog.h"
#include "maintenance/password_dialog.h"
#include "maintenance/replace_exercise_file_dialog.h"
#include "maintenance/show_exercise_file_dialog.h"
#include "shell/main_window.h"

// Every maintenance window is modal and made afresh at each opening.
void openPasswordDialog(MainWindow& mainWindow, PasswordColumn column)
{
    PasswordDialog dialog(column, &mainWindow);
    dialog.exec();
}

void openClearHistoryDialog(MainWindow& mainWindow)
{
    ClearHistoryDialog dialog(&mainWindow);
    dialog.exec();
}

void openShowExerciseFile(MainWindow& mainWindow)
{
    ShowExerciseFileDialog dialog(&mainWindow);
    dialog.exec();
}

void openReplaceExerciseFile(MainWindow& mainWindow)
{
    ReplaceExerciseFileDialog dialog(&mainWindow);
    dialog.exec();
}
