#pragma once
// How a second launch reaches the running instance: the running one listens on a Unix socket beside its
// single-instance lock; a later launch connects, sends "open" and waits briefly for "ok", and the running one
// opens its main window. The socket lives in the same private directory as the lock, so only this user's
// processes can connect. Server side: main thread, owned by the app wiring. Client side: a plain function for
// the process entry, before any Qt object exists.
#include <QLocalServer>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace vokari {

class InstanceChannel {
public:
    // The socket beside the lock: "vokari.sock" in the lock's directory.
    static std::filesystem::path socketPathFor(const std::filesystem::path& lockPath);
    // Asks the instance listening at `path` to open its main window. True once it confirmed within the timeout.
    static bool requestOpenWindow(const std::filesystem::path& path, int timeoutMs = 2000);

    InstanceChannel(std::filesystem::path path, std::function<void()> onOpenWindow);
    ~InstanceChannel();

    // Starts listening, replacing a socket file a crashed instance left behind (only the lock holder calls
    // this, so no live instance owns it). Returns a problem description on failure.
    std::optional<std::string> listen();

private:
    std::filesystem::path path;
    std::function<void()> onOpenWindow;
    QLocalServer server;
};

} // namespace vokari
