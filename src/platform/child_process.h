#pragma once
// A helper program run with hard limits: its memory and processor time are capped by the
// kernel, and it is given up after a wall-clock time. The program is never waited for: a
// child stuck in a file system that does not answer (a network share) may ignore even
// SIGKILL until the share's client gives up, so a child given up is killed and reaped later
// by a thread of its own, while the caller goes on at once.

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <utility>

class QSocketNotifier;
class QTimer;

class ChildProcess : public QObject {
    Q_OBJECT
public:
    struct Limits {
        qint64 addressSpaceBytes = 0; // 0: no limit (address-sanitized builds cannot have one)
        int cpuSeconds = 0;           // 0: no limit
        int wallMilliseconds = 10'000;
        qint64 outputBytes = 64 << 20; // more than this is taken for garbage and given up
        bool errorsToOutput = false;   // standard error joins standard output (else /dev/null)
    };

    struct Outcome {
        QByteArray output; // standard output, complete unless given up
        bool started = false;
        bool exitedNormally = false;
        int exitCode = -1;
        int signal = 0; // the signal that ended it, if one did
        bool timedOut = false;
        bool tooMuchOutput = false;
        bool succeeded() const { return started && exitedNormally && exitCode == 0 && !timedOut && !tooMuchOutput; }
    };

    explicit ChildProcess(QObject* parent = nullptr);
    // A child still running is killed and left to the reaper.
    ~ChildProcess() override;

    // Starts program with arguments; standard input and error are /dev/null. finished() is
    // emitted once, later, from the event loop (also when the start failed).
    void start(const QString& program, const QStringList& arguments, const Limits& limits);
    // Gives the child up now: killed, reaped later, finished() not emitted.
    void abandon();

    // Runs the program to its end (or to its limits) on the calling thread, without an event
    // loop: for a tool, or for a short read the window may wait for.
    static Outcome run(const QString& program, const QStringList& arguments, const Limits& limits);

    // The same in two halves, for work started early and collected later: launch() starts the
    // child (its wall clock runs from here), wait() collects what run() would have returned.
    struct Launched {
        int pid = -1;
        int output = -1;
        Limits limits;
        qint64 startedAt = 0; // monotonic milliseconds
    };
    static Launched launch(const QString& program, const QStringList& arguments, const Limits& limits);
    static Outcome wait(const Launched& launched);

    bool running() const { return pid_ > 0; }

signals:
    void finished(const ChildProcess::Outcome& outcome);

private:
    // Starts the child: its pid and the read end of its output, or -1 for both.
    static std::pair<int, int> spawn(const QString& program, const QStringList& arguments, const Limits& limits);
    void readOutput();
    void pollExit();
    void giveUp(bool tooMuchOutput);
    void finish();
    void closePipe();

    int pid_ = -1;
    int pipe_ = -1;
    Limits limits_;
    Outcome outcome_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* wallClock_ = nullptr;
    QTimer* exitPoll_ = nullptr;
};
