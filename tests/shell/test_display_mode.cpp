// The display mode switch against a real X server that can change modes: Xorg with the dummy
// video driver, started by the test itself (Xvfb has one fixed screen size).

#include "platform/display_mode.h"
#include "shell/main_window.h"
#include "support/test_support.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/types.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

QSize screenSize()
{
    return QGuiApplication::primaryScreen()->size();
}

} // namespace

class TestDisplayMode : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init() { TestSupport::resetState(); }

    void startSwitchesTo800x600AndQuitRestores()
    {
        const QSize atStart = screenSize();
        QCOMPARE(atStart, QSize(1024, 768));
        TestSupport::AppFolder app;
        {
            MainWindow window;
            QVERIFY(window.load(app.path()));
            QCOMPARE(window.savedScreenSize(), atStart);
            QTRY_COMPARE(screenSize(), QSize(800, 600));
            // The window fills the switched screen.
            window.showInDisplayMode();
            QVERIFY(window.isMaximized());
            QCOMPARE(window.geometry().size(), QSize(800, 600));
            window.menuItem("quit")->trigger();
            QTRY_COMPARE(screenSize(), atStart);
        }
    }

    void closingTheWindowRestores()
    {
        TestSupport::AppFolder app;
        MainWindow window;
        QVERIFY(window.load(app.path()));
        QTRY_COMPARE(screenSize(), QSize(800, 600));
        window.show();
        window.close();
        QTRY_COMPARE(screenSize(), QSize(1024, 768));
    }

    void terminatedProgramRestores_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void terminatedProgramRestores()
    {
        QFETCH(int, signalNumber);
        TestSupport::AppFolder app;
        const QString program = app.file(QStringLiteral("typelab"));
        // The program with the store it starts beside it, as an Application folder holds them.
        for (const char* name : {"typelab", "typelab-store"})
            QVERIFY(QFile::copy(qEnvironmentVariable("TYPELAB_APP_DIR") + u'/' + QLatin1String(name),
                                app.file(QLatin1String(name))));
        QProcess process;
        process.start(program, {});
        QVERIFY(process.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(screenSize(), QSize(800, 600), 10000);
        ::kill(pid_t(process.processId()), signalNumber);
        QVERIFY(process.waitForFinished(10000));
        QTRY_COMPARE(screenSize(), QSize(1024, 768));
    }

    void restoreWithoutChangeDoesNothing()
    {
        DisplayMode::save();
        DisplayMode::restore();
        QCOMPARE(screenSize(), QSize(1024, 768));
    }
};

// Starts Xorg with the dummy driver before the application exists; the server picks a free
// display number and writes it to a pipe once it is ready, so the test talks to its own server.
int main(int argc, char* argv[])
{
    const QString xorg = QStandardPaths::findExecutable(QStringLiteral("Xorg"));
    if (xorg.isEmpty()) {
        fprintf(stderr, "Xorg is not installed (xserver-xorg-core, xserver-xorg-video-dummy)\n");
        return 1;
    }
    const QString config = qEnvironmentVariable("TYPELAB_SOURCE_DIR") + QStringLiteral("/tests/shell/xorg/dummy.conf");
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return 1;
    QProcess server;
    server.setProgram(xorg);
    server.setArguments(
        {QStringLiteral("-displayfd"), QStringLiteral("3"), QStringLiteral("-config"), config,
         QStringLiteral("-noreset"), QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-logfile"),
         QDir::temp().filePath(QStringLiteral("typelab-xorg%1.log").arg(QCoreApplication::applicationPid()))});
    server.setChildProcessModifier([writeEnd = ready[1]] { dup2(writeEnd, 3); });
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start();
    if (!server.waitForStarted(5000)) {
        fprintf(stderr, "Xorg did not start\n");
        return 1;
    }
    close(ready[1]);
    QByteArray display;
    pollfd waiting{ready[0], POLLIN, 0};
    char ch = 0;
    while (!display.endsWith('\n') && poll(&waiting, 1, 15000) == 1 && read(ready[0], &ch, 1) == 1)
        display.append(ch);
    close(ready[0]);
    if (!display.endsWith('\n')) {
        fprintf(stderr, "Xorg did not say which display it took\n");
        server.kill();
        server.waitForFinished(5000);
        return 1;
    }
    qputenv("DISPLAY", ":" + display.trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 1;
    {
        QApplication application(argc, argv);
        TestDisplayMode test;
        result = QTest::qExec(&test, argc, argv);
    }
    server.terminate();
    server.waitForFinished(5000);
    return result;
}

#include "test_display_mode.moc"
