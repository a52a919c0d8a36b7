#include "support/test_support.h"

#include "collect/source_read.h"
#include "exercise/exercise_file_format.h"
#include "platform/codepage.h"
#include "grades/progress_opener.h"
#include "login/login_dialog.h"
#include "shell/main_window.h"
#include "platform/clock.h"
#include "platform/database.h"
#include "platform/fonts.h"
#include "platform/input_method.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "store/store_client.h"

#include <QDir>
#include <QLineEdit>
#include <QFile>
#include <QFileInfo>

namespace TestSupport {

AppFolder::AppFolder()
{
    QDir root(dir_.path());
    root.mkpath(QStringLiteral("data"));
    root.mkpath(QStringLiteral("yw"));
    root.mkpath(QStringLiteral("zw"));
    GradeStore::create(gradeDatabase(),
                       SystemRow{QString::fromLatin1(kUser), QString::fromLatin1(kUserPassword),
                                 QString::fromLatin1(kSecondPassword)});
}

QString AppFolder::file(const QString& relative) const
{
    return QDir(dir_.path()).filePath(relative);
}

QString AppFolder::gradeDatabase() const
{
    return file(QStringLiteral("data/stugrade.mdb"));
}

GradeStore AppFolder::store() const
{
    return GradeStore::open(path());
}

void AppFolder::writeFile(const QString& relative, const QByteArray& bytes) const
{
    const QString path = file(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

SystemSession::SystemSession(const QString& appFolder) : store(std::make_unique<StoreClient>(appFolder))
{
    const LoginReply reply = store->systemLogin(QString::fromLatin1(kUser), QString::fromLatin1(kUserPassword), {});
    if (!reply.ok())
        qFatal("system login refused: %s", qPrintable(storeProblem(reply)));
    session = reply.session;
}

bool logIn(MainWindow& window, LoginMode mode, const QStringList& boxes)
{
    const std::unique_ptr<LoginDialog> dialog = window.newLoginDialog(mode);
    for (int index = 0; index < boxes.size() && index < 4; ++index)
        dialog->box(index)->setText(boxes[index]);
    dialog->confirm();
    return dialog->result() == QDialog::Accepted;
}

void prepareApplication()
{
    Fonts::registerSubstitutions();
    Twips::setDpi(96);
    MessageBoxes::setRecording(true);
    // The offscreen platform has no input method; tests that care say what there is.
    InputMethod::setAvailableForTests(true);
    // A locked database is given up after a moment, not after the program's two seconds.
    Database::setDefaultBusyTimeout(100);
    // Test programs are not beside the program: the reader is taken from the build.
    SourceRead::setReaderProgram(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-reader"));
    // ... and so is the store service every window's work goes to.
    StoreClient::setServiceProgram(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-store"));
    ProgressOpener::setModulePath(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-charts.so"));
}

void resetState()
{
    MessageBoxes::setRecording(true);
    InputMethod::setAvailableForTests(true);
    Clock::setFixed(std::nullopt);
    Clock::setSteady(std::nullopt);
}

QByteArray exerciseText(const QString& text)
{
    QString crlf = text;
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const auto bytes = CodePage::encode(crlf);
    if (!bytes)
        qFatal("test text not in code page 936");
    return *bytes;
}

QByteArray exerciseFile(const QString& text)
{
    return ExerciseFileFormat::build(exerciseText(text));
}

QString sourceDir()
{
    const QString fromEnv = qEnvironmentVariable("TYPELAB_SOURCE_DIR");
    return fromEnv.isEmpty() ? QDir::currentPath() : fromEnv;
}

GradeRow resultOn(const QDate& date, const QString& name)
{
    GradeRow row;
    row.xh = QStringLiteral("2026000001");
    row.xm = name;
    row.lrxm = QStringLiteral("英文");
    row.lrdate = date;
    row.lrtime = QTime(9, 30);
    return row;
}

} // namespace TestSupport
