#pragma once
// A private desktop for integration tests: Xvfb on a free display (-displayfd), a D-Bus session bus, openbox
// as the EWMH window manager and a PulseAudio server whose default sink "spk" is a null sink. start() exports
// DISPLAY, DBUS_SESSION_BUS_ADDRESS, PULSE_SERVER, XDG_RUNTIME_DIR and XDG_CACHE_HOME to this process
// (children inherit them); stop() ends every process it started, by pid. Owned by the test.
#include "ChildProcess.h"

#include <filesystem>
#include <functional>
#include <string>

namespace vokari::testing {

class X11TestDesktop {
public:
    ~X11TestDesktop() { stop(); }
    // Empty string on success, else what failed.
    std::string start();
    void stop();
    const std::string& display() const { return displayName; }
    bool windowManagerRunning() { return openbox.running(); }

private:
    std::string startPulse();
    ChildProcess xvfb;
    ChildProcess dbus;
    ChildProcess openbox;
    ChildProcess pulse;
    std::string displayName;
    std::filesystem::path runtimeDir;
};

// Whether an X server answers on display.
bool displayAnswers(const std::string& display);

// Calls `step` until `done` holds or `timeout` passes (real time); returns whether `done` held.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& step = {});

} // namespace vokari::testing
