#pragma once
// The system's input devices as the capture logic needs them: which one is the default, its display name, and
// a listener for changes of the default. Queries are called on the main thread; listeners are called on the main
// queue. Implemented per platform; shared by the AudioCaptureManager and whoever created it.
#include "core/Subscription.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vokari {

using AudioDeviceId = std::uint32_t;

class AudioDeviceMonitor {
public:
    virtual ~AudioDeviceMonitor() = default;

    // The current default input device, or the platform's "no device" identifier when it cannot be read.
    virtual AudioDeviceId defaultInputDevice() = 0;
    // The display name of a device; nothing when the device is unknown or the name cannot be read.
    virtual std::optional<std::string> deviceName(AudioDeviceId device) = 0;
    // Calls fn on the main queue each time the default input device changes, until the subscription goes.
    [[nodiscard]] virtual Subscription addDefaultDeviceListener(std::function<void()> fn) = 0;
};

} // namespace vokari
