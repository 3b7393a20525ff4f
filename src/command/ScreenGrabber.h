#pragma once
// Captures the main display for a command request, as Base64 text; nothing when it cannot. Main thread.
#include <optional>
#include <string>

namespace vokari {

class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;
    virtual std::optional<std::string> captureScreenBase64() = 0;
};

} // namespace vokari
