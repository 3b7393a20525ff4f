#pragma once
// A private PulseAudio daemon for integration tests: its own directory and socket and the modules the test
// names; start() exports PULSE_SERVER and XDG_RUNTIME_DIR to this process (children inherit them). Low-latency
// readers drain the given monitors, so null sinks do not stall a fresh capture. Restartable; the daemon and the
// readers are stopped by their pids. Owned by one test.
#include "ChildProcess.h"

#include <memory>
#include <string>
#include <vector>

namespace vokari::testing {

class TestPulseServer {
public:
    // `modules`: server.pa lines after the native protocol; start() waits until `readySource` exists.
    TestPulseServer(const std::string& modules, std::string readySource, std::vector<std::string> drained = {});
    // Starts (or restarts) the daemon; empty on success, else what failed.
    std::string start();
    void stop();
    pid_t daemonPid() const { return daemon.pid(); }
    const std::filesystem::path& directory() const { return dir.path; }

private:
    TempDir dir{"vokari-pulse"};
    std::string readySource;
    std::vector<std::string> drained;
    ChildProcess daemon;
    std::vector<std::unique_ptr<ChildProcess>> readers;
};

} // namespace vokari::testing
