#pragma once
// The updater's alerts, word for word. Pure functions; any thread.
#include "update/UpdatePresenter.h"

#include <string>

namespace vokari::texts {

UpdateAlert checkFailed();
UpdateAlert upToDate(const std::string& currentVersion);
UpdateAlert updateAvailable(const std::string& latest, const std::string& currentVersion);
UpdateAlert updateInstalled();
UpdateAlert updateFailed(const std::string& message);
UpdateAlert packageManaged(const std::string& latest, bool withDownloadPage);

// Informative texts of "Update Failed".
std::string downloadFailed(const std::string& description);
std::string downloadStatus(int status);
std::string prepareFailed(const std::string& description);
std::string insecureDownload(const std::string& url);
std::string invalidChecksum();
std::string checksumMismatch(const std::string& currentVersion);
std::string restartFailed();

} // namespace vokari::texts
