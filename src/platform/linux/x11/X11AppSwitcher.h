#pragma once
// The running applications for commands: the window manager's client list, one entry per top-level window,
// named by the desktop entry that owns the window (the resolver, given the WM_CLASS class) or else by that
// class. Activation asks the window manager (_NET_ACTIVE_WINDOW). Main thread. Owned by the app.
#include "command/AppSwitcher.h"
#include "platform/linux/x11/X11Workspace.h"

#include <functional>
#include <memory>

namespace vokari::x11 {

class X11AppSwitcher : public AppSwitcher {
public:
    // WM_CLASS class -> the owning desktop entry's name.
    using NameResolver = std::function<std::optional<std::string>(const std::string&)>;

    X11AppSwitcher(std::shared_ptr<X11Workspace> workspace, NameResolver resolver);

    std::vector<SwitchableApp> runningApplications() override;
    void activate(const SwitchableApp& app) override;
    std::optional<std::int64_t> frontmostPid() override;

private:
    std::shared_ptr<X11Workspace> workspace;
    NameResolver resolver;
};

} // namespace vokari::x11
