#pragma once
// Translates X11 keysyms to core's virtual key codes and back, and names the modifier bit a keysym holds.
// Modifiers, Escape, Return, F-keys, letters, digits and the common editing keys are covered; keys outside the
// table have no virtual code. Pure functions, any thread. (The settings view's key recorder can use them too:
// on X11 QKeyEvent::nativeVirtualKey() is the keysym.)
#include <cstdint>
#include <optional>

namespace vokari::x11 {

std::optional<std::uint16_t> virtualKeyFromKeysym(unsigned long keysym);
// The keysym whose key produces the virtual code on a US layout (lower-case letters, left-hand modifiers).
std::optional<unsigned long> keysymFromVirtualKey(std::uint16_t keyCode);
// The event-flag bit (desktop/VirtualKeys.h) set while a key with this keysym is held; 0 for ordinary keys.
// Super is Command, Alt and AltGr (ISO_Level3_Shift) are Option, Control is Control.
std::uint64_t modifierFlagForKeysym(unsigned long keysym);

} // namespace vokari::x11
