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
        QVERIFY(QFile::copy(qEnvironmentVariable("TYPELAB_APP_DIR") + QStringLiteral("/typelab"), program));
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

// Starts Xorg with the dummy driver on a free display number before the application exists.
int main(int argc, char* argv[])
{
    const QString xorg = QStandardPaths::findExecutable(QStringLiteral("Xorg"));
    if (xorg.isEmpty()) {
        fprintf(stderr, "Xorg is not installed (xserver-xorg-core, xserver-xorg-video-dummy)\n");
        return 1;
    }
    const QString config = qEnvironmentVariable("TYPELAB_SOURCE_DIR") + QStringLiteral("/tests/shell/xorg/dummy.conf");
    const int display = 90 + int(QCoreApplication::applicationPid() % 80);
    const QString name = QStringLiteral(":%1").arg(display);
    QProcess server;
    server.setProgram(xorg);
    server.setArguments({name, QStringLiteral("-config"), config, QStringLiteral("-noreset"),
                         QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-logfile"),
                         QDir::temp().filePath(QStringLiteral("typelab-xorg%1.log").arg(display))});
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start();
    if (!server.waitForStarted(5000)) {
        fprintf(stderr, "Xorg did not start\n");
        return 1;
    }
    const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
    for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
        QThread::msleep(50);
    qputenv("DISPLAY", name.toLatin1());
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
