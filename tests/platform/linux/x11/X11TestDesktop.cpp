#include "X11TestDesktop.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <thread>

namespace vokari::testing {

bool displayAnswers(const std::string& display) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (dpy) {
        XCloseDisplay(dpy);
    }
    return dpy != nullptr;
}

bool startXvfb(ChildProcess& server, const std::string& display) {
    return server.start({"Xvfb", display, "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset"}) &&
           waitUntil([&] { return displayAnswers(display) || !server.running(); }, std::chrono::seconds(10)) &&
           server.running();
}

namespace {
bool hasWindowManager(const std::string& display) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) {
        return false;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool ok = XGetWindowProperty(dpy, DefaultRootWindow(dpy), XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False), 0, 1,
                                 False, AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
              count == 1;
    if (data) {
        XFree(data);
    }
    XCloseDisplay(dpy);
    return ok;
}
} // namespace

std::string X11TestDesktop::start() {
    // openbox keeps a log under the cache directory: keep it out of the real home.
    ::setenv("XDG_CACHE_HOME", (pulse.directory() / "cache").c_str(), 1);
    // Servers started at the same moment by parallel tests can race for one display number; the loser exits
    // after reporting it. Only a server that is still running and answers counts.
    std::string display;
    for (int attempt = 0; attempt < 5 && display.empty(); ++attempt) {
        if (!xvfb.start({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"},
                        3)) {
            return "cannot start Xvfb";
        }
        auto number = xvfb.read(std::chrono::seconds(15));
        if (number && !number->empty() &&
            waitUntil([&] { return displayAnswers(":" + *number) || !xvfb.running(); }, std::chrono::seconds(10)) &&
            xvfb.running()) {
            display = ":" + *number;
        }
    }
    if (display.empty()) {
        return "Xvfb did not come up";
    }
    ::setenv("DISPLAY", display.c_str(), 1);
    auto address = dbus.start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=3"}, 3)
                       ? dbus.read(std::chrono::seconds(10))
                       : std::nullopt;
    if (!address || address->empty()) {
        return "dbus-daemon did not report an address";
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
    if (auto error = pulse.start(); !error.empty()) {
        return error;
    }
    // -noreset above matters here: without it Xvfb resets itself when its last client (the probe above) leaves
    // and refuses connections meanwhile. openbox is still given a few tries in case it starts in such a gap.
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (openbox.start({"openbox", "--sm-disable"}) &&
            waitUntil([&] { return hasWindowManager(display) || !openbox.running(); }, std::chrono::seconds(15)) &&
            hasWindowManager(display)) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return "openbox did not take over the display " + display;
}

} // namespace vokari::testing
