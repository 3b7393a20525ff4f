#pragma once
// Running applications on an EWMH window manager: the active top-level window (_NET_ACTIVE_WINDOW) with its
// pid, WM_CLASS and title, the client list, and activation by a _NET_ACTIVE_WINDOW client message (the window
// manager completes it asynchronously). Main thread. Owned by the app; shares the X11Connection.
#include "desktop/Workspace.h"
#include "platform/linux/x11/X11Connection.h"

#include <memory>
#include <vector>

namespace vokari::x11 {

class X11Workspace : public Workspace {
public:
    explicit X11Workspace(std::shared_ptr<X11Connection> connection);

    std::optional<RunningApp> frontmostApplication() override;
    // Gone when its window has left the client list (or, without a window manager, no longer exists) or now
    // belongs to another process.
    bool isTerminated(const RunningApp& app) override;
    void activate(const RunningApp& app) override;
    bool isActive(const RunningApp& app) override;

    // Every managed top-level window, in the window manager's order.
    std::vector<RunningApp> runningApplications();
    std::optional<RunningApp> describe(std::uint64_t window);

private:
    std::uint64_t activeWindow();
    std::optional<std::vector<std::uint64_t>> clientList();

    std::shared_ptr<X11Connection> connection;
};

} // namespace vokari::x11
