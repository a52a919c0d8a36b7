#pragma once
// What the main window's menu items open. Each subsystem provides its own.

class MainWindow;
enum class PasswordColumn;

void openLoginDialog(MainWindow& mainWindow);          // login/  (Login mode already set)
void startExercise(MainWindow& mainWindow, int type);  // exercise/ (1 English, 2 Chinese)
void openHistoryView(MainWindow& mainWindow);          // grades/
void openCollectionDialog(MainWindow& mainWindow);     // collect/
void openMergeDialog(MainWindow& mainWindow);          // collect/
void openExportDialog(MainWindow& mainWindow);         // collect/
void openPasswordDialog(MainWindow& mainWindow, PasswordColumn column);   // maintenance/
void openClearHistoryDialog(MainWindow& mainWindow);   // maintenance/
void openShowExerciseFile(MainWindow& mainWindow);     // maintenance/
void openReplaceExerciseFile(MainWindow& mainWindow);  // maintenance/
void openHelpViewer(MainWindow& mainWindow);           // maintenance/
