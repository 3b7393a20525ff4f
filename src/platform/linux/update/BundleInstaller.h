#pragma once
// Puts a downloaded release bundle in place of the installed copy and starts it. This build carries no installer
// yet: install() fails with a message saying so, and nothing is ever overwritten. Any thread.
#include "update/UpdateInstaller.h"

namespace vokari {

class BundleInstaller final : public UpdateInstaller {
public:
    BundleInstaller();

    bool isPackageManaged() const override;
    InstallOutcome install(const std::string& archivePath) override;
    bool relaunch(const std::string& installedProgram) override;
};

} // namespace vokari
