#include "core/DebugLog.h"

#include "core/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vokari {
namespace {

struct LogConfig {
    std::mutex configMutex; // guards the fields below (not the files)
    std::filesystem::path logPath;
    std::filesystem::path tmpLogPath;
    bool pathsSet = false;
    std::shared_ptr<LogSink> sink;
    std::atomic<const WallClock*> clock{nullptr};
    std::atomic<std::FILE*> console{stdout};
    std::mutex logLock; // serialises the two file writes
};

LogConfig& config() {
    // Never destroyed: worker and audio threads may still log while the process exits.
    static auto* c = new LogConfig;
    return *c;
}

void ensureDefaultPathsLocked(LogConfig& c) {
    if (!c.pathsSet) {
        c.logPath = homeDirectory() / ".vokari.log";
        c.tmpLogPath = "/tmp/vk-debug.log";
        c.pathsSet = true;
    }
}

} // namespace

namespace debuglog {
void setPaths(std::filesystem::path logPath, std::filesystem::path tmpLogPath) {
    auto& c = config();
    std::lock_guard lock(c.configMutex);
    c.logPath = std::move(logPath);
    c.tmpLogPath = std::move(tmpLogPath);
    c.pathsSet = true;
}
std::filesystem::path logPath() {
    auto& c = config();
    std::lock_guard lock(c.configMutex);
    ensureDefaultPathsLocked(c);
    return c.logPath;
}
std::filesystem::path tmpLogPath() {
    auto& c = config();
    std::lock_guard lock(c.configMutex);
    ensureDefaultPathsLocked(c);
    return c.tmpLogPath;
}
void setWallClock(const WallClock* clock) {
    config().clock.store(clock);
}
void setSink(std::shared_ptr<LogSink> sink) {
    auto& c = config();
    std::lock_guard lock(c.configMutex);
    c.sink = std::move(sink);
}
void setConsole(std::FILE* stream) {
    config().console.store(stream);
}
} // namespace debuglog

std::string timestamp() {
    const WallClock* clock = config().clock.load();
    auto now = clock ? clock->now() : std::chrono::system_clock::now();
    auto sinceEpoch = now.time_since_epoch();
    auto secs = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - secs).count();
    std::time_t t = static_cast<std::time_t>(secs.count());
    std::tm local{};
    localtime_r(&t, &local);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms));
    return buf;
}

namespace {
// The temporary log sits in a world-writable directory: never follow a symlink planted there and never write
// into a file another user owns.
int openLogFile(const std::filesystem::path& path, int extraFlags) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | extraFlags, 0600);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

void writeToLog(std::string_view line, const std::filesystem::path& path) {
    // Failures (permissions, full disk) lose the line silently.
    int fd = openLogFile(path, O_APPEND);
    if (fd < 0) {
        return;
    }
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void truncateLog() {
    auto path = debuglog::logPath();
    // Read and replace under the log lock, so no line logged meanwhile is lost.
    std::lock_guard lock(config().logLock);
    auto text = readWholeFile(path);
    if (!text) {
        return;
    }
    // Count lines as a reader does: the newline that ends the last line does not begin another one, so a file
    // of exactly kMaxLogLines lines is left alone and a longer one keeps exactly its last kMaxLogLines / 2 lines.
    std::string_view body(*text);
    const bool endsWithNewline = body.ends_with('\n');
    if (endsWithNewline) {
        body.remove_suffix(1);
    }
    std::vector<std::string_view> lines;
    while (true) {
        auto nl = body.find('\n');
        lines.push_back(body.substr(0, nl));
        if (nl == std::string_view::npos) {
            break;
        }
        body.remove_prefix(nl + 1);
    }
    if (lines.size() <= kMaxLogLines) {
        return;
    }
    std::string kept;
    for (std::size_t i = lines.size() - kMaxLogLines / 2; i < lines.size(); ++i) {
        kept.append(lines[i]);
        if (i + 1 < lines.size() || endsWithNewline) {
            kept.push_back('\n');
        }
    }
    (void)writeFileAtomically(path, kept, 0600);
}

std::string logLevelFor(std::string_view message) {
    for (std::string_view needle : {std::string_view("⚠️"), std::string_view("error"), std::string_view("fail")}) {
        if (message.find(needle) != std::string_view::npos) {
            return "error";
        }
    }
    return "info";
}

void debugLog(std::string_view message) {
    auto& c = config();
    // Appended piece by piece: GCC 12 at -O2/-O3 misreports -Wrestrict on "literal" + std::string.
    std::string line(1, '[');
    line += timestamp();
    line += "] ";
    line += message;
    line += '\n';
    std::filesystem::path logPath, tmpPath;
    std::shared_ptr<LogSink> sink;
    {
        std::lock_guard lock(c.configMutex);
        ensureDefaultPathsLocked(c);
        logPath = c.logPath;
        tmpPath = c.tmpLogPath;
        sink = c.sink;
    }
    {
        std::lock_guard lock(c.logLock);
        writeToLog(line, logPath);
        writeToLog(line, tmpPath);
    }
    if (std::FILE* out = c.console.load()) {
        std::string printed(message);
        printed.push_back('\n');
        std::fwrite(printed.data(), 1, printed.size(), out);
        std::fflush(out);
    }
    if (sink) {
        sink->log(std::string(message), logLevelFor(message), kLogSource);
    }
}

void startDebugLog() {
    auto path = debuglog::logPath(); // settles the default paths
    (void)path;
    truncateLog();
    {
        std::lock_guard lock(config().logLock);
        if (int fd = openLogFile(debuglog::tmpLogPath(), O_TRUNC); fd >= 0) {
            ::close(fd);
        }
    }
    debugLog("STARTED — Vokari launching...");
}

} // namespace vokari
