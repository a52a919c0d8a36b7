// Start-up time: from starting the program's process to its main window shown and the grade
// database opened and purged (the program quits then when TYPELAB_QUIT_WHEN_SHOWN is set),
// over a grade database of 10 000 rows, with the median time of every step it marks.

#include "support/test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <ctime>
#include <map>
#include <vector>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestSupport::AppFolder folder;
    {
        GradeStore store = folder.store();
        Transaction transaction(GradeStoreInspector::database(store));
        for (int i = 0; i < 10000; ++i)
            store.addResult({QStringLiteral("20260%1").arg(i, 5, 10, QChar('0')), QStringLiteral("学生"),
                             QStringLiteral("英文"), 80, 120, 95, QDate::currentDate().addDays(-(i % 14)), QTime(10, 0),
                             QStringLiteral("B1")});
        transaction.commit();
    }
    const QString program = folder.file(QStringLiteral("typelab"));
    QFile::copy(QStringLiteral(TYPELAB_APP_DIR "/typelab"), program);
    QList<double> times;
    std::vector<std::string> order;
    std::map<std::string, std::vector<double>> steps; // ms from process start to each mark
    for (int run = 0; run < 11; ++run) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TYPELAB_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
        env.insert(QStringLiteral("TYPELAB_STARTUP_TRACE"), QStringLiteral("1"));
        if (!env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        QElapsedTimer timer;
        timespec started{};
        clock_gettime(CLOCK_MONOTONIC, &started);
        timer.start();
        process.start(program, {});
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            fprintf(stderr, "the program did not start and quit: %s\n", process.readAllStandardError().constData());
            return 1;
        }
        times << timer.nsecsElapsed() / 1e6;
        const double startNs = started.tv_sec * 1e9 + started.tv_nsec;
        for (const QByteArray& line : process.readAllStandardError().split('\n')) {
            if (!line.startsWith("startup "))
                continue;
            const int last = line.lastIndexOf(' ');
            const std::string name = line.mid(8, last - 8).toStdString();
            if (!steps.count(name))
                order.push_back(name);
            steps[name].push_back((line.mid(last + 1).toDouble() - startNs) / 1e6);
        }
    }
    std::sort(times.begin(), times.end());
    printf("start-up to main window shown (and quit), %lld runs: median %.1f ms, min %.1f ms, max %.1f ms\n",
           qlonglong(times.size()), times[times.size() / 2], times.first(), times.last());
    printf("median ms from process start to each step:\n");
    for (const std::string& name : order) {
        std::vector<double>& at = steps[name];
        std::sort(at.begin(), at.end());
        printf("  %7.1f  %s\n", at[at.size() / 2], name.c_str());
    }
    return 0;
}
