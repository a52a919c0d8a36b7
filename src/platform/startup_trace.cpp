#include "platform/startup_trace.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

bool enabled()
{
    static const bool on = std::getenv("TYPELAB_STARTUP_TRACE") != nullptr;
    return on;
}

class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            StartupTrace::mark("painted");
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

namespace StartupTrace {

void mark(const char* name)
{
    if (!enabled())
        return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "startup %s %lld\n", name, static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec);
}

void watchFirstPaint()
{
    if (enabled())
        QCoreApplication::instance()->installEventFilter(new FirstPaint);
}

} // namespace StartupTrace
