#pragma once
// The seam between the updater's logic and the platform that puts a downloaded release in place.
// install() and relaunch() block; the updater calls them on a worker thread, never on the main thread.
#include <string>

namespace vokari {

struct InstallOutcome {
    bool ok = false;
    // On failure: the full informative text of the "Update Failed" alert.
    std::string errorMessage;
    // On failure, optional: a diagnostic the updater prints after "[update] " (a tool's output, say).
    std::string logLine;
    // On success: the program to start for the restart, inside the copy that was just installed.
    std::string installedProgram;
};

class UpdateInstaller {
public:
    virtual ~UpdateInstaller() = default;

    // True when the running copy belongs to the system's package manager: the updater then never overwrites it
    // and tells the user how to update instead.
    virtual bool isPackageManaged() const = 0;

    // Puts the release archive at archivePath in place of the installed copy, atomically: on any failure the
    // previous copy stays installed and runnable. archivePath is owned by the caller and is not removed here.
    virtual InstallOutcome install(const std::string& archivePath) = 0;

    // Starts installedProgram detached from this process (its own session), marked as a restart so that it
    // waits for this instance to exit instead of being turned away as a second instance.
    // Returns false when it could not be started.
    virtual bool relaunch(const std::string& installedProgram) = 0;
};

} // namespace vokari
