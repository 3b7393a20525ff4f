#include "platform/linux/x11/X11InputSynthesizer.h"

#include "desktop/VirtualKeys.h"
#include "platform/linux/x11/X11KeyTranslation.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <vector>

namespace vokari::x11 {

X11InputSynthesizer::X11InputSynthesizer(std::shared_ptr<X11Connection> connection)
    : connection(std::move(connection)) {}

bool X11InputSynthesizer::postKey(std::uint16_t keyCode, std::uint64_t flags) {
    Display* dpy = connection ? connection->display() : nullptr;
    if (!dpy || !connection->hasXTest()) {
        return false;
    }
    auto sym = keysymFromVirtualKey(keyCode);
    KeyCode key = sym ? XKeysymToKeycode(dpy, *sym) : 0;
    if (key == 0) {
        return false;
    }
    // Command and Control both become Control; a chord holds each X modifier once.
    std::vector<KeySym> modifierSyms;
    if (flags & (eventFlag::command | eventFlag::control)) {
        modifierSyms.push_back(XK_Control_L);
    }
    if (flags & eventFlag::shift) {
        modifierSyms.push_back(XK_Shift_L);
    }
    if (flags & eventFlag::option) {
        modifierSyms.push_back(XK_Alt_L);
    }
    std::vector<KeyCode> modifiers;
    for (auto s : modifierSyms) {
        KeyCode code = XKeysymToKeycode(dpy, s);
        if (code == 0) {
            return false;
        }
        modifiers.push_back(code);
    }
    for (auto m : modifiers) {
        XTestFakeKeyEvent(dpy, m, True, CurrentTime);
    }
    XTestFakeKeyEvent(dpy, key, True, CurrentTime);
    XTestFakeKeyEvent(dpy, key, False, CurrentTime);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        XTestFakeKeyEvent(dpy, *it, False, CurrentTime);
    }
    XFlush(dpy);
    return true;
}

} // namespace vokari::x11
