#include "server/result_check.h"

#include "exercise/exercise_replay.h"
#include "server/plausibility.h"
#include "service/log_checks.h"

#include <limits>

namespace ResultCheck {

namespace {

QString figure(double value)
{
    return QString::number(value, 'g', 10);
}

Finding notVerified(const QString& problem)
{
    Finding finding;
    finding.problem = problem;
    return finding;
}

} // namespace

Finding check(int kindNumber, const QByteArray& text, const QByteArray& logBytes, const Sent& sent)
{
    const std::optional<ExerciseKind> kind = ExerciseKinds::fromNumber(kindNumber);
    if (!kind)
        return notVerified(QStringLiteral("练习种类 %1 无法识别").arg(kindNumber));
    const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(logBytes);
    if (!log)
        return notVerified(QStringLiteral("录入记录无法读取（%1 字节，不是 typelab 的录入记录）").arg(logBytes.size()));

    Finding finding;
    finding.marks = Plausibility::marks(*log, *kind).join(QStringLiteral("；"));
    // The store on the machine checks the log against its own clock; the server has no such
    // clock, but the countdown's pace is the log's own and is checked the same way.
    if (const std::optional<QString> timing = LogChecks::timingProblem(*log, std::numeric_limits<quint32>::max())) {
        finding.problem = *timing;
        return finding;
    }
    const ExerciseReplay::Outcome outcome = ExerciseReplay::replayFile(text, *kind, *log);
    if (outcome.problem) {
        finding.problem = *outcome.problem;
        return finding;
    }
    finding.figures = outcome.result;
    const ExerciseResult& own = outcome.result;
    // Exactly: the machine ran this very code on this very log.
    if (own.score != sent.score || own.speed != sent.speed || own.accuracy != sent.accuracy) {
        finding.problem = QStringLiteral("机器报的成绩与录入记录重算的不符：机器报速度 %1、正确率 %2、成绩 %3，"
                                         "服务器重算为速度 %4、正确率 %5、成绩 %6")
                              .arg(figure(sent.speed), figure(sent.accuracy), figure(sent.score), figure(own.speed),
                                   figure(own.accuracy), figure(own.score));
        return finding;
    }
    finding.verified = true;
    return finding;
}

} // namespace ResultCheck
