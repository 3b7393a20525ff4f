#pragma once
// Turns termination signals (SIGINT, SIGTERM, SIGHUP) into a call on the Qt event loop. The handler only writes
// the signal number to a self-pipe (async-signal-safe); a QSocketNotifier on the pipe's read end calls onSignal
// on the main thread. Handlers go in first thing, so a signal during start-up waits in the pipe for the loop.
// Main thread. At most one per process, owned by the process entry; its destructor restores the old handlers.
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace vokari {

class UnixSignalWatcher {
public:
    explicit UnixSignalWatcher(std::function<void(int signal)> onSignal);
    ~UnixSignalWatcher();
    UnixSignalWatcher(const UnixSignalWatcher&) = delete;
    UnixSignalWatcher& operator=(const UnixSignalWatcher&) = delete;

    // Installs the handlers. A signal the process was started with ignored (nohup's SIGHUP) stays ignored.
    // False when the pipe cannot be made or a second watcher exists; the default dispositions stay then.
    bool install(const std::vector<int>& watched);
    // Starts reading the pipe on the Qt event loop (needs a QCoreApplication); signals that came earlier are
    // delivered once the loop runs.
    void connectToEventLoop();

private:
    struct Saved;
    std::function<void(int)> onSignal;
    int pipeFds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    std::vector<Saved> saved;
};

} // namespace vokari
