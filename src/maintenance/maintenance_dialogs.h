#pragma once
// The " 系统维护 " menu's items: every maintenance window is modal and made afresh at each
// opening.

class QString;
class QWidget;
enum class PasswordColumn;

// Each is given the Application folder whose grade database and exercise files it works on.
void openPasswordDialog(QWidget* parent, const QString& appFolder, PasswordColumn column);
void openClearHistoryDialog(QWidget* parent, const QString& appFolder);
void openShowExerciseFile(QWidget* parent, const QString& appFolder);
void openReplaceExerciseFile(QWidget* parent, const QString& appFolder);
