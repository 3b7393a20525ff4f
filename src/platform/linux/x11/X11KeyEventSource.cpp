#include "platform/linux/x11/X11KeyEventSource.h"

#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11KeyTranslation.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace vokari::x11 {

namespace {
// Keys outside the translation table still count as "another key" for the hotkey; they get codes above the
// 16-bit virtual range that real keys use (0x8000 + X keycode), so they never match a hotkey.
constexpr std::uint16_t kUntranslatedBase = 0x8000;
} // namespace

X11KeyEventSource::X11KeyEventSource(std::string displayName) : name(std::move(displayName)) {}

X11KeyEventSource::~X11KeyEventSource() {
    onConnectionChanged = nullptr;
    onConnectionLost = nullptr;
    close();
}

bool X11KeyEventSource::open() {
    if (dpy && lost) {
        close();
    }
    if (dpy) {
        return true;
    }
    X11Connection::installErrorHandler();
    dpy = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!dpy) {
        return false;
    }
    lost = false;
    X11Connection::watchForLoss(dpy, &lost);
    if (onConnectionChanged) {
        onConnectionChanged(fd());
    }
    return true;
}

void X11KeyEventSource::close() {
    if (!dpy) {
        return;
    }
    // A lost display is left alone: closing it would only raise the I/O error again.
    if (!lost) {
        XCloseDisplay(dpy);
    }
    dpy = nullptr;
    xiOpcode = -1;
    down.reset();
    heldFlag.fill(0);
    if (onConnectionChanged) {
        onConnectionChanged(-1);
    }
}

int X11KeyEventSource::fd() const {
    return dpy ? ConnectionNumber(dpy) : -1;
}

bool X11KeyEventSource::isTrusted() {
    return open();
}

bool X11KeyEventSource::install(Handler h) {
    if (!open()) {
        return false;
    }
    int event = 0, error = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &xiOpcode, &event, &error)) {
        return false;
    }
    // Raw events reach a client without a grab only from XInput 2.1 on.
    int major = 2, minor = 2;
    if (XIQueryVersion(dpy, &major, &minor) != Success || (major == 2 && minor < 1)) {
        return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
    XSync(dpy, False);
    if (lost) {
        close();
        return false;
    }
    handler = std::move(h);
    dispatchPending();
    return true;
}

void X11KeyEventSource::remove() {
    handler = nullptr;
    if (dpy && !lost && xiOpcode >= 0) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
        XFlush(dpy);
    }
    down.reset();
    heldFlag.fill(0);
}

void X11KeyEventSource::dispatchPending() {
    while (dpy && !lost && XPending(dpy) > 0) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == MappingNotify) {
            XRefreshKeyboardMapping(&ev.xmapping);
            continue;
        }
        XGenericEventCookie* cookie = &ev.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode || !XGetEventData(dpy, cookie)) {
            continue;
        }
        if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            handleRaw(cookie->evtype, raw->detail);
        }
        XFreeEventData(dpy, cookie);
    }
    if (lost) {
        const bool wasInstalled = static_cast<bool>(handler);
        handler = nullptr;
        close();
        if (wasInstalled && onConnectionLost) {
            auto notify = onConnectionLost;
            notify();
        }
    }
}

void X11KeyEventSource::handleRaw(int evtype, int keycode) {
    if (keycode < 0 || keycode > 255) {
        return;
    }
    const auto sym = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(keycode), 0, 0);
    const std::uint16_t code =
        virtualKeyFromKeysym(sym).value_or(static_cast<std::uint16_t>(kUntranslatedBase + keycode));
    const std::uint64_t modifier = modifierFlagForKeysym(sym);
    const auto index = static_cast<std::size_t>(keycode);

    if (evtype == XI_RawKeyPress) {
        const bool repeat = down.test(index);
        down.set(index);
        if (modifier != 0) {
            if (!repeat) {
                heldFlag[index] = modifier;
                deliver(KeyEventType::flagsChanged, code);
            }
        } else {
            // Held ordinary keys repeat as key-downs, as the hotkey logic expects of a key stream.
            deliver(KeyEventType::keyDown, code);
        }
        return;
    }
    if (!down.test(index)) {
        return; // the repeated copy of a release
    }
    down.reset(index);
    const bool wasModifier = heldFlag[index] != 0;
    heldFlag[index] = 0;
    deliver(wasModifier ? KeyEventType::flagsChanged : KeyEventType::keyUp, code);
}

void X11KeyEventSource::deliver(KeyEventType type, std::uint16_t code) {
    std::uint64_t flags = 0;
    for (auto f : heldFlag) {
        flags |= f;
    }
    if (handler) {
        auto h = handler; // the handler may remove itself
        h(KeyEvent{type, code, flags});
    }
}

} // namespace vokari::x11
