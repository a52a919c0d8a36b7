#include "platform/startup_trace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

bool enabled()
{
    static const bool on = std::getenv("TYPELAB_STARTUP_TRACE") != nullptr;
    return on;
}

// The first Expose the window system sends, the first paint of any widget, and the moment that
// paint's repaint has ended (its picture handed to the window system), which is what a
// student sees as the first frame.
class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && !exposed_) {
            exposed_ = true;
            StartupTrace::mark("exposed");
        } else if (event->type() == QEvent::Paint) {
            StartupTrace::mark("painted");
            QCoreApplication::instance()->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                StartupTrace::mark("first paint sent");
                deleteLater();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool exposed_ = false;
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
