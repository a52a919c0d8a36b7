#include "shell/window_openers.h"

// The maintenance windows and the help viewer come with their own change.
void openPasswordDialog(MainWindow&, PasswordColumn) {}
void openClearHistoryDialog(MainWindow&) {}
void openShowExerciseFile(MainWindow&) {}
void openReplaceExerciseFile(MainWindow&) {}
void openHelpViewer(MainWindow&) {}
