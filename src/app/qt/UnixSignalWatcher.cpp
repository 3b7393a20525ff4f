#include "app/qt/UnixSignalWatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vokari {
namespace {
std::atomic<int> writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads this");

void onUnixSignal(int signal) {
    int savedErrno = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    int fd = writeEnd.load();
    if (fd >= 0) {
        // A full pipe drops the byte: the bytes already there will trigger the same quit.
        (void)!::write(fd, &byte, 1);
    }
    errno = savedErrno;
}
} // namespace

struct UnixSignalWatcher::Saved {
    int signal;
    struct sigaction action;
};

UnixSignalWatcher::UnixSignalWatcher(std::function<void(int)> handler) : onSignal(std::move(handler)) {}

bool UnixSignalWatcher::install(const std::vector<int>& watched) {
    if (pipeFds[0] >= 0 || writeEnd.load() >= 0) {
        return false;
    }
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return false;
    }
    writeEnd.store(pipeFds[1]);

    for (int sig : watched) {
        struct sigaction previous {};
        if (::sigaction(sig, nullptr, &previous) != 0) {
            continue;
        }
        if (sig == SIGHUP && previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = onUnixSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (::sigaction(sig, &action, nullptr) == 0) {
            saved.push_back({sig, previous});
        }
    }
    return true;
}

void UnixSignalWatcher::connectToEventLoop() {
    if (pipeFds[0] < 0 || notifier) {
        return;
    }
    notifier = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [fd = pipeFds[0], callback = onSignal] {
        unsigned char bytes[16];
        ssize_t n;
        while ((n = ::read(fd, bytes, sizeof bytes)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (callback) {
                    callback(bytes[i]);
                }
            }
        }
    });
}

UnixSignalWatcher::~UnixSignalWatcher() {
    for (const auto& s : saved) {
        ::sigaction(s.signal, &s.action, nullptr);
    }
    writeEnd.store(-1);
    notifier.reset();
    for (int& fd : pipeFds) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

} // namespace vokari
