#include "update/UpdateTexts.h"

namespace vokari::texts {

using Style = UpdateAlert::Style;

UpdateAlert checkFailed() {
    return {"Update Check Failed",
            "Couldn't reach the update server. Check your internet connection.",
            Style::warning,
            {"OK"}};
}

UpdateAlert upToDate(const std::string& currentVersion) {
    return {"You're Up to Date", "Vokari " + currentVersion + " is the latest version.", Style::informational, {"OK"}};
}

UpdateAlert updateAvailable(const std::string& latest, const std::string& currentVersion) {
    return {"Update Available",
            "Vokari " + latest + " is available. You're currently on " + currentVersion +
                ".\n\nWould you like to update now?",
            Style::informational,
            {"Update Now", "Later"}};
}

UpdateAlert updateInstalled() {
    return {
        "Update Installed", "Vokari has been updated. The app will now restart.", Style::informational, {"Restart"}};
}

UpdateAlert updateFailed(const std::string& message) {
    return {"Update Failed", message, Style::warning, {"OK"}};
}

UpdateAlert packageManaged(const std::string& latest, bool withDownloadPage) {
    std::string text = "Vokari " + latest +
                       " is available. This copy of Vokari was installed by your system's package manager, so it "
                       "is updated there: install the new Vokari package with your package manager";
    text += withDownloadPage ? ", or get it from the download page." : ".";
    UpdateAlert alert{"Update with Your Package Manager", text, Style::informational, {"OK"}};
    if (withDownloadPage) {
        alert.buttons = {"Open Download Page", "OK"};
    }
    return alert;
}

std::string downloadFailed(const std::string& description) {
    return "Download failed: " + (description.empty() ? std::string("unknown error") : description);
}

std::string downloadStatus(int status) {
    return downloadFailed("the server answered with status " + std::to_string(status));
}

std::string prepareFailed(const std::string& description) {
    return "Failed to prepare update: " + description;
}

std::string insecureDownload(const std::string& url) {
    return "The update was not downloaded: its address does not use a secure (https://) connection.\n\n" + url;
}

std::string invalidChecksum() {
    return "The update was not downloaded: the update server sent a SHA-256 checksum that is not valid.";
}

std::string checksumMismatch(const std::string& currentVersion) {
    return "The downloaded update does not match its SHA-256 checksum, so it was not installed. Vokari " +
           currentVersion + " stays as it is.";
}

std::string restartFailed() {
    return "Vokari has been updated, but the new version could not be started. Quit Vokari and start it again.";
}

} // namespace vokari::texts
