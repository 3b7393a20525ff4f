#pragma once
// One connection to the sound server: a libpulse threaded main loop and a context on it, with blocking helpers
// for the control thread (connect, wait for an operation) bounded by time-outs. Control calls come from the main
// thread; libpulse callbacks run on the loop's own thread with the loop lock held. Owned by one engine or monitor.
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vokari::platform_linux {

class PulseConnection {
public:
    explicit PulseConnection(std::string clientName);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Holds the loop lock (recursive) for a scope; every use of context() and of streams needs it.
    class Lock {
    public:
        explicit Lock(PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop;
    };

    // Makes sure the context is connected, replacing a failed one. Returns the server's error text on failure.
    // Call without the lock.
    std::optional<std::string> connect(double timeoutSeconds);
    // Drops the context (cancelling its operations, so no callback runs afterwards). Call without the lock.
    void disconnect();
    // With the lock held: whether the context is connected, and its error text.
    bool isReady() const;
    std::string lastError() const;
    // Increases each time a new context connects, so users can redo per-context set-up (subscriptions).
    std::uint64_t contextGeneration() const { return generation; }

    pa_context* context() const { return ctx; }
    pa_threaded_mainloop* loop() const { return mainloop; }
    // Wakes the waiter in waitUntil(); for libpulse callbacks.
    void signal();

    // With the lock held: waits until done() holds or the time-out passes; false on time-out.
    // A time-out marks the sound server as stalled for a few seconds, for every connection of the process:
    // meanwhile connect() and the waits fail at once instead of each blocking the main thread again.
    bool waitUntil(const std::function<bool()>& done, double timeoutSeconds);
    // With the lock held: waits for an operation to finish (or be cancelled) and releases it; false on time-out.
    bool await(pa_operation* operation, double timeoutSeconds);

    // Whether a wait timed out within the last stallHoldOffSeconds; and how many waits have timed out so far.
    static bool serverStalled();
    static std::uint64_t timedOutWaits();
    static constexpr double stallHoldOffSeconds = 3.0;

    // Called on the loop thread (lock held) when a connected context fails or is terminated by the server.
    std::function<void()> onConnectionLost;

private:
    static void contextStateCallback(pa_context* context, void* userdata);
    void dropContext();

    std::string clientName;
    pa_threaded_mainloop* mainloop = nullptr;
    pa_context* ctx = nullptr;
    bool wasReady = false;
    std::uint64_t generation = 0;
};

} // namespace vokari::platform_linux
