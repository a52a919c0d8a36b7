#pragma once
// What every test needs: its own Application folder with a fresh grade database, and the
// program's start-up settings without a real screen.

#include "grades/grade_store.h"
#include "login/login_mode.h"
#include "store/store_client.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

// The grade store's connection, which only tests and benchmarks use directly.
struct GradeStoreInspector {
    static Database& database(GradeStore& store) { return store.db_; }
    static Database& database(GradeStore&& store) { return store.db_; }
};

class MainWindow;

namespace TestSupport {

// The credentials of the grade database every test folder gets.
inline const char* const kUser = "admin";
inline const char* const kUserPassword = "admin123";
inline const char* const kSecondPassword = "again";

// A temporary Application folder: data/stugrade.mdb (with the credentials above), empty
// yw/ and zw/ folders. The folder is removed when the object goes.
// An English result of student 2026000001 named `name`, stored on `date` at 09:30.
GradeRow resultOn(const QDate& date, const QString& name);

class AppFolder {
public:
    AppFolder();
    QString path() const { return dir_.path(); }
    QString file(const QString& relative) const;
    QString gradeDatabase() const;
    GradeStore store() const;
    // Writes an exercise file (header + text) at yw/ydzcsN.dat or zw/cdzcsN.dat etc.
    void writeFile(const QString& relative, const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
};

// A system login to the store of an Application folder, as the maintenance windows get it.
struct SystemSession {
    explicit SystemSession(const QString& appFolder);
    std::unique_ptr<StoreClient> store;
    QString session;
};

// Logs in through the window's login dialog with the boxes' texts (number, name, batch); false
// when the dialog did not accept them.
bool logIn(MainWindow& window, LoginMode mode, const QStringList& boxes);

// Fonts, twips, the recording message boxes and the real clock and input method; call in initTestCase
// and init.
void prepareApplication();
void resetState();

// A test's text in code page 936 with CR LF line ends, and as a whole exercise file.
QByteArray exerciseText(const QString& text);
QByteArray exerciseFile(const QString& text);

// The source tree's folder, for tests that read the project's own data files.
QString sourceDir();

} // namespace TestSupport
