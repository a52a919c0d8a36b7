#include "platform/signal_guard.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace SignalGuard {
namespace {
int pipeFds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the event loop reads the byte and quits.
    [[maybe_unused]] auto written = ::write(pipeFds[0], &byte, 1);
}
} // namespace

void install()
{
    if (pipeFds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeFds) != 0)
        return;
    auto* notifier = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte;
        [[maybe_unused]] auto got = ::read(pipeFds[1], &byte, 1);
        QCoreApplication::exit(130);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace SignalGuard
