#pragma once
// Processes for the Linux integration tests: a child started with fork + exec that dies with the test process
// (PDEATHSIG) and is stopped by its pid (SIGTERM, then SIGKILL) when the object goes, commands run to completion,
// and real-time waits. Test thread only; every object is owned by one test.
#include <chrono>
#include <filesystem>
#include <functional>
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

    // Starts argv[0] from PATH. With pipeFd >= 0 the child's fd `pipeFd` is a pipe the test reads (Xvfb -displayfd,
    // dbus-daemon --print-address, a command's stdout); other output is appended to `log`, or dropped.
    bool start(const std::vector<std::string>& argv, int pipeFd = -1, const std::filesystem::path& log = {});
    // The pipe's first line (without the newline), or with wholeOutput all of it until it closes.
    std::optional<std::string> read(std::chrono::milliseconds timeout, bool wholeOutput = false);
    bool running();
    // True once the child has exited with status 0.
    bool succeeded() const { return exitedOk; }
    void stop();
    pid_t pid() const { return childPid; }

private:
    pid_t childPid = -1;
    int readFd = -1;
    bool exitedOk = false;
};

// Runs a command to completion (at most `timeout`): its standard output if it exited with 0.
std::optional<std::string> runCommand(const std::vector<std::string>& argv,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Calls `step` (by default a 10 ms sleep) until `done` holds or `timeout` passes; returns whether `done` held.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& step = {});

// A private temporary directory ("<prefix>-XXXXXX", owner-only), removed with the object.
struct TempDir {
    explicit TempDir(const std::string& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path path;
};

} // namespace vokari::testing
