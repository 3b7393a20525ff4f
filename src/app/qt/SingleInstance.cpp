#include "app/qt/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

namespace vokari {

std::filesystem::path SingleInstance::defaultLockPath() {
    return lockPathFor(std::getenv("XDG_RUNTIME_DIR"), getuid());
}

std::filesystem::path SingleInstance::lockPathFor(const char* runtimeDir, uid_t uid) {
    if (runtimeDir && runtimeDir[0] == '/') {
        std::error_code ec;
        if (std::filesystem::is_directory(runtimeDir, ec)) {
            return std::filesystem::path(runtimeDir) / "vokari.lock";
        }
    }
    return std::filesystem::path("/tmp") / ("vokari-" + std::to_string(uid)) / "vokari.lock";
}

SingleInstance::SingleInstance(std::filesystem::path lockPath) : path(std::move(lockPath)) {}

SingleInstance::~SingleInstance() {
    if (fd >= 0) {
        ::close(fd);
    }
}

// The fallback directory lives in world-writable /tmp: it must be ours, private and not a symlink, or another
// user could hold the lock for us. $XDG_RUNTIME_DIR is the session's own private directory and is taken as is.
std::optional<std::string> SingleInstance::prepareDirectory() const {
    auto dir = path.parent_path();
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return "cannot create " + dir.string() + ": " + std::strerror(errno);
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        return "cannot examine " + dir.string() + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        return dir.string() + " is not a directory";
    }
    bool sharedTmp = dir.parent_path() == "/tmp" && dir.filename().string().rfind("vokari-", 0) == 0;
    if (sharedTmp) {
        if (st.st_uid != getuid() || (st.st_mode & 077) != 0) {
            return dir.string() + " belongs to another user or is not private (mode 0700 expected)";
        }
    }
    return std::nullopt;
}

std::optional<long> SingleInstance::recordedPid(int fileFd) const {
    char buf[32] = {};
    ssize_t n = ::pread(fileFd, buf, sizeof buf - 1, 0);
    if (n <= 0) {
        return std::nullopt;
    }
    char* end = nullptr;
    long pid = std::strtol(buf, &end, 10);
    if (end == buf || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

SingleInstance::Result SingleInstance::acquire() {
    if (fd >= 0) {
        return {Outcome::acquired, {}};
    }
    if (auto problem = prepareDirectory()) {
        return {Outcome::failed, "cannot check for a running instance: " + *problem};
    }
    int f = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (f < 0) {
        return {Outcome::failed,
                "cannot check for a running instance: cannot open " + path.string() + ": " + std::strerror(errno)};
    }
    if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        if (err == EWOULDBLOCK) {
            auto pid = recordedPid(f);
            ::close(f);
            std::string who = pid ? " (pid " + std::to_string(*pid) + ")" : "";
            return {Outcome::alreadyRunning,
                    "Vokari is already running" + who + " in this session; not starting a second instance."};
        }
        ::close(f);
        return {Outcome::failed, "cannot lock " + path.string() + ": " + std::strerror(err)};
    }
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(f, 0) == 0) {
        (void)!::pwrite(f, pid.data(), pid.size(), 0);
    }
    fd = f;
    return {Outcome::acquired, {}};
}

SingleInstance::Result SingleInstance::acquireWaiting(std::chrono::milliseconds patience,
                                                      std::chrono::milliseconds step,
                                                      const std::function<void(std::chrono::milliseconds)>& pause) {
    auto result = acquire();
    for (auto waited = std::chrono::milliseconds(0);
         result.outcome == Outcome::alreadyRunning && waited < patience && step.count() > 0; waited += step) {
        if (pause) {
            pause(step);
        } else {
            std::this_thread::sleep_for(step);
        }
        result = acquire();
    }
    return result;
}

} // namespace vokari
