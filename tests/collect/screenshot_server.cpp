// Shows the teacher's windows against a real school server, for a screenshot on a real X
// server: screenshot_server live|collect [seconds]. live is the live window in the middle of a
// sitting of 32 students (typing, finished with the server's check, marked, silent, not yet
// typing); collect is the collection dialog after a collection from the server. Prints
// "ready X Y WIDTH HEIGHT" (the window's frame on the screen) once the window is painted.

#include "collect/collection_dialog.h"
#include "collect/live_window.h"
#include "lab_fixture.h"
#include "platform/fonts.h"
#include "platform/signal_guard.h"
#include "school_fixture.h"
#include "store/store_client.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

const char* const kNames[] = {"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十",
                              "郑一", "陈晨", "林琳", "黄河", "何静", "高远", "罗兰", "梁山"};

void fillSitting(SchoolServer& server)
{
    Pg::Connection writer = server.cluster.superuser();
    for (int i = 0; i < 32; ++i) {
        SchoolServer::Attempt a;
        a.batch = QStringLiteral("B3");
        a.xh = QStringLiteral("20260301%1").arg(i + 1, 2, 10, QChar(u'0'));
        a.xm = QString::fromUtf8(kNames[i % 16]);
        a.machine = QStringLiteral("PC%1").arg(i + 1, 2, 10, QChar(u'0'));
        a.beganAgo = 330 - i * 3;
        a.heardAgo = (i * 7) % 25;
        if (i % 5 == 1) { // finished: figures and the server's check
            a.finished = true;
            a.typed = 1200 + i * 31;
            a.secondsLeft = 0;
            a.lrsd = 110 + i * 3.5;
            a.lrzql = 92 + i % 8;
            a.lrcj = 68 + i % 30;
            a.verified = i == 11 ? std::optional<bool>(false) : i == 26 ? std::nullopt : std::optional<bool>(true);
        } else if (i == 7 || i == 20) { // silent for two minutes
            a.typed = 380 + i;
            a.secondsLeft = 460;
            a.heardAgo = 125;
        } else if (i == 30) { // logged in, nothing typed yet
            a.heardAgo = 10;
        } else {
            a.typed = 200 + i * 23;
            a.secondsLeft = 600 - a.beganAgo;
        }
        if (i == 16) {
            a.finished = true;
            a.typed = 1340;
            a.secondsLeft = 0;
            a.lrsd = 134;
            a.lrzql = 97.5;
            a.lrcj = 86;
            a.verified = true;
            a.duplicate = true;
        }
        if (i == 11)
            a.marks = QStringLiteral("速度超出常人（1250字/分）");
        SchoolServer::setAttempt(writer, a);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Fonts::registerSubstitutions();
    // The script ends the tool with SIGTERM: the event loop ends and the cluster is stopped.
    SignalGuard::install();
    StoreClient::setServiceProgram(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-store"));
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("live");
    const int seconds = argc > 2 ? atoi(argv[2]) : 20;
    SchoolServer server;
    TestSupport::AppFolder local;
    try {
        server.start();
        server.installCa(local.path());
    } catch (const std::exception& error) {
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const ServerLogin login{server.address(), QString::fromLatin1(SchoolServer::kTeacher),
                            QString::fromLatin1(SchoolServer::kPassword)};
    QWidget* shown = nullptr;
    std::unique_ptr<QWidget> owner;
    Lab lab;
    StoreClient store(local.path());
    if (which == QLatin1String("collect")) {
        SchoolServer::Result result;
        for (int i = 0; i < 24; ++i) {
            result.xh = QStringLiteral("20260301%1").arg(i + 1, 2, 10, QChar(u'0'));
            result.xm = QString::fromUtf8(kNames[i % 16]);
            result.batch = QStringLiteral("B3");
            const QString id = server.submit(QStringLiteral("PC%1").arg(i % 6 + 1), result);
            if (i == 0)
                server.checkColumnsAreStandIn();
            server.setCheck(id,
                            i == 5       ? std::optional<bool>(false)
                                : i > 20 ? std::nullopt
                                         : std::optional<bool>(true),
                            i == 9);
        }
        auto* dialog = new CollectionDialog(store);
        owner.reset(dialog);
        dialog->show();
        QTest::mouseClick(dialog->findChild<QRadioButton*>(QStringLiteral("Option1_2")), Qt::LeftButton);
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("Text1")), login.address);
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("Text3")), login.user);
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("Text4")), login.password);
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("Text2")), QStringLiteral("B3"));
        dialog->runCollection();
        auto* button = dialog->findChild<QPushButton*>(QStringLiteral("Command1"));
        if (!QTest::qWaitFor([button] { return button->isEnabled(); }, 20000)) {
            fprintf(stderr, "the collection did not end\n");
            return 1;
        }
        shown = dialog;
    } else {
        server.attemptsAreStandIn();
        fillSitting(server);
        auto* watch = new BatchWatch(login, local.path(), QStringLiteral("B3"));
        QList<LiveAttempt> first;
        bool read = false;
        QObject::connect(watch, &BatchWatch::rowsRead, watch, [&](const QList<LiveAttempt>& rows) {
            first = rows;
            read = true;
        });
        watch->start();
        if (!QTest::qWaitFor([&read] { return read; }, 20000)) {
            fprintf(stderr, "no rows from the server\n");
            return 1;
        }
        QObject::disconnect(watch, &BatchWatch::rowsRead, watch, nullptr);
        auto* window = new LiveWindow(watch, first);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        owner.reset(window);
        window->show();
        shown = window;
    }
    shown->move(20, 20);
    if (!QTest::qWaitForWindowExposed(shown)) {
        fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    const QRect frame = shown->frameGeometry();
    printf("ready %d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height());
    fflush(stdout);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    const int code = app.exec();
    owner.reset();
    server.cluster.stop();
    return code;
}
