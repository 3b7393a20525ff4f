#include "ui/CompositingProbe.h"

#include <QGuiApplication>

#include <string>

// Xlib last: its macros (None, Bool, Status) clash with Qt's names.
#include <X11/Xlib.h>

namespace vokari {

bool compositingManagerRunning() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) {
        // Wayland's server is the compositor; the offscreen platform composites nothing.
        return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    }
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom atom = XInternAtom(display, selection.c_str(), False);
    return XGetSelectionOwner(display, atom) != 0;
}

} // namespace vokari
