#pragma once
// The " 系统维护 " menu's items: every maintenance window is modal and made afresh at each
// opening.

class QWidget;
enum class PasswordColumn;

void openPasswordDialog(QWidget* parent, PasswordColumn column);
void openClearHistoryDialog(QWidget* parent);
void openShowExerciseFile(QWidget* parent);
void openReplaceExerciseFile(QWidget* parent);
