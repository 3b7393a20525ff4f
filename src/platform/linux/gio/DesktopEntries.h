#pragma once
// The installed applications as desktop entries (GIO's GDesktopAppInfo, which reads $XDG_DATA_HOME and
// $XDG_DATA_DIRS): launching one by its desktop-file id ("org.gnome.Calculator", "firefox-esr") or by the name
// the user sees, and naming the application that owns a window class. Launching spawns the program and returns
// at once; `done` is called before launch returns. The list is read afresh on each call, so newly installed
// entries are seen. Main thread. Owned by the app.
#include "command/AppLauncher.h"

#include <optional>
#include <string>

namespace vokari::platform_linux {

class DesktopEntries : public AppLauncher {
public:
    // The id may be given with or without ".desktop".
    bool launchIdentifier(const std::string& identifier, std::function<void(bool)> done) override;
    // The first entry whose Name, then whose GenericName, equals the name ignoring case.
    bool launchNamed(const std::string& name, std::function<void(bool)> done) override;
    // The Name of the entry whose StartupWMClass is the class, else of the entry whose id is the class
    // (ignoring case); nothing when no entry owns it.
    std::optional<std::string> nameForWindowClass(const std::string& windowClass);
};

} // namespace vokari::platform_linux
