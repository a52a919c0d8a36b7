#include "support/lab_machine.h"

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"
#include "platform/clock.h"
#include "platform/database.h"
#include "store/store_client.h"
#include "support/typing_logs.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

AdminRun runAdmin(const QStringList& arguments)
{
    QProcess admin;
    admin.setProcessChannelMode(QProcess::MergedChannels);
    admin.start(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-admin"), arguments);
    admin.waitForFinished(60'000);
    return {admin.exitStatus() == QProcess::NormalExit ? admin.exitCode() : -1, QString::fromUtf8(admin.readAll())};
}

void LabMachine::prepareTests()
{
    TestSupport::prepareApplication();
    qputenv("TYPELAB_FORWARD_LONGEST_PAUSE", "1500");
    qputenv("TYPELAB_FORWARD_CONNECT_DEADLINE", "2000");
    qputenv("TYPELAB_FORWARD_BATCH_DEADLINE", "5000");
}

void LabMachine::readyForTest(PgCluster& cluster)
{
    TestSupport::resetState();
    Clock::setSteady(1'000'000'000);
    if (!cluster.running())
        cluster.resume();
}

LabMachine::LabMachine(const PgCluster& cluster, const QString& name, quint16 throughPort) : name_(name)
{
    folder_.writeFile(QStringLiteral("yw/ydzcs3.dat"), ExerciseFileFormat::build(TypingLogs::kEnglishText));
    const AdminRun joined = runAdmin({QStringLiteral("join"), cluster.enroll(name), folder_.path()});
    if (joined.exitCode != 0)
        throw std::runtime_error("typelab-admin join failed: " + joined.output.toStdString());
    if (throughPort)
        pointAt(throughPort);
    store_ = std::make_unique<StoreClient>(folder_.path());
}

LabMachine::LabMachine(const QString& name) : name_(name)
{
    folder_.writeFile(QStringLiteral("yw/ydzcs3.dat"), ExerciseFileFormat::build(TypingLogs::kEnglishText));
    store_ = std::make_unique<StoreClient>(folder_.path());
}

LabMachine::~LabMachine() = default;

LoginReply LabMachine::testLogin(const QString& number, const QString& batch, const QString& password,
                                 bool withPassword)
{
    return store_->testLogin(number, QStringLiteral("学生"), batch, password, withPassword);
}

FinishReply LabMachine::finishExercise(const QString& number, const QString& batch, int slips)
{
    const LoginReply login = testLogin(number, batch);
    if (!login.ok())
        return storeAnswer<FinishReply>(login.status, login.message);
    const FinishReply finished = finishIn(login.session, slips);
    store_->endSession(login.session);
    return finished;
}

FinishReply LabMachine::finishIn(const QString& session, int slips)
{
    ExerciseLoader::setRandomSourceForTests([] { return 0.3f; }); // file 3
    const OpenReply opened = store_->openExercise(session, ExerciseKind::English);
    if (!opened.ok())
        return storeAnswer<FinishReply>(opened.status, opened.message);
    Clock::setSteady(Clock::steadyMilliseconds() + 601'500);
    FinishReply answer;
    QEventLoop wait;
    bool answered = false;
    store_->finishExercise(session, opened.exercise, TypingLogs::tenMinutes(slips), &wait,
                           [&](const FinishReply& reply) {
                               answer = reply;
                               answered = true;
                               wait.quit();
                           });
    if (!answered)
        wait.exec();
    return answer;
}

QList<ServerResult> LabMachine::outbox() const
{
    const QString file = folder_.file(QStringLiteral("data/typelab-store.db"));
    if (!QFile::exists(file))
        return {};
    Database store = Database::open(file, Database::Mode::ReadOnly);
    Statement select = store.prepare(QStringLiteral("SELECT body FROM outbox ORDER BY rowid"));
    QList<ServerResult> results;
    while (select.step())
        if (const std::optional<ServerResult> result = ServerResult::decode(select.blob(0)))
            results.append(*result);
    return results;
}

int LabMachine::waiting() const
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^waiting: (\\d+)$"),
                                                             QRegularExpression::MultilineOption)
                                              .match(status());
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QString LabMachine::status() const
{
    return runAdmin({QStringLiteral("status"), folder_.path()}).output;
}

qint64 LabMachine::forwarderPid() const
{
    const qint64 store = store_->childProcessId();
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(store));
    if (!store || !children.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& pid : children.readAll().split(' ')) {
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(QString::fromLatin1(pid.trimmed())));
        if (!pid.trimmed().isEmpty() && command.open(QIODevice::ReadOnly) && command.readAll().contains("typelab-forward"))
            return pid.trimmed().toLongLong();
    }
    return 0;
}

void LabMachine::pointAt(quint16 port) const
{
    const QString path = folder_.file(QStringLiteral("server/server"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("no installed bundle");
    QString line = QString::fromUtf8(file.readAll());
    file.close();
    line.replace(QRegularExpression(QStringLiteral("port=\\d+")), QStringLiteral("port=%1").arg(port));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(line.toUtf8()) < 0)
        throw std::runtime_error("cannot rewrite the bundle's server line");
}
