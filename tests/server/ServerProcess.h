#pragma once
// Starts the real vokari-server executable for a test and stops it by its process id, also when the test
// fails (the destructor kills it). Used on the test thread only.

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vokari::server::test {

class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> args);
    ~ServerProcess();

    // Waits for the "listening on" line; the port, or nullopt when the process exited or timed out.
    std::optional<int> waitUntilListening(int timeoutMs = 20000);
    // Waits for the process to exit by itself (after SIGTERM when `terminate`); its exit code, -1 on time-out.
    int waitExit(int timeoutMs = 20000, bool terminate = false);
    int terminate() { return waitExit(30000, true); }
    // SIGKILL, as a crash or the OOM killer would end it; returns once the process is gone.
    void kill();
    pid_t pid() const { return pid_; }
    // Everything the process wrote to stdout and stderr so far.
    std::string output() const;

private:
    bool reaped(); // true once the process has exited (collects its exit code)

    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool exited_ = false;
    std::filesystem::path outPath_;
};

// A fresh path under the temporary directory (not created).
std::filesystem::path uniquePath(const std::string& stem);

// Synthesises `text` with flite's slt voice as 16 kHz mono 16-bit WAV (via sox); empty on failure.
std::string fliteWav(const std::string& text);

} // namespace vokari::server::test
