#include "platform/linux/x11/X11AppSwitcher.h"

namespace vokari::x11 {

X11AppSwitcher::X11AppSwitcher(std::shared_ptr<X11Workspace> workspace, NameResolver resolver)
    : workspace(std::move(workspace)), resolver(std::move(resolver)) {}

std::vector<SwitchableApp> X11AppSwitcher::runningApplications() {
    std::vector<SwitchableApp> out;
    for (const auto& window : workspace->runningApplications()) {
        SwitchableApp app{window.windowId, window.pid, std::nullopt};
        if (resolver) {
            app.name = resolver(window.windowClass);
        }
        if (!app.name && !window.windowClass.empty()) {
            app.name = window.windowClass;
        }
        out.push_back(std::move(app));
    }
    return out;
}

void X11AppSwitcher::activate(const SwitchableApp& app) {
    RunningApp target;
    target.windowId = app.handle;
    target.pid = app.pid;
    workspace->activate(target);
}

std::optional<std::int64_t> X11AppSwitcher::frontmostPid() {
    auto front = workspace->frontmostApplication();
    if (!front || front->pid <= 0) {
        return std::nullopt;
    }
    return front->pid;
}

} // namespace vokari::x11
