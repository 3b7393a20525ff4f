#pragma once
// Synthetic keyboard input for commands, posted to whatever window has the focus. Main thread. The platform
// implements it (XTest on X11).
#include <cstdint>
#include <string>

namespace vokari {

class KeyPoster {
public:
    virtual ~KeyPoster() = default;
    // Types one user-perceived character (UTF-8, possibly several code points) with no modifiers held.
    // False when it could not be posted.
    virtual bool typeCharacter(const std::string& character) = 0;
    // Presses and releases the virtual key (desktop/VirtualKeys.h codes) with exactly the flags held; the platform
    // maps Command to its shortcut modifier. False when nothing could be posted.
    virtual bool pressKey(std::uint16_t keyCode, std::uint64_t flags) = 0;
};

} // namespace vokari
