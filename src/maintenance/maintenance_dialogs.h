#pragma once
// The " 系统维护 " menu's items: every maintenance window is modal and made afresh at each
// opening.

class QString;
class QWidget;
class StoreClient;
enum class PasswordColumn;

// The store and the system login's session do the work on the grade database and the texts;
// the file tools start in the Application folder.
void openPasswordDialog(QWidget* parent, StoreClient& store, const QString& session, PasswordColumn column);
void openClearHistoryDialog(QWidget* parent, StoreClient& store, const QString& session);
void openShowExerciseFile(QWidget* parent, const QString& appFolder);
void openReplaceExerciseFile(QWidget* parent, const QString& appFolder, StoreClient& store, const QString& session);
