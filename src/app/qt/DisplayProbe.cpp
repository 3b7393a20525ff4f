#include "app/qt/DisplayProbe.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace vokari {

std::optional<std::string> DisplayProbe::problem() {
    return problemFor(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), &DisplayProbe::canOpenX11);
}

std::optional<std::string> DisplayProbe::problemFor(const char* display, const char* waylandDisplay,
                                                    bool (*canOpen)(const char* display)) {
    if (!display || !*display) {
        if (waylandDisplay && *waylandDisplay) {
            return std::string("no X display: DISPLAY is not set, and Vokari needs X11 (or XWayland) for its "
                               "hotkey and paste");
        }
        return std::string("no display: DISPLAY is not set — start Vokari from a desktop session");
    }
    if (!canOpen(display)) {
        return "cannot open the X display \"" + std::string(display) + "\" — start Vokari from a desktop session";
    }
    return std::nullopt;
}

bool DisplayProbe::canOpenX11(const char* display) {
    Display* dpy = XOpenDisplay(display);
    if (!dpy) {
        return false;
    }
    XCloseDisplay(dpy);
    return true;
}

} // namespace vokari
