#pragma once
// One audio engine: an input bound to a device, started and stopped as a whole, with one tap that receives the
// input in blocks on the engine's audio thread. Control calls come from the main thread. Owned by the
// AudioCaptureManager, which replaces the engine with a fresh one when it needs to.
#include "audio/AudioDeviceMonitor.h"
#include "audio/AudioFormat.h"
#include "core/Subscription.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vokari {

class AudioEngine {
public:
    using TapBlock = std::function<void(const AudioInputBuffer&)>;
    virtual ~AudioEngine() = default;

    // Gets ready for a quick first start without opening the input (nothing records, nothing shows the microphone
    // as in use): connects to the sound server, for instance. Any thread; may wait on the server like start().
    virtual void prepare() {}
    // Whether the engine has an input unit that can be bound to a device at all.
    virtual bool hasInputUnit() const = 0;
    // Binds the input to a device for the next start. 0 on success, otherwise the platform's status code.
    virtual int bindInputDevice(AudioDeviceId device) = 0;
    // Starts the engine; on failure returns the platform's description of the error.
    virtual std::optional<std::string> start() = 0;
    // Stops the engine; harmless when it is not running.
    virtual void stop() = 0;
    // The format the running input delivers (rate 0 when not running).
    virtual AudioFormat inputFormat() const = 0;
    // Installs the tap for blocks of about `frames` input frames. On failure returns the failure's text (empty when
    // the platform gave none). The block runs on the audio thread until removeTap() returns.
    virtual std::optional<std::string> installTap(std::uint32_t frames, TapBlock block) = 0;
    // Hands what the input recorded since the tap's last block to the tap now, as one shorter block (nothing when
    // there is none), so a recording that stops keeps its last moment. Any thread; the block then runs on the
    // caller's thread, never at the same time as on the audio thread.
    virtual void flushTap() {}
    // Removes the tap; once it returns the block is not running and will not run again. Harmless without a tap.
    virtual void removeTap() = 0;
    // Calls fn (on any thread) whenever the engine's configuration changes under it: the device went away or was
    // switched, suspended, or changed its format. Until the subscription goes.
    [[nodiscard]] virtual Subscription observeConfigurationChanges(std::function<void()> fn) = 0;
};

} // namespace vokari
