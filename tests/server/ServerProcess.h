#pragma once
// Starts the real vokari-server executable for a test and stops it by its process id, also when the test
// fails (the destructor kills it). Used on the test thread only.

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vokari::test {

class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> args);
    ~ServerProcess();

    // Waits for the "listening on" line; the port, or nullopt when the process exited or timed out.
    std::optional<int> waitUntilListening(int timeoutMs = 20000);
    // Sends SIGTERM and waits; the exit code (-1 when it had to be killed).
    int terminate(int timeoutMs = 30000);
    // Waits for the process to exit by itself; its exit code, or -1 on time-out.
    int waitExit(int timeoutMs = 20000);

    std::string stdoutText() const;
    std::string stderrText() const;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool exited_ = false;
    std::filesystem::path outPath_, errPath_;
};

// Synthesises `text` with flite's slt voice and converts it to 16 kHz mono 16-bit with sox.
std::string fliteWav(const std::string& text);

// Runs a shell command; true when it exited with 0.
bool runCommand(const std::string& command);

} // namespace vokari::test
