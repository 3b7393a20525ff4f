#include "platform/linux/update/BundleInstaller.h"

namespace vokari {

BundleInstaller::BundleInstaller() = default;

bool BundleInstaller::isPackageManaged() const {
    return false;
}

InstallOutcome BundleInstaller::install(const std::string&) {
    InstallOutcome outcome;
    outcome.errorMessage =
        "Failed to install: this build of Vokari cannot install updates. Please download the new version manually.";
    return outcome;
}

bool BundleInstaller::relaunch(const std::string&) {
    return false;
}

} // namespace vokari
