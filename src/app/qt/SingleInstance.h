#pragma once
// Keeps Vokari to one instance per user session, so two hotkey listeners never paste everything twice: an
// exclusive flock() on a lock file in $XDG_RUNTIME_DIR (else a private /tmp/vokari-<uid>), held while the
// process lives. The kernel releases it when the process ends, crash included, so no stale lock can remain.
// Main thread, once at start-up, before the log and the toolkit start. Owned by the process entry.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace vokari {

class SingleInstance {
public:
    enum class Outcome { acquired, alreadyRunning, failed };
    struct Result {
        Outcome outcome = Outcome::failed;
        std::string message; // one line for the user when not acquired
    };

    // $XDG_RUNTIME_DIR/vokari.lock when that is an absolute directory path, else /tmp/vokari-<uid>/vokari.lock.
    static std::filesystem::path defaultLockPath();
    static std::filesystem::path lockPathFor(const char* runtimeDir, uid_t uid);

    explicit SingleInstance(std::filesystem::path lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock (creating the private fallback directory when needed) and records this process's pid in
    // the file. A second call after success returns acquired again.
    Result acquire();
    // For a process started to replace the running instance (an update's restart): the old one is still exiting,
    // so try again every `step` until it has let go, for at most `patience`. `pause` waits between tries (a
    // real sleep unless a test passes its own).
    Result acquireWaiting(std::chrono::milliseconds patience,
                          std::chrono::milliseconds step = std::chrono::milliseconds(50),
                          const std::function<void(std::chrono::milliseconds)>& pause = {});
    bool held() const { return fd >= 0; }

private:
    std::optional<std::string> prepareDirectory() const;
    std::optional<long> recordedPid(int fileFd) const;

    std::filesystem::path path;
    int fd = -1;
};

} // namespace vokari
