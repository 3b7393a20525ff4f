#pragma once
// A child process started for a test: fork + exec, killed with the test process if that dies (PDEATHSIG), and
// stopped by its pid (SIGTERM, then SIGKILL) when the object goes away. Optionally hands the child the write
// end of a pipe as fd 3 and reads one line from it (Xvfb -displayfd, dbus-daemon --print-address).
#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vokari::testing {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched in PATH). With lineOnFd3, the child's fd 3 is a pipe the test reads.
    bool start(const std::vector<std::string>& argv, bool lineOnFd3 = false);
    // The first line the child wrote to fd 3, without the newline; nullopt on time-out or end of file.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    bool running();
    void stop();
    pid_t pid() const { return childPid; }

private:
    pid_t childPid = -1;
    int readFd = -1;
};

// Runs a command to completion (for xte); true when it exited with 0.
bool runCommand(const std::vector<std::string>& argv);

} // namespace vokari::testing
