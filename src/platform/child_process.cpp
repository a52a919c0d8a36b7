#include "platform/child_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Reaps a child that was given up, however long its last system call takes.
void reapLater(int pid)
{
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }).detach();
}

void closeInheritedDescriptors()
{
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3U, ~0U, 0U) == 0)
        return;
#endif
    const long last = sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < (last > 0 ? last : 1024); ++fd)
        close(int(fd));
}

// Timers and notifiers are let go of later: the one being dropped may be the sender of the
// signal that is being handled.
template <typename T> void release(T*& object)
{
    if (!object)
        return;
    object->disconnect();
    object->blockSignals(true);
    object->deleteLater();
    object = nullptr;
}

} // namespace

ChildProcess::ChildProcess(QObject* parent) : QObject(parent) {}

ChildProcess::~ChildProcess()
{
    abandon();
}

std::pair<int, int> ChildProcess::spawn(const QString& program, const QStringList& arguments, const Limits& limits)
{
    // Everything the child needs is made before fork: after it only system calls are safe.
    std::vector<QByteArray> argStore;
    argStore.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments)
        argStore.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& arg : argStore)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {-1, -1};
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(fds[1], STDOUT_FILENO);
        dup2(limits.errorsToOutput ? fds[1] : null, STDERR_FILENO);
        closeInheritedDescriptors();
        if (limits.addressSpaceBytes > 0) {
            const rlimit memory{rlim_t(limits.addressSpaceBytes), rlim_t(limits.addressSpaceBytes)};
            setrlimit(RLIMIT_AS, &memory);
        }
        if (limits.cpuSeconds > 0) {
            const rlimit cpu{rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds + 1)};
            setrlimit(RLIMIT_CPU, &cpu);
        }
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return {-1, -1};
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    return {pid, fds[0]};
}

void ChildProcess::start(const QString& program, const QStringList& arguments, const Limits& limits)
{
    limits_ = limits;
    outcome_ = Outcome{};
    const auto [pid, output] = spawn(program, arguments, limits);
    if (pid < 0) {
        QTimer::singleShot(0, this, &ChildProcess::finish);
        return;
    }
    pid_ = pid;
    pipe_ = output;
    outcome_.started = true;
    notifier_ = new QSocketNotifier(pipe_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ChildProcess::readOutput);
    wallClock_ = new QTimer(this);
    wallClock_->setSingleShot(true);
    connect(wallClock_, &QTimer::timeout, this, [this] { giveUp(false); });
    wallClock_->start(limits.wallMilliseconds);
}

ChildProcess::Outcome ChildProcess::run(const QString& program, const QStringList& arguments, const Limits& limits)
{
    return wait(launch(program, arguments, limits));
}

ChildProcess::Launched ChildProcess::launch(const QString& program, const QStringList& arguments,
                                            const Limits& limits)
{
    Launched launched;
    launched.limits = limits;
    launched.startedAt = QDeadlineTimer::current().deadline();
    const auto [pid, output] = spawn(program, arguments, limits);
    launched.pid = pid;
    launched.output = output;
    return launched;
}

ChildProcess::Outcome ChildProcess::wait(const Launched& launched)
{
    Outcome outcome;
    const int pid = launched.pid;
    const int output = launched.output;
    const Limits& limits = launched.limits;
    if (pid < 0)
        return outcome;
    outcome.started = true;
    auto left = [&] {
        return qMax<qint64>(0, launched.startedAt + limits.wallMilliseconds - QDeadlineTimer::current().deadline());
    };
    char buffer[65536];
    bool ended = false;
    while (!ended) {
        pollfd waiting{output, POLLIN, 0};
        if (left() <= 0 || poll(&waiting, 1, int(left())) == 0) {
            outcome.timedOut = true;
            break;
        }
        const ssize_t got = read(output, buffer, sizeof buffer);
        if (got > 0) {
            outcome.output.append(buffer, got);
            if (outcome.output.size() > limits.outputBytes) {
                outcome.tooMuchOutput = true;
                break;
            }
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            ended = true;
        }
    }
    close(output);
    if (!ended) {
        kill(pid, SIGKILL);
        reapLater(pid);
        return outcome;
    }
    // The child ends right after closing its output; one that does not within its time is
    // given up like one that overran.
    int status = 0;
#ifdef SYS_pidfd_open
    const int exited = int(syscall(SYS_pidfd_open, pid, 0));
    if (exited >= 0) {
        pollfd waiting{exited, POLLIN, 0};
        const bool gone = poll(&waiting, 1, int(left())) == 1;
        close(exited);
        if (!gone) {
            outcome.timedOut = true;
            kill(pid, SIGKILL);
            reapLater(pid);
            return outcome;
        }
    }
#endif
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) {
        outcome.exitedNormally = true;
        outcome.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}

void ChildProcess::readOutput()
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(pipe_, buffer, sizeof buffer);
        if (got > 0) {
            outcome_.output.append(buffer, got);
            if (outcome_.output.size() > limits_.outputBytes) {
                giveUp(true);
                return;
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        break; // end of output (or a broken pipe)
    }
    closePipe();
    // The child ends right after closing its output; look for its exit until it has.
    exitPoll_ = new QTimer(this);
    connect(exitPoll_, &QTimer::timeout, this, &ChildProcess::pollExit);
    exitPoll_->start(2);
    pollExit();
}

void ChildProcess::pollExit()
{
    if (pid_ <= 0)
        return;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0)
        return;
    pid_ = -1;
    if (done > 0 && WIFEXITED(status)) {
        outcome_.exitedNormally = true;
        outcome_.exitCode = WEXITSTATUS(status);
    } else if (done > 0 && WIFSIGNALED(status)) {
        outcome_.signal = WTERMSIG(status);
    }
    finish();
}

void ChildProcess::giveUp(bool tooMuchOutput)
{
    outcome_.timedOut = !tooMuchOutput;
    outcome_.tooMuchOutput = tooMuchOutput;
    abandon();
    finish();
}

void ChildProcess::abandon()
{
    closePipe();
    release(wallClock_);
    release(exitPoll_);
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        reapLater(pid_);
        pid_ = -1;
    }
}

void ChildProcess::finish()
{
    release(wallClock_);
    release(exitPoll_);
    emit finished(outcome_);
}

void ChildProcess::closePipe()
{
    if (notifier_)
        notifier_->setEnabled(false);
    release(notifier_);
    if (pipe_ >= 0) {
        close(pipe_);
        pipe_ = -1;
    }
}
