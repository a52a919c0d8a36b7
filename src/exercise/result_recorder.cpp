#include "exercise/result_recorder.h"

#include "grades/grade_store.h"
#include "platform/clock.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <atomic>
#include <exception>

namespace ResultRecorder {

namespace {

GradeRow rowFor(const ExerciseTaker& taker, ExerciseKind kind, const ExerciseResult& result)
{
    GradeRow row;
    row.xh = taker.studentNumber;
    row.xm = taker.name;
    row.lrxm = kind == ExerciseKind::English ? QStringLiteral("英文") : QStringLiteral("中文");
    row.lrcj = result.score;
    row.lrsd = result.speed;
    row.lrzql = result.accuracy;
    row.lrdate = Clock::today();
    row.lrtime = Clock::timeOfDay();
    if (!taker.batchNumber.isEmpty())
        row.lrpc = taker.batchNumber;
    return row;
}

constexpr int kTries = 2;

std::atomic<int> underWay{0};

Outcome storeRow(const GradeRow& row, const QString& appFolder)
{
    Outcome outcome;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        try {
            GradeStore store = GradeStore::open(appFolder);
            store.addResult(row);
            outcome.saved = true;
            outcome.problem.clear();
            return outcome;
        } catch (const DbError& error) {
            outcome.problem = error.describe();
            if (!error.isBusy())
                break;
        } catch (const std::exception& error) {
            outcome.problem = QString::fromLocal8Bit(error.what());
            break;
        }
    }
    return outcome;
}

} // namespace

void storeInBackground(const QString& appFolder, const ExerciseTaker& taker, ExerciseKind kind,
                       const ExerciseResult& result, QPointer<QObject> context,
                       std::function<void(const Outcome&)> done)
{
    // Dated here, on the window's thread, where the clock lives.
    const GradeRow row = rowFor(taker, kind, result);
    ++underWay;
    QThreadPool::globalInstance()->start([row, appFolder, context, done] {
        const Outcome outcome = storeRow(row, appFolder);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [context, done, outcome] {
            --underWay;
            if (context)
                done(outcome);
        });
    });
}

int storesUnderWay()
{
    return underWay;
}

} // namespace ResultRecorder
