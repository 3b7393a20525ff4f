#include "platform/linux/x11/X11Connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace vokari::x11 {

namespace {
int quietErrorHandler(Display*, XErrorEvent*) {
    // Windows come and go between our requests; a failed request reads as "no value" to the caller.
    return 0;
}

int returningIoErrorHandler(Display*) {
    // Xlib's default prints and exits here; returning hands over to the display's exit handler, which is ours
    // on our connections (markLost) and Xlib's exit() on any other.
    return 0;
}

void markLost(Display*, void* flag) {
    // Returning (instead of exiting, Xlib's default) leaves the display unusable; the owner drops it.
    *static_cast<bool*>(flag) = true;
}
} // namespace

void X11Connection::installErrorHandler() {
    static const bool installed = [] {
        XSetErrorHandler(quietErrorHandler);
        XSetIOErrorHandler(returningIoErrorHandler);
        return true;
    }();
    (void)installed;
}

void X11Connection::watchForLoss(_XDisplay* display, bool* lostFlag) {
    XSetIOErrorExitHandler(display, markLost, lostFlag);
}

X11Connection::X11Connection(std::string displayName) : name(std::move(displayName)) {}

X11Connection::~X11Connection() {
    // A lost display is left alone: closing it would only raise the I/O error again.
    if (dpy && !lost) {
        XCloseDisplay(dpy);
    }
}

_XDisplay* X11Connection::display() {
    if (lost) {
        dpy = nullptr;
        lost = false;
        xtest = -1;
        atoms.clear();
    }
    if (!dpy) {
        installErrorHandler();
        dpy = XOpenDisplay(name.empty() ? nullptr : name.c_str());
        if (dpy) {
            watchForLoss(dpy, &lost);
        }
    }
    return dpy;
}

std::uint64_t X11Connection::rootWindow() {
    auto* d = display();
    return d ? DefaultRootWindow(d) : 0;
}

std::uint64_t X11Connection::atom(const char* atomName) {
    auto* d = display();
    if (!d) {
        return 0;
    }
    auto it = atoms.find(atomName);
    if (it != atoms.end()) {
        return it->second;
    }
    Atom a = XInternAtom(d, atomName, False);
    atoms.emplace(atomName, a);
    return a;
}

bool X11Connection::hasXTest() {
    auto* d = display();
    if (!d) {
        return false;
    }
    if (xtest < 0) {
        int event = 0, error = 0, major = 0, minor = 0;
        xtest = XTestQueryExtension(d, &event, &error, &major, &minor) ? 1 : 0;
    }
    return xtest == 1;
}

} // namespace vokari::x11
