#include "platform/display_mode.h"

#include <QGuiApplication>
#include <QScreen>

#ifdef TYPELAB_HAVE_XRANDR
#include <QtGui/qguiapplication_platform.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <cstdlib>
#endif

namespace DisplayMode {
namespace {
QSize saved;
bool changed = false;
#ifdef TYPELAB_HAVE_XRANDR
int savedSizeIndex = -1;
short savedRate = 0;
Rotation savedRotation = RR_Rotate_0;

Display* x11Display()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

bool applyConfig(Display* display, int sizeIndex, short rate, Rotation rotation)
{
    const Window root = DefaultRootWindow(display);
    XRRScreenConfiguration* config = XRRGetScreenInfo(display, root);
    if (!config)
        return false;
    const Status status = rate > 0
        ? XRRSetScreenConfigAndRate(display, config, root, sizeIndex, rotation, rate, CurrentTime)
        : XRRSetScreenConfig(display, config, root, sizeIndex, rotation, CurrentTime);
    XRRFreeScreenConfigInfo(config);
    XSync(display, False);
    return status == RRSetConfigSuccess;
}
#endif
} // namespace

QSize currentSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

void save()
{
    saved = currentSize();
#ifdef TYPELAB_HAVE_XRANDR
    if (Display* display = x11Display()) {
        XRRScreenConfiguration* config = XRRGetScreenInfo(display, DefaultRootWindow(display));
        if (config) {
            savedSizeIndex = XRRConfigCurrentConfiguration(config, &savedRotation);
            savedRate = XRRConfigCurrentRate(config);
            XRRFreeScreenConfigInfo(config);
        }
    }
#endif
}

QSize savedSize()
{
    return saved;
}

bool change(int width, int height, int hz)
{
#ifdef TYPELAB_HAVE_XRANDR
    Display* display = x11Display();
    if (!display)
        return false;
    XRRScreenConfiguration* config = XRRGetScreenInfo(display, DefaultRootWindow(display));
    if (!config)
        return false;
    int sizeCount = 0;
    XRRScreenSize* sizes = XRRConfigSizes(config, &sizeCount);
    int wanted = -1;
    for (int i = 0; i < sizeCount; ++i)
        if (sizes[i].width == width && sizes[i].height == height)
            wanted = i;
    short bestRate = 0;
    if (wanted >= 0) {
        int rateCount = 0;
        short* rates = XRRConfigRates(config, wanted, &rateCount);
        for (int i = 0; i < rateCount; ++i)
            if (bestRate == 0 || std::abs(rates[i] - hz) < std::abs(bestRate - hz))
                bestRate = rates[i];
    }
    XRRFreeScreenConfigInfo(config);
    if (wanted < 0)
        return false;
    if (!applyConfig(display, wanted, bestRate, savedRotation))
        return false;
    changed = true;
    return true;
#else
    Q_UNUSED(width)
    Q_UNUSED(height)
    Q_UNUSED(hz)
    return false;
#endif
}

void restore()
{
    if (!changed)
        return;
    changed = false;
#ifdef TYPELAB_HAVE_XRANDR
    if (Display* display = x11Display(); display && savedSizeIndex >= 0)
        applyConfig(display, savedSizeIndex, savedRate, savedRotation);
#endif
}

} // namespace DisplayMode
