// The teacher's live window following a batch of 500 students on a real cluster, taken on the
// 50 enrolled machines of a lab, everything through the machines' own functions: claims at the
// test login, progress notes, results. Results come one at a time (the row scrolled into view
// first), each timed from its COMMIT on the machine to the paint of the window's table that
// shows the row finished with its figures; then a storm: every student's progress note
// committed back to back from another thread, timed from each COMMIT to the row's new value in
// the window's table (painted with the next frame). Prints the median and the 99th percentile.
//   bench_live_window [RESULTS]

#include "collect/live_window.h"
#include "platform/fonts.h"
#include "school_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

constexpr int kStudents = 500;
constexpr int kMachines = 50;
const QString kBatch = QStringLiteral("S500");

QElapsedTimer steady; // one clock for both threads

QString number(int student)
{
    return QStringLiteral("2026%1").arg(student, 6, 10, QChar(u'0'));
}

QString machineOf(int student)
{
    return QStringLiteral("PC%1").arg(student % kMachines + 1, 2, 10, QChar(u'0'));
}

SchoolServer::Student studentOf(int student)
{
    return SchoolServer::Student{kBatch, number(student), QStringLiteral("张三")};
}

// Times the paints of a widget after which a condition holds.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    std::function<bool()> waitingFor;
    qint64 paintedAt = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != widget_ || event->type() != QEvent::Paint || !waitingFor || !waitingFor())
            return false;
        // Paint first, then read the clock: the time includes the drawing.
        widget_->removeEventFilter(this);
        QCoreApplication::sendEvent(widget_, event);
        widget_->installEventFilter(this);
        paintedAt = steady.nsecsElapsed();
        waitingFor = nullptr;
        return true;
    }

private:
    QWidget* widget_;
};

int rowOf(LiveAttemptsModel* model, const QString& xh)
{
    const QList<LiveAttempt>& rows = model->attempts();
    for (int row = 0; row < rows.size(); ++row)
        if (rows.at(row).xh == xh)
            return row;
    return -1;
}

// Runs the event loop, as the program does, until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, int milliseconds)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    if (!condition())
        loop.exec();
    return condition();
}

void report(const char* what, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double share) { return ms.at(qMin(ms.size() - 1, qsizetype(share * ms.size()))); };
    printf("%s: %lld changes, median %.1f ms, 99th percentile %.1f ms, slowest %.1f ms (target: at most 1000 ms)\n",
           what, qint64(ms.size()), at(0.5), at(0.99), ms.last());
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Fonts::registerSubstitutions();
    const int changes = argc > 1 ? qMax(10, atoi(argv[1])) : 200;
    steady.start();
    try {
        SchoolServer server;
        server.start();
        QTemporaryDir appFolder;
        server.installCa(appFolder.path());
        const ServerLogin login{server.address(), QString::fromLatin1(SchoolServer::kTeacher),
                                QString::fromLatin1(SchoolServer::kPassword)};
        // Every student logged in and typing.
        for (int student = 0; student < kStudents; ++student) {
            if (server.claim(machineOf(student), studentOf(student)) != QLatin1String("granted"))
                throw std::runtime_error("a claim was not granted");
            server.progress(machineOf(student), studentOf(student), 30, 590);
        }

        // What one read of the batch costs on the server, the part of every change's delay the
        // window cannot shorten.
        QList<double> reads;
        for (int read = 0; read < 9; ++read) {
            const qint64 asked = steady.nsecsElapsed();
            if (server.owner().exec(LiveAttempt::batchStatement, {kBatch}).rows() != kStudents)
                throw std::runtime_error("the batch does not read as 500 rows");
            reads << (steady.nsecsElapsed() - asked) / 1e6;
        }
        std::sort(reads.begin(), reads.end());
        printf("one read of the batch's %d rows on the server: median %.1f ms (9 reads)\n", kStudents, reads.at(4));

        // The teacher's window, as the login leaves it.
        auto* watch = new BatchWatch(login, appFolder.path(), kBatch);
        QList<LiveAttempt> first;
        QObject::connect(watch, &BatchWatch::rowsRead, watch,
                         [&first](const QList<LiveAttempt>& rows) { first = rows; });
        QObject::connect(watch, &BatchWatch::loginFailed, [](const QString& why) {
            fprintf(stderr, "%s\n", qPrintable(why));
            ::exit(1);
        });
        watch->start();
        if (!waitUntil([&first] { return first.size() == kStudents; }, 20000))
            throw std::runtime_error("the first read did not come");
        QObject::disconnect(watch, &BatchWatch::rowsRead, watch, nullptr);
        LiveWindow window(watch, first);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            throw std::runtime_error("the window was not shown");
        LiveAttemptsModel* model = window.model();
        PaintWatch paints(window.table()->viewport());

        // One result at a time, its row in view.
        QList<double> single;
        QRandomGenerator random(7);
        for (int change = 0; change < changes; ++change) {
            const int student = int(random.bounded(kStudents));
            const QString xh = number(student);
            window.table()->scrollTo(model->index(rowOf(model, xh), 0));
            QCoreApplication::processEvents();
            SchoolServer::Result result;
            result.batch = kBatch;
            result.xh = xh;
            result.lrsd = 100 + change; // tells this result's row from the one before
            paints.waitingFor = [model, xh, speed = result.lrsd] {
                const int row = rowOf(model, xh);
                return row >= 0 && model->attempts().at(row).finished && model->attempts().at(row).lrsd == speed;
            };
            paints.paintedAt = -1;
            Pg::Connection& machine = server.machine(machineOf(student));
            machine.exec(QStringLiteral("BEGIN"));
            server.submit(machineOf(student), result);
            const qint64 committing = steady.nsecsElapsed();
            machine.exec(QStringLiteral("COMMIT"));
            if (!waitUntil([&paints] { return paints.paintedAt >= 0; }, 10000))
                throw std::runtime_error("a result was not painted within 10 s");
            single << (paints.paintedAt - committing) / 1e6;
        }
        report("one result at a time, COMMIT on its machine to row painted", single);

        // A storm: every student's progress note, back to back, each on its machine. The machines'
        // connections are this thread's alone until the storm ends.
        QList<qint64> committed(kStudents, -1);
        QList<qint64> shown(kStudents, -1);
        QObject::connect(model, &QAbstractItemModel::dataChanged, model, [&](const QModelIndex& topLeft) {
            const LiveAttempt& attempt = model->attempts().at(topLeft.row());
            const int student = attempt.xh.right(6).toInt();
            if (attempt.typed == 5000 && shown[student] < 0)
                shown[student] = steady.nsecsElapsed();
        });
        std::atomic<bool> failed = false;
        QThread* storm = QThread::create([&] {
            try {
                for (int student = 0; student < kStudents; ++student) {
                    Pg::Connection& machine = server.machine(machineOf(student));
                    machine.exec(QStringLiteral("BEGIN"));
                    server.progress(machineOf(student), studentOf(student), 5000, 100);
                    committed[student] = steady.nsecsElapsed();
                    machine.exec(QStringLiteral("COMMIT"));
                }
            } catch (const std::exception& error) {
                fprintf(stderr, "%s\n", error.what());
                failed = true;
            }
        });
        const qint64 stormStart = steady.nsecsElapsed();
        storm->start();
        const bool all = waitUntil(
            [&] { return failed || std::all_of(shown.begin(), shown.end(), [](qint64 at) { return at >= 0; }); },
            60000);
        storm->wait();
        delete storm;
        if (!all || failed)
            throw std::runtime_error("the storm's changes did not all arrive");
        QList<double> stormMs;
        for (int student = 0; student < kStudents; ++student)
            stormMs << (shown[student] - committed[student]) / 1e6;
        printf("storm: %d commits in %.0f ms\n", kStudents,
               (*std::max_element(committed.begin(), committed.end()) - stormStart) / 1e6);
        report("storm of 500 progress notes, COMMIT to row in the window", stormMs);
        window.close();
        server.cluster.stop();
    } catch (const std::exception& error) {
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
