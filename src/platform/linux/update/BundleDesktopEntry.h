#pragma once
// Points the user's desktop entry (the menu item) at an installed bundle: its own vokari.desktop with Exec and
// Icon naming the bundle's program and icon by absolute path, written atomically. Blocking; any thread.
#include <filesystem>
#include <optional>
#include <string>

namespace vokari {

class BundleDesktopEntry {
public:
    // Writes `applicationsDir`/vokari.desktop for the bundle at `bundle`. Returns a problem description on failure.
    static std::optional<std::string> write(const std::filesystem::path& bundle,
                                            const std::filesystem::path& applicationsDir);

    // The Exec value that starts `program` with no arguments, quoted for a desktop entry.
    static std::string execValue(const std::string& program);
};

} // namespace vokari
