#pragma once
// A private desktop for integration tests: Xvfb on a free display (-displayfd), a D-Bus session bus, openbox as
// the EWMH window manager and a PulseAudio server whose default sink "spk" is a null sink. start() exports
// DISPLAY, DBUS_SESSION_BUS_ADDRESS, PULSE_SERVER and XDG_* to this process (children inherit them); every
// process it started ends by its pid with the object. Owned by the test.
#include "ChildProcess.h"
#include "TestPulseServer.h"

#include <string>

namespace vokari::testing {

class X11TestDesktop {
public:
    // Empty string on success, else what failed.
    std::string start();
    bool windowManagerRunning() { return openbox.running(); }

private:
    ChildProcess xvfb;
    ChildProcess dbus;
    TestPulseServer pulse{"load-module module-null-sink sink_name=spk\nset-default-sink spk\n", "spk.monitor"};
    ChildProcess openbox;
};

// Whether an X server answers on display.
bool displayAnswers(const std::string& display);
// Starts Xvfb on `display` (e.g. ":617") and waits until it answers.
bool startXvfb(ChildProcess& server, const std::string& display);

} // namespace vokari::testing
