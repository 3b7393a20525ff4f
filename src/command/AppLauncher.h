#pragma once
// Starts applications that are not running: by the platform's application identifier (a desktop-file id such as
// "org.gnome.Calculator" on Linux) or by the name the user sees. Launching never blocks the caller: `done` is
// called once, from any thread, with whether the launch succeeded. Main thread. The platform implements it.
#include <functional>
#include <string>

namespace vokari {

class AppLauncher {
public:
    virtual ~AppLauncher() = default;
    // False (and `done` is never called) when no application has that identifier.
    virtual bool launchIdentifier(const std::string& identifier, std::function<void(bool)> done) = 0;
    // False (and `done` is never called) when nothing could be started for that name.
    virtual bool launchNamed(const std::string& name, std::function<void(bool)> done) = 0;
};

} // namespace vokari
