// Shows the login dialog of one Login mode with sample input on a real display, for the
// README's pictures: login_dialog_screens <1|2|3> [second]. Prints the dialog's frame on the
// screen as WxH+X+Y and stays up for a few seconds.

#include "login/login_dialog.h"

#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "support/test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int mode = argc > 1 ? QByteArray(argv[1]).toInt() : 1;
    const bool second = argc > 2 && QByteArray(argv[2]) == "second";

    Fonts::registerSubstitutions();
    Twips::setDpi(96);
    MessageBoxes::setRecording(true);
    TestSupport::AppFolder folder;
    MainWindow window(folder.path());
    LoginDialog dialog(LoginMode(mode), window.store(), QString(), &window);
    dialog.move(40, 40);
    dialog.show();

    const auto fill = [&dialog](int box, const char* text) { dialog.box(box)->setText(QString::fromUtf8(text)); };
    switch (mode) {
    case 1:
        fill(0, "2024001");
        fill(1, "张三");
        break;
    case 2:
        fill(0, "2024000001");
        fill(1, "李四");
        fill(2, "B1");
        if (second) {
            folder.store().addTestLogin(QStringLiteral("2024000001"), QStringLiteral("B1"), QDate::currentDate());
            dialog.confirm();
            fill(3, "again");
        }
        break;
    case 3:
        fill(0, "admin");
        fill(1, "admin123");
        break;
    default:
        break;
    }

    QTimer::singleShot(800, [&dialog] {
        const QRect frame = dialog.geometry();
        std::printf("%dx%d+%d+%d\n", frame.width(), frame.height(), frame.x(), frame.y());
        std::fflush(stdout);
    });
    QTimer::singleShot(4000, &app, &QApplication::quit);
    return app.exec();
}
