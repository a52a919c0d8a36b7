#include "platform/display_mode.h"
#include "platform/fonts.h"
#include "platform/signal_guard.h"
#include "platform/twips.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("typelab"));
    // No display name: Qt would append it to every window title, and the titles are exact.
    // Standard buttons and choosers speak Chinese whatever the locale.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    Fonts::registerSubstitutions();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        Twips::setDpi(screen->logicalDotsPerInchY());
    SignalGuard::install();

    MainWindow window;
    if (!window.load(QCoreApplication::applicationDirPath()))
        return 1;
    // Without a window manager a maximised window would keep its designed size.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    // The start-up benchmark measures process start to this point.
    if (qEnvironmentVariableIsSet("TYPELAB_QUIT_WHEN_SHOWN"))
        QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    const int code = app.exec();
    DisplayMode::restore();
    return code;
}
