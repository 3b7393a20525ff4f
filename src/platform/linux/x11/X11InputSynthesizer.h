#pragma once
// Synthetic key chords through XTest: the modifiers are pressed, the key pressed and released, the modifiers
// released. Command maps to Control (the shortcut modifier on Linux desktops). Main thread. Owned by the app.
#include "desktop/InputSynthesizer.h"
#include "platform/linux/x11/X11Connection.h"

#include <memory>

namespace vokari::x11 {

class X11InputSynthesizer : public InputSynthesizer {
public:
    explicit X11InputSynthesizer(std::shared_ptr<X11Connection> connection);
    bool postKey(std::uint16_t keyCode, std::uint64_t flags) override;

private:
    std::shared_ptr<X11Connection> connection;
};

} // namespace vokari::x11
