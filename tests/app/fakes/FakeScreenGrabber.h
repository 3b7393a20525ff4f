#pragma once
// Test double of the screen capture: returns `screenshot` (nothing = capture failed) and counts the calls.
#include "command/ScreenGrabber.h"

namespace vokari::fakes {

class FakeScreenGrabber : public ScreenGrabber {
public:
    std::optional<std::string> screenshot = "iVBORw0KGgo=";
    int captureCount = 0;

    std::optional<std::string> captureScreenBase64() override {
        ++captureCount;
        return screenshot;
    }
};

} // namespace vokari::fakes
