#pragma once
// Checks, before the toolkit starts, that an X display can be reached: Qt aborts the process without one, and
// the hotkey, the clipboard and the paste chord all need X11 (XWayland on a Wayland session).
// Main thread, once at start-up. Stateless.
#include <optional>
#include <string>

namespace vokari {

class DisplayProbe {
public:
    // Nothing when the display answers; otherwise one line saying what is missing.
    static std::optional<std::string> problem();
    // The same decision for given variables, without opening anything when DISPLAY is unset.
    static std::optional<std::string> problemFor(const char* display, const char* waylandDisplay,
                                                 bool (*canOpen)(const char* display));
    static bool canOpenX11(const char* display);
};

} // namespace vokari
