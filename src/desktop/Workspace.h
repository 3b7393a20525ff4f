#pragma once
// The running applications as the desktop shows them: which one is frontmost, whether one is still there,
// and bringing one to the front. Main thread. The platform layer implements it (EWMH on X11).
#include "desktop/RunningApp.h"

#include <optional>

namespace vokari {

class Workspace {
public:
    virtual ~Workspace() = default;
    virtual std::optional<RunningApp> frontmostApplication() = 0;
    virtual bool isTerminated(const RunningApp& app) = 0;
    // Asks the desktop to activate the application; completes asynchronously on X11.
    virtual void activate(const RunningApp& app) = 0;
    // Whether the application's window is the active one now.
    virtual bool isActive(const RunningApp& app) {
        auto front = frontmostApplication();
        return front && front->windowId == app.windowId;
    }
};

} // namespace vokari
