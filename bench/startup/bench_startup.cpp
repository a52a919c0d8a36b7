// Start-up time: from starting the program's process to its main window shown (the program
// quits at once when TYPELAB_QUIT_WHEN_SHOWN is set), over a grade database of 10 000 rows.

#include "support/test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestSupport::AppFolder folder;
    {
        GradeStore store = folder.store();
        Transaction transaction(store.database());
        for (int i = 0; i < 10000; ++i)
            store.addResult({QStringLiteral("20260%1").arg(i, 5, 10, QChar('0')), QStringLiteral("学生"),
                             QStringLiteral("英文"), 80, 120, 95, QDate::currentDate().addDays(-(i % 14)),
                             QTime(10, 0), QStringLiteral("B1")});
        transaction.commit();
    }
    const QString program = folder.file(QStringLiteral("typelab"));
    QFile::copy(QStringLiteral(TYPELAB_APP_DIR "/typelab"), program);
    QList<double> times;
    for (int run = 0; run < 11; ++run) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TYPELAB_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
        if (!env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        process.start(program, {});
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            fprintf(stderr, "the program did not start and quit: %s\n", process.readAllStandardError().constData());
            return 1;
        }
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    printf("start-up to main window shown (and quit), %lld runs: median %.1f ms, min %.1f ms, max %.1f ms\n",
           qlonglong(times.size()), times[times.size() / 2], times.first(), times.last());
    return 0;
}
