#pragma once
// The running applications a command may bring to the front, in the order the desktop lists them, and the one
// that has the focus now. Main thread. The platform implements it (EWMH client list on X11).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

struct SwitchableApp {
    std::uint64_t handle = 0; // the platform's handle (a top-level window on X11)
    std::int64_t pid = 0;
    std::optional<std::string> name; // the application's display name; without one it never matches
    bool operator==(const SwitchableApp&) const = default;
};

class AppSwitcher {
public:
    virtual ~AppSwitcher() = default;
    virtual std::vector<SwitchableApp> runningApplications() = 0;
    // Asks the desktop to activate the application; whether it took effect is not reported.
    virtual void activate(const SwitchableApp& app) = 0;
    // Process id of the application that has the focus, if any.
    virtual std::optional<std::int64_t> frontmostPid() = 0;
};

} // namespace vokari
