// Shows the teacher's windows against a real school server, for a screenshot on a real X
// server: screenshot_server live|collect [seconds]. live is the live window in the middle of a
// sitting of 32 students on 32 machines (typing, finished with the server's check, marked,
// silent, not yet typing, one who took the batch again on a 33rd machine); collect is the
// collection dialog after a collection from the server. Everything reaches the server through
// the machines' and the verifier's own functions. Prints "ready X Y WIDTH HEIGHT" (the window's
// frame on the screen) once the window is painted.

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

QString machineName(int i)
{
    return QStringLiteral("PC%1").arg(i + 1, 2, 10, QChar(u'0'));
}

void fillSitting(SchoolServer& server)
{
    for (int i = 0; i < 32; ++i) {
        const SchoolServer::Student student{QStringLiteral("B3"), QStringLiteral("20260301%1").arg(i + 1, 2, 10, QChar(u'0')),
                                            QString::fromUtf8(kNames[i % 16])};
        const QString machine = machineName(i);
        const int beganAgo = 330 - i * 3;
        int heardAgo = (i * 7) % 25;
        server.claim(machine, student);
        if (i == 30) { // logged in a moment ago, nothing typed yet
            server.moveBack(machine, student, 10);
            continue;
        }
        if (i == 7 || i == 20) // silent for two minutes
            heardAgo = 125;
        // Began beganAgo seconds ago; the machine's last word came heardAgo seconds ago.
        server.moveBack(machine, student, beganAgo - heardAgo);
        if (i % 5 == 1 || i == 16) { // finished: figures and the server's check
            SchoolServer::Result result;
            result.batch = student.batch;
            result.xh = student.xh;
            result.xm = student.xm;
            result.lrsd = i == 16 ? 134 : 110 + i * 3.5;
            result.lrzql = i == 16 ? 97.5 : 92 + i % 8;
            result.lrcj = i == 16 ? 86 : 68 + i % 30;
            server.progress(machine, student, 1200 + i * 31, 5);
            const QString id = server.submit(machine, result);
            if (i == 11)
                server.verify(id, {false, 41, result.lrsd, result.lrzql, QStringLiteral("成绩与击键记录不符"),
                                   QStringLiteral("速度超出常人（1250字/分）")});
            else if (i != 26) // 26 waits for the verifier
                server.verify(id, {true, result.lrcj, result.lrsd, result.lrzql, {}, {}});
        } else {
            const int typed = i == 7 || i == 20 ? 380 + i : 200 + i * 23;
            server.progress(machine, student, typed, i == 7 || i == 20 ? 460 : 600 - beganAgo);
        }
        server.moveBack(machine, student, heardAgo);
        if (i == 16) { // the same student again on another machine, whose claim came from its outbox
            server.claimFromOutbox(machineName(32), student);
            server.progress(machineName(32), student, 420, 300);
            server.moveBack(machineName(32), student, 45);
        }
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
        try {
            SchoolServer::Result result;
            for (int i = 0; i < 24; ++i) {
                result.xh = QStringLiteral("20260301%1").arg(i + 1, 2, 10, QChar(u'0'));
                result.xm = QString::fromUtf8(kNames[i % 16]);
                result.batch = QStringLiteral("B3");
                const SchoolServer::Student student{result.batch, result.xh, result.xm};
                const QString machine = QStringLiteral("PC%1").arg(i % 6 + 1);
                server.claim(machine, student);
                const QString id = server.submit(machine, result);
                if (i == 5)
                    server.verify(id, {false, 41, result.lrsd, result.lrzql, QStringLiteral("成绩与击键记录不符"), {}});
                else if (i <= 20)
                    server.verify(id, {});
                if (i == 9) { // taken again on the next machine, whose claim came from its outbox
                    const QString again = QStringLiteral("PC%1").arg(i % 6 + 2);
                    server.claimFromOutbox(again, student);
                    result.lrcj = 79;
                    server.verify(server.submit(again, result), {});
                    result.lrcj = SchoolServer::Result{}.lrcj;
                }
            }
        } catch (const std::exception& error) {
            fprintf(stderr, "%s\n", error.what());
            return 1;
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
        try {
            fillSitting(server);
        } catch (const std::exception& error) {
            fprintf(stderr, "%s\n", error.what());
            return 1;
        }
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
