// The program's start as its trace tells it, run as a lab machine runs it (the program and the
// store from one Application folder): the window is exposed and painted, and only once that
// first paint has been handed to the window system does the store purge, before the program
// would take any input.

#include "support/test_support.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

class TestStartupTrace : public QObject {
    Q_OBJECT

private slots:
    void firstPaintIsSentBeforeThePurge()
    {
        TestSupport::AppFolder app;
        const QDate today = QDate::currentDate();
        {
            GradeStore store = app.store();
            store.addResult(TestSupport::resultOn(today, QStringLiteral("今天")));
            store.addResult(TestSupport::resultOn(today.addDays(-15), QStringLiteral("十五天")));
        }
        for (const char* name : {"typelab", "typelab-store"})
            QVERIFY(QFile::copy(qEnvironmentVariable("TYPELAB_APP_DIR") + u'/' + QLatin1String(name),
                                app.file(QLatin1String(name))));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TYPELAB_STARTUP_TRACE"), QStringLiteral("1"));
        env.insert(QStringLiteral("TYPELAB_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
        program.setProcessEnvironment(env);
        program.start(app.file(QStringLiteral("typelab")), {});
        QVERIFY(program.waitForFinished(30000));
        const QByteArray trace = program.readAllStandardError();
        QCOMPARE(program.exitCode(), 0);

        // Each mark once, with its moment.
        QMap<QString, qint64> at;
        for (const QByteArray& line : trace.split('\n')) {
            if (!line.startsWith("startup "))
                continue;
            const int last = line.lastIndexOf(' ');
            const QString name = QString::fromUtf8(line.mid(8, last - 8));
            QVERIFY2(!at.contains(name), qPrintable(name));
            at.insert(name, line.mid(last + 1).toLongLong());
        }
        const QStringList order{QStringLiteral("shown"), QStringLiteral("exposed"), QStringLiteral("painted"),
                                QStringLiteral("first paint sent"), QStringLiteral("grade database opened and purged")};
        for (const QString& name : order)
            QVERIFY2(at.contains(name), qPrintable(name + QStringLiteral(" missing from:\n") + QString::fromUtf8(trace)));
        for (qsizetype i = 1; i < order.size(); ++i)
            QVERIFY2(at.value(order[i - 1]) <= at.value(order[i]), qPrintable(order[i - 1] + QStringLiteral(" after ") + order[i]));

        GradeStore store = app.store();
        const QList<GradeRow> left = store.allResults();
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.first().xm, QStringLiteral("今天"));
    }
};

QTEST_GUILESS_MAIN(TestStartupTrace)
#include "test_startup_trace.moc"
