#pragma once
// Installs a release bundle (Vokari-<version>-linux-x86_64.tar.gz holding Vokari/bin/vokari, share/, a launcher)
// for a bundle install, and restarts into it. The archive is unpacked into a private staging directory
// (mkdtemp under $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp); the bundle is the first top-level directory holding
// bin/vokari. It goes into the applications folder, /opt/vokari when that is writable, else ~/.local/opt/vokari
// ($VOKARI_UPDATE_DIR replaces both): copied beside the installed copy, checked (the new program must answer
// --version), swapped in by one rename, and only then is the old copy removed, so a failure at any step leaves the
// old version installed and runnable. The user's desktop entry is then pointed at the new copy.
// A copy installed by the Debian package is never touched. Blocking; the updater calls it on a worker thread.
#include "update/UpdateInstaller.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vokari {

class BundleInstaller final : public UpdateInstaller {
public:
    // The mark a restarted copy carries on its command line: it then waits for the old instance to exit.
    static constexpr const char* restartArgument = "--restarted";

    struct Paths {
        std::filesystem::path systemApplications; // tried first when writable (may be empty)
        std::filesystem::path userApplications;   // the fallback
        std::filesystem::path stagingRoot;        // where the private staging directory is made
        std::filesystem::path desktopEntries;     // the user's applications directory for vokari.desktop
        std::filesystem::path runningProgram;     // this process's executable
        std::filesystem::path packageLists;       // dpkg's file lists (vokari.list)
        std::string websiteDomain;                // ends the "download manually" text
    };

    // The paths of this user and process, from the environment.
    static Paths defaultPaths();

    BundleInstaller();
    explicit BundleInstaller(Paths paths);

    bool isPackageManaged() const override;
    InstallOutcome install(const std::string& archivePath) override;
    bool relaunch(const std::string& installedProgram) override;

private:
    // Puts the bundle at `source` into `folder` under `name`; a problem description on failure.
    std::optional<std::string> installInto(const std::filesystem::path& folder, const std::filesystem::path& source,
                                           const std::string& name) const;
    bool systemFolderUsable() const;

    Paths paths;
};

} // namespace vokari
