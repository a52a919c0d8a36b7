// Shows the refusal a student meets who takes a test batch on a second machine, for a screenshot
// on a real X server: claim_screenshot [seconds]. A real cluster, two machines joined to it (each
// its own typelab-store and forwarder); the first takes the batch, then the real login dialog of
// the second is filled in and confirmed, and its message box names the first machine. Prints
// "ready X Y WIDTH HEIGHT" (the dialog and the box together on the screen) once both are painted.

#include "login/login_dialog.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/signal_guard.h"
#include "store/store_client.h"
#include "support/lab_machine.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    TestSupport::prepareApplication();
    MessageBoxes::setRecording(false); // the real box, on the screen
    Fonts::registerSubstitutions();
    // The script may end the tool with SIGTERM: the event loops end and the cluster is stopped.
    SignalGuard::install();
    // The box's button speaks Chinese, as in the program.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    const int seconds = argc > 1 ? atoi(argv[1]) : 20;
    const QString student = QStringLiteral("2026030107");
    PgCluster cluster;
    std::unique_ptr<LabMachine> first, second;
    try {
        cluster.start();
        first = std::make_unique<LabMachine>(cluster, QStringLiteral("PC07"));
        second = std::make_unique<LabMachine>(cluster, QStringLiteral("PC12"));
    } catch (const std::exception& error) {
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const LoginReply taken = first->store().testLogin(student, QStringLiteral("王五"), QStringLiteral("B3"), {}, false);
    if (!taken.ok()) {
        fprintf(stderr, "the first machine's login failed: %s\n", qPrintable(taken.message));
        return 1;
    }
    LoginDialog dialog(LoginMode::Test, second->store(), QString(), nullptr);
    dialog.show();
    dialog.move(200, 160);
    if (!QTest::qWaitForWindowExposed(&dialog)) {
        fprintf(stderr, "the dialog was not shown\n");
        return 1;
    }
    dialog.box(0)->setText(student);
    dialog.box(1)->setText(QStringLiteral("王五"));
    dialog.box(2)->setText(QStringLiteral("B3"));
    // Once the message box is up and painted, say where dialog and box are; then wait.
    auto* watch = new QTimer(&app);
    QObject::connect(watch, &QTimer::timeout, &app, [&dialog, watch, seconds, &app] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box == &dialog || !box->isVisible())
            return;
        watch->stop();
        // Below the dialog rather than over it (there is no window manager to place it), so
        // that the picture shows what the student typed too.
        box->move(dialog.frameGeometry().left(), dialog.frameGeometry().bottom() + 12);
        QTimer::singleShot(300, &app, [&dialog, box, seconds, &app] {
            const QRect both = dialog.frameGeometry().united(box->frameGeometry());
            printf("ready %d %d %d %d\n", both.x(), both.y(), both.width(), both.height());
            fflush(stdout);
            QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
        });
    });
    watch->start(50);
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.confirm(); });
    const int code = app.exec();
    first.reset();
    second.reset();
    cluster.stop();
    return code;
}
