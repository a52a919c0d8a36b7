#include "maintenance/maintenance_dialogs.h"

#include "maintenance/clear_history_dialog.h"
#include "maintenance/password_dialog.h"
#include "maintenance/replace_exercise_file_dialog.h"
#include "maintenance/show_exercise_file_dialog.h"

void openPasswordDialog(QWidget* parent, StoreClient& store, const QString& session, PasswordColumn column)
{
    PasswordDialog dialog(column, store, session, parent);
    dialog.exec();
}

void openClearHistoryDialog(QWidget* parent, StoreClient& store, const QString& session)
{
    ClearHistoryDialog dialog(store, session, parent);
    dialog.exec();
}

void openShowExerciseFile(QWidget* parent, const QString& appFolder)
{
    ShowExerciseFileDialog dialog(appFolder, parent);
    dialog.exec();
}

void openReplaceExerciseFile(QWidget* parent, const QString& appFolder, StoreClient& store, const QString& session)
{
    ReplaceExerciseFileDialog dialog(appFolder, store, session, parent);
    dialog.exec();
}
