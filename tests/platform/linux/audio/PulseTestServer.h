#pragma once
// A private PulseAudio server for integration tests: its own runtime directory and socket, a null sink "spk",
// two virtual microphones ("vmic" hears what is played to "micsink", 48 kHz stereo; "vmic2" hears "micsink2",
// 44.1 kHz mono) with vmic as the default source, and low-latency readers on both monitors so the null sinks do
// not stall a fresh capture. Every process it starts is stopped by its pid when it goes. Owned by one test.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vokari::testing {

class PulseTestServer {
public:
    PulseTestServer();
    ~PulseTestServer();
    PulseTestServer(const PulseTestServer&) = delete;
    PulseTestServer& operator=(const PulseTestServer&) = delete;

    // Starts (or restarts) the daemon and waits until both microphones exist. False with a reason in error().
    bool start();
    // Stops the daemon and the readers (SIGTERM, then SIGKILL), waiting for them to exit.
    void stop();

    // The daemon's process id (-1 when not running), e.g. to stop it with SIGSTOP as a hung server.
    pid_t daemonPid() const { return daemon; }
    // The value for PULSE_SERVER.
    std::string serverAddress() const;
    const std::filesystem::path& directory() const { return dir; }
    const std::string& error() const { return lastError; }

    // Starts a child with the server's environment; its output goes to the server's log. Returns its pid or -1.
    pid_t spawn(const std::vector<std::string>& argv);
    // Runs a child to completion (at most `timeout`) and returns its standard output, or nothing on failure.
    std::optional<std::string> run(const std::vector<std::string>& argv,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Stops a child started by spawn() and reaps it.
    static void terminate(pid_t pid);
    // Whether a child has exited (reaps it if so).
    static bool hasExited(pid_t pid);

private:
    std::vector<std::string> environment() const;
    pid_t spawnWithOutput(const std::vector<std::string>& argv, const std::filesystem::path& output);

    std::filesystem::path dir;
    pid_t daemon = -1;
    std::vector<pid_t> readers;
    std::string lastError;
};

} // namespace vokari::testing
