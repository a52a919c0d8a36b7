#include "collect/source_read.h"

#include "collect/source_frames.h"
#include "platform/child_process.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString& programOverride()
{
    static QString program;
    return program;
}

int timeLimitMs = 10'000;

// A reader needs a few tens of megabytes; a file that makes it want more is not ours.
constexpr qint64 kMemoryLimit = qint64(512) << 20;
// Processor time is bounded apart from the wall clock, for a reader that spins.
constexpr int kCpuSeconds = 20;

QString unreadable(const QString& path, const QString& problem)
{
    return QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(path), problem);
}

QString whatWentWrong(const ChildProcess::Outcome& outcome)
{
    if (!outcome.started)
        return QStringLiteral("无法启动读取程序");
    if (outcome.timedOut)
        return QStringLiteral("%1秒内没有读完（共享没有响应？），已放弃").arg(timeLimitMs / 1000.0);
    if (outcome.tooMuchOutput)
        return QStringLiteral("读取程序送回的数据过多，已放弃（文件可能被改动过）");
    if (outcome.signal != 0)
        return QStringLiteral("读取程序异常退出（信号%1，文件可能被改动过）").arg(outcome.signal);
    if (outcome.exitCode == 127)
        return QStringLiteral("找不到读取程序 typelab-reader");
    if (outcome.exitCode != 0)
        return QStringLiteral("读取程序出错退出（代码%1，文件可能被改动过）").arg(outcome.exitCode);
    return QStringLiteral("读取程序送回的数据有误（文件可能被改动过）");
}

} // namespace

SourceRead::SourceRead(QObject* parent) : QObject(parent) {}

SourceRead::~SourceRead() = default;

QString SourceRead::readerProgram()
{
    if (!programOverride().isEmpty())
        return programOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/typelab-reader");
}

void SourceRead::setReaderProgram(const QString& program)
{
    programOverride() = program;
}
int SourceRead::timeLimit()
{
    return timeLimitMs;
}
void SourceRead::setTimeLimit(int milliseconds)
{
    timeLimitMs = milliseconds;
}

qint64 SourceRead::memoryLimit()
{
#if defined(__SANITIZE_ADDRESS__)
    return 0; // the address sanitizer reserves terabytes of address space up front
#else
    return kMemoryLimit;
#endif
}

namespace {

SourceResult resultOf(const ChildProcess::Outcome& outcome, const QString& path)
{
    SourceResult result;
    const SourceFrames::Decoded decoded =
        outcome.succeeded() ? SourceFrames::decode(outcome.output) : SourceFrames::Decoded{};
    switch (decoded.kind) {
    case SourceFrames::Decoded::Kind::Rows:
        result.kind = SourceResult::Kind::Rows;
        result.rows = decoded.rows;
        break;
    case SourceFrames::Decoded::Kind::Missing:
        result.kind = SourceResult::Kind::Missing;
        break;
    case SourceFrames::Decoded::Kind::Failure:
        result.problem = decoded.description;
        break;
    case SourceFrames::Decoded::Kind::Garbage:
        result.problem = unreadable(path, whatWentWrong(outcome));
        break;
    }
    return result;
}

ChildProcess::Limits readerLimits()
{
    ChildProcess::Limits limits;
    limits.addressSpaceBytes = SourceRead::memoryLimit();
    limits.cpuSeconds = kCpuSeconds;
    limits.wallMilliseconds = timeLimitMs;
    return limits;
}

QStringList readerArguments(SourceRead::Format format, const QString& path, const QString& batch)
{
    const QString mode = format == SourceRead::Format::GradeDatabase ? QStringLiteral("grades")
        : format == SourceRead::Format::CollectionFile               ? QStringLiteral("collection")
                                                                     : QStringLiteral("export");
    return {mode, path, batch, QString::number(Database::defaultBusyTimeout())};
}

} // namespace

void SourceRead::start(Format format, const QString& path, const QString& batch)
{
    abandon();
    path_ = path;
    child_ = new ChildProcess(this);
    connect(child_, &ChildProcess::finished, this, [this](const ChildProcess::Outcome& outcome) {
        const SourceResult result = resultOf(outcome, path_);
        child_->deleteLater();
        child_ = nullptr;
        emit done(result);
    });
    child_->start(readerProgram(), readerArguments(format, path, batch), readerLimits());
}

SourceResult SourceRead::readNow(Format format, const QString& path, const QString& batch)
{
    return resultOf(ChildProcess::run(readerProgram(), readerArguments(format, path, batch), readerLimits()), path);
}

void SourceRead::abandon()
{
    if (!child_)
        return;
    child_->abandon();
    child_->disconnect(this);
    child_->deleteLater();
    child_ = nullptr;
}
