#pragma once
// The sound server's sources as input devices: the default source's index, a source's description as its name,
// and default-source changes from a server subscription, delivered on the main queue. Reconnects by itself when
// the server goes away and comes back. Queries on the main thread. Shared by the AudioCaptureManager and its
// creator; create() only, since queued notifications hold it weakly.
#include "audio/AudioDeviceMonitor.h"
#include "core/MainQueue.h"
#include "platform/linux/audio/PulseConnection.h"

#include <memory>
#include <mutex>
#include <string>

namespace vokari::platform_linux {

class PulseDeviceMonitor : public AudioDeviceMonitor, public std::enable_shared_from_this<PulseDeviceMonitor> {
public:
    static std::shared_ptr<PulseDeviceMonitor> create(MainQueue& queue);
    ~PulseDeviceMonitor() override;

    // PA_INVALID_INDEX when no server or no default source.
    AudioDeviceId defaultInputDevice() override;
    std::optional<std::string> deviceName(AudioDeviceId device) override;
    Subscription addDefaultDeviceListener(std::function<void()> fn) override;

    // The default source's name as last seen (empty when unknown). Main thread.
    std::string defaultSourceName();

private:
    explicit PulseDeviceMonitor(MainQueue& queue);
    bool ensureConnected();                             // main thread, without the lock
    std::optional<std::string> readDefaultSourceName(); // lock held
    void defaultMayHaveChanged();                       // loop thread, lock held
    void scheduleReconnect();                           // any thread
    void fireListeners();                               // main queue

    static void subscriptionCallback(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                                     void* userdata);

    MainQueue& queue;
    PulseConnection connection;
    std::uint64_t subscribedGeneration = 0;
    std::string lastDefaultName;   // guarded by the loop lock
    bool reconnectPending = false; // main thread

    std::mutex listenerMutex;
    std::function<void()> listener;
    std::uint64_t listenerId = 0;
};

} // namespace vokari::platform_linux
