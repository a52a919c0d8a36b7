// typelab-store: the one process that opens the grade database.
//
//   typelab-store --system
//       The installed machine's service on the system bus (org.typelab.Store), run as the user
//       typelab; the bus starts it when a program first calls.
//   typelab-store --peer APP_FOLDER
//       The service of a build folder or a demo, started by the program as its child: it
//       listens on a private socket, writes the address on its first line of output, and ends
//       when the program closes its standard input.

#include "service/outbox_bus_object.h"
#include "service/store_bus_object.h"
#include "store/store_protocol.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusServer>
#include <QSocketNotifier>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: typelab-store --system | typelab-store --peer APP_FOLDER\n");
    return 2;
}

// On the system bus the bus starts the forwarder by its name (through systemd where it runs),
// as the user typelab; while its name is owned, it starts no second one.
void startForwarderOnTheBus(QDBusConnection bus)
{
    QDBusMessage start = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                        QStringLiteral("/org/freedesktop/DBus"),
                                                        QStringLiteral("org.freedesktop.DBus"),
                                                        QStringLiteral("StartServiceByName"));
    start << QString::fromLatin1(StoreProtocol::kForwarderName) << 0u;
    bus.asyncCall(start);
}

int runOnSystemBus(QCoreApplication& app)
{
    // The database, its journal and the store's own file are the service's alone.
    ::umask(077);
    StoreService service(StorePlaces::installed(),
                         qEnvironmentVariableIntValue("TYPELAB_STORE_LOCK_SECONDS") > 0
                             ? qEnvironmentVariableIntValue("TYPELAB_STORE_LOCK_SECONDS")
                             : 30);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "typelab-store: no system bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    StoreBusObject store(service);
    OutboxBusObject outbox(service, [bus] { startForwarderOnTheBus(bus); });
    if (!bus.registerObject(QString::fromLatin1(StoreProtocol::kObjectPath), &store,
                            QDBusConnection::ExportAdaptors)
        || !bus.registerObject(QString::fromLatin1(StoreProtocol::kOutboxPath), &outbox,
                               QDBusConnection::ExportAdaptors)) {
        std::fprintf(stderr, "typelab-store: cannot register the store's objects\n");
        return 1;
    }
    if (!bus.registerService(QString::fromLatin1(StoreProtocol::kServiceName))) {
        std::fprintf(stderr, "typelab-store: cannot own %s: %s\n", StoreProtocol::kServiceName,
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    store.watchSessionOwners(bus);
    service.purge();
    outbox.startIfWaiting();
    // The share serves a copy that is current from the start.
    if (const auto problem = service.publishCopy())
        std::fprintf(stderr, "typelab-store: the share's copy was not written: %s\n", qPrintable(*problem));
    return app.exec();
}

int runForProgram(QCoreApplication& app, const QString& appFolder)
{
    // The program's end ends this service, whichever way the program ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    StoreService service(StorePlaces::ownFolder(appFolder));
    StoreBusObject store(service);
    StoreTestSeams seams;

    // An abstract socket, gone with the process; only this account passes its authentication.
    QDBusServer server(QStringLiteral("unix:tmpdir=") + QDir::tempPath());
    if (!server.isConnected()) {
        std::fprintf(stderr, "typelab-store: cannot listen: %s\n", qPrintable(server.lastError().message()));
        return 1;
    }
    // The forwarder of a build folder or a demo is this store's child; it talks to the store on
    // the same private socket, and ends with it.
    QProcess forwarder;
    forwarder.setProcessChannelMode(QProcess::ForwardedChannels);
    OutboxBusObject outbox(service, [&] {
        if (forwarder.state() == QProcess::NotRunning)
            forwarder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/typelab-forward"),
                            {QStringLiteral("--peer"), server.address(), service.places().serverFolder()});
    });
    QObject::connect(&server, &QDBusServer::newConnection, &app, [&](const QDBusConnection& connection) {
        QDBusConnection peer(connection);
        peer.registerObject(QString::fromLatin1(StoreProtocol::kObjectPath), &store, QDBusConnection::ExportAdaptors);
        peer.registerObject(QString::fromLatin1(StoreProtocol::kTestSeamsPath), &seams,
                            QDBusConnection::ExportAdaptors);
        peer.registerObject(QString::fromLatin1(StoreProtocol::kOutboxPath), &outbox, QDBusConnection::ExportAdaptors);
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });

    // A forwarder that ended in the middle of its work (killed, crashed) is started again for
    // what still waits; one that ended because all was sent starts again with the next entry.
    QObject::connect(&forwarder, &QProcess::finished, &outbox, [&outbox](int code, QProcess::ExitStatus how) {
        if (how == QProcess::CrashExit || code != 0)
            QTimer::singleShot(1000, &outbox, &OutboxBusObject::startIfWaiting);
    });

    std::printf("%s\n", qPrintable(server.address()));
    std::fflush(stdout);
    outbox.startIfWaiting();
    const int code = app.exec();
    forwarder.terminate();
    forwarder.waitForFinished(2000);
    return code;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    StoreProtocol::registerTypes();
    const QStringList args = app.arguments().mid(1);
    if (args == QStringList{QStringLiteral("--system")})
        return runOnSystemBus(app);
    if (args.size() == 2 && args[0] == QLatin1String("--peer"))
        return runForProgram(app, args[1]);
    return usage();
}
