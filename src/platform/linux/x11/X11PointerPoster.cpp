#include "platform/linux/x11/X11PointerPoster.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cmath>

namespace vokari::x11 {

X11PointerPoster::X11PointerPoster(std::shared_ptr<X11Connection> connection) : connection(std::move(connection)) {}

void X11PointerPoster::press(ScreenPoint point) {
    button(point, true);
}

void X11PointerPoster::release(ScreenPoint point) {
    button(point, false);
}

void X11PointerPoster::button(ScreenPoint point, bool down) {
    Display* dpy = connection->display();
    if (!dpy || !connection->hasXTest()) {
        return;
    }
    // Screen -1: the screen the pointer is on; coordinates are the X screen's, which the accessibility extents use.
    XTestFakeMotionEvent(dpy, -1, static_cast<int>(std::lround(point.x)), static_cast<int>(std::lround(point.y)),
                         CurrentTime);
    XTestFakeButtonEvent(dpy, 1, down ? True : False, CurrentTime);
    XFlush(dpy);
}

} // namespace vokari::x11
