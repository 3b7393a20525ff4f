#include "platform/linux/x11/X11Workspace.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

namespace vokari::x11 {

namespace {
// Reads a property as a list of 32-bit items (Xlib hands them over as longs); nullopt when absent.
std::optional<std::vector<unsigned long>> readLongs(Display* dpy, Window w, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    int rc = XGetWindowProperty(dpy, w, property, 0, 4096, False, type, &actualType, &format, &count, &after, &data);
    if (rc != Success || actualType != type || format != 32 || !data) {
        if (data) {
            XFree(data);
        }
        return std::nullopt;
    }
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    std::vector<unsigned long> out(items, items + count);
    XFree(data);
    return out;
}

std::optional<std::string> readString(Display* dpy, Window w, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    int rc = XGetWindowProperty(dpy, w, property, 0, 1024, False, type, &actualType, &format, &count, &after, &data);
    std::optional<std::string> out;
    if (rc == Success && actualType == type && format == 8 && data) {
        out = std::string(reinterpret_cast<const char*>(data), count);
    }
    if (data) {
        XFree(data);
    }
    return out;
}
} // namespace

X11Workspace::X11Workspace(std::shared_ptr<X11Connection> connection) : connection(std::move(connection)) {}

std::uint64_t X11Workspace::activeWindow() {
    Display* dpy = connection->display();
    if (!dpy) {
        return 0;
    }
    auto v = readLongs(dpy, connection->rootWindow(), connection->atom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
    return (v && !v->empty()) ? (*v)[0] : 0;
}

std::optional<std::vector<std::uint64_t>> X11Workspace::clientList() {
    Display* dpy = connection->display();
    if (!dpy) {
        return std::nullopt;
    }
    auto v = readLongs(dpy, connection->rootWindow(), connection->atom("_NET_CLIENT_LIST"), XA_WINDOW);
    if (!v) {
        return std::nullopt;
    }
    return std::vector<std::uint64_t>(v->begin(), v->end());
}

std::optional<RunningApp> X11Workspace::describe(std::uint64_t window) {
    Display* dpy = connection->display();
    if (!dpy || window == 0) {
        return std::nullopt;
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy, window, &attributes)) {
        return std::nullopt;
    }
    RunningApp app;
    app.windowId = window;
    if (auto pid = readLongs(dpy, window, connection->atom("_NET_WM_PID"), XA_CARDINAL); pid && !pid->empty()) {
        app.pid = static_cast<std::int64_t>((*pid)[0]);
    }
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(dpy, window, &hint)) {
        if (hint.res_class) {
            app.windowClass = hint.res_class;
            XFree(hint.res_class);
        }
        if (hint.res_name) {
            XFree(hint.res_name);
        }
    }
    app.localizedName = readString(dpy, window, connection->atom("_NET_WM_NAME"), connection->atom("UTF8_STRING"));
    if (!app.localizedName) {
        app.localizedName = readString(dpy, window, XA_WM_NAME, XA_STRING);
    }
    return app;
}

std::optional<RunningApp> X11Workspace::frontmostApplication() {
    return describe(activeWindow());
}

bool X11Workspace::isTerminated(const RunningApp& app) {
    Display* dpy = connection->display();
    if (!dpy) {
        return true;
    }
    if (auto clients = clientList()) {
        if (std::find(clients->begin(), clients->end(), app.windowId) == clients->end()) {
            return true;
        }
    }
    auto now = describe(app.windowId);
    // Window ids are reused; a window of another process is not the application we were given.
    return !now || (app.pid != 0 && now->pid != 0 && now->pid != app.pid);
}

void X11Workspace::activate(const RunningApp& app) {
    Display* dpy = connection->display();
    if (!dpy) {
        return;
    }
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = app.windowId;
    ev.xclient.message_type = connection->atom("_NET_ACTIVE_WINDOW");
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 2; // source: a pager-like tool acting for the user, so focus stealing rules allow it
    ev.xclient.data.l[1] = CurrentTime;
    ev.xclient.data.l[2] = static_cast<long>(activeWindow());
    XSendEvent(dpy, connection->rootWindow(), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy);
}

bool X11Workspace::isActive(const RunningApp& app) {
    return app.windowId != 0 && activeWindow() == app.windowId;
}

std::vector<RunningApp> X11Workspace::runningApplications() {
    std::vector<RunningApp> out;
    if (auto clients = clientList()) {
        for (auto w : *clients) {
            if (auto app = describe(w)) {
                out.push_back(std::move(*app));
            }
        }
    }
    return out;
}

} // namespace vokari::x11
