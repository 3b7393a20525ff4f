#pragma once
// Posts synthetic key presses to whatever window has the focus. Keys and modifiers are core's virtual key codes
// and event-flag bits (desktop/VirtualKeys.h); the platform maps Command to its shortcut modifier (Control on
// X11). Main thread. Implemented by the platform layer (XTest on X11); tests record the chords.
#include <cstdint>

namespace vokari {

class InputSynthesizer {
public:
    virtual ~InputSynthesizer() = default;
    // Presses and releases keyCode with exactly the modifiers in flags held. False when the events cannot be
    // made (no connection, no key for the code); nothing is posted then.
    virtual bool postKey(std::uint16_t keyCode, std::uint64_t flags) = 0;
};

} // namespace vokari
