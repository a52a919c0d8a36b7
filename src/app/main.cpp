#include "platform/display_mode.h"
#include "platform/fonts.h"
#include "platform/signal_guard.h"
#include "platform/startup_trace.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "store/store_client.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

int main(int argc, char* argv[])
{
    StartupTrace::mark("main");
    const QString appFolder = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    QApplication app(argc, argv);
    StartupTrace::mark("application");
    // The store (the installed service, or typelab-store started as this program's child)
    // gets ready while Qt starts and the window is built.
    StoreClient store(appFolder);
    store.start();
    StartupTrace::watchFirstPaint();
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
    StartupTrace::mark("translations and fonts");

    MainWindow window;
    StartupTrace::mark("main window built");
    if (!window.beginLoad(appFolder, &store))
        return 1;
    window.purgeAfterFirstPaint();
    QObject::connect(&window, &MainWindow::loadFinished, &app, [](bool usable) {
        if (!usable)
            QCoreApplication::exit(1);
        // The start-up benchmark measures process start to this point.
        else if (qEnvironmentVariableIsSet("TYPELAB_QUIT_WHEN_SHOWN"))
            QCoreApplication::exit(0);
    });
    window.showInDisplayMode();
    StartupTrace::mark("shown");
    const int code = app.exec();
    DisplayMode::restore();
    return code;
}
