// typelab-forward: sends what waits in the store's outbox to the school server. It sees the
// outbox only through the store, and the bundle typelab-admin join installed; it never opens
// the grade database.
//
//   typelab-forward --system
//       On an installed machine: started by the system bus (through systemd where it runs, as
//       typelab-forward.service, whose sandbox shows it nothing of /var/lib/typelab but the
//       bundle) when the store has something to send; it ends after a while with nothing to do.
//   typelab-forward --peer ADDRESS BUNDLE_FOLDER
//       The forwarder of a build folder or a demo, started by the store as its child on the
//       store's private socket; it ends with the store.

#include "outbox1_proxy.h"
#include "school/bundle.h"
#include "school/forwarder.h"
#include "store/store_protocol.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

#ifndef TYPELAB_INSTALLED_STATE_FOLDER
#define TYPELAB_INSTALLED_STATE_FOLDER "/var/lib/typelab"
#endif

namespace {

int usage()
{
    std::fprintf(stderr, "usage: typelab-forward --system | typelab-forward --peer ADDRESS BUNDLE_FOLDER\n");
    return 2;
}

// Tests shorten the pauses and deadlines (milliseconds) through the environment.
Forwarder::Timing timing()
{
    Forwarder::Timing timing;
    const auto set = [](const char* name, int& value) {
        if (const int given = qEnvironmentVariableIntValue(name); given > 0)
            value = given;
    };
    set("TYPELAB_FORWARD_LONGEST_PAUSE", timing.longestPause);
    set("TYPELAB_FORWARD_CONNECT_DEADLINE", timing.deadlines.connect);
    set("TYPELAB_FORWARD_BATCH_DEADLINE", timing.deadlines.batch);
    timing.firstPause = qMin(timing.firstPause, timing.longestPause);
    return timing;
}

int forward(QCoreApplication& app, const QDBusConnection& store, const QString& storeName, const QString& bundle)
{
    Pg::ConnectionParameters server;
    try {
        server = Bundle::connection(bundle);
    } catch (const Pg::Error& error) {
        std::fprintf(stderr, "typelab-forward: the bundle in %s cannot be used: %s\n", qPrintable(bundle),
                     qPrintable(error.message()));
        return 1;
    }
    Outbox1Proxy outbox(storeName, QString::fromLatin1(StoreProtocol::kOutboxPath), store);
    Forwarder forwarder(outbox, server, timing());
    QObject::connect(&forwarder, &Forwarder::idle, &app, &QCoreApplication::quit);
    forwarder.start();
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    StoreProtocol::registerTypes();
    const QStringList args = app.arguments().mid(1);
    if (args == QStringList{QStringLiteral("--system")}) {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            std::fprintf(stderr, "typelab-forward: no system bus: %s\n", qPrintable(bus.lastError().message()));
            return 1;
        }
        // One forwarder a machine: another that already runs keeps the name.
        if (!bus.registerService(QString::fromLatin1(StoreProtocol::kForwarderName))) {
            std::fprintf(stderr, "typelab-forward: %s is running already\n", StoreProtocol::kForwarderName);
            return 0;
        }
        return forward(app, bus, QString::fromLatin1(StoreProtocol::kServiceName),
                       QStringLiteral(TYPELAB_INSTALLED_STATE_FOLDER "/server"));
    }
    if (args.size() == 3 && args[0] == QLatin1String("--peer")) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const QDBusConnection store = QDBusConnection::connectToPeer(args[1], QStringLiteral("store"));
        if (!store.isConnected()) {
            std::fprintf(stderr, "typelab-forward: cannot reach the store: %s\n",
                         qPrintable(store.lastError().message()));
            return 1;
        }
        return forward(app, store, QString(), args[2]);
    }
    return usage();
}
