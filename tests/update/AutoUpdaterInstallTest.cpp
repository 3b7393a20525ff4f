// An accepted update: download into a private directory, checksum, installation, restart, every failure, cancel,
// the https rule and installs owned by a package manager.
#include "UpdateFakes.h"
#include "update/UpdateTexts.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vokari {
namespace {

using test::UpdaterHarness;
using Lines = std::vector<std::string>;

std::string sha256Extra(const std::string& hex) {
    return R"(,"sha256":")" + hex + "\"";
}

std::string lastAlertText(const UpdaterHarness& h) {
    return h.presenter->alerts.empty() ? "" : h.presenter->alerts.back().alert.informativeText;
}

TEST(AutoUpdaterInstall, DownloadsVerifiesInstallsAndRestartsTheInstalledCopy) {
    UpdaterHarness h;
    h.checkAndOffer("https://h/Vokari-2.0.0.tar.gz",
                    sha256Extra("A4D451EC23463726F72C43D64C710968F6B602CD653B4DE8ADEE1B556240A829"));
    h.presenter->press("Update Now");
    EXPECT_TRUE(h.updater->isUpdating());
    EXPECT_TRUE(h.presenter->progressShown);
    EXPECT_EQ(h.presenter->progressVersion, "2.0.0");
    EXPECT_EQ(h.presenter->status, "Downloading update...");

    // Into a fresh directory of its own (0700) under the staging parent, never a fixed path.
    ASSERT_EQ(h.transport->downloads.size(), 1u);
    const std::filesystem::path archive = h.transport->downloads[0].request.path;
    EXPECT_EQ(h.transport->downloads[0].request.url, "https://h/Vokari-2.0.0.tar.gz");
    EXPECT_EQ(archive.filename(), "Vokari-update.tar.gz");
    EXPECT_EQ(archive.parent_path().parent_path(), h.staging);
    EXPECT_EQ(archive.parent_path().filename().string().rfind("vokari-update-", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(archive.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    h.autoRunBlocking = false;
    h.transport->answerDownload("release");
    h.queue->runUntilIdle();
    EXPECT_EQ(h.presenter->status, "Installing...");
    h.runBlocking();
    EXPECT_EQ(h.installer->installedArchives, Lines{"release"});
    EXPECT_FALSE(h.presenter->progressShown);
    EXPECT_EQ(h.stagingEntries(), 0u); // the archive is gone once installed
    ASSERT_EQ(h.presenter->titles().back(), "Update Installed");
    EXPECT_EQ(h.presenter->alerts.back().alert, texts::updateInstalled());
    EXPECT_TRUE(h.installer->relaunched.empty()); // not before the user has read the alert

    h.presenter->press("Restart");
    h.runBlocking();
    EXPECT_EQ(h.installer->relaunched, Lines{"/opt/vokari/bin/vokari"});
    h.queue->advance(0.499);
    EXPECT_EQ(h.quits, 0);
    h.queue->advance(0.001);
    EXPECT_EQ(h.quits, 1);
    // Until the process ends no check offers the version just installed.
    h.lines.clear();
    h.updater->checkForUpdate(false);
    EXPECT_EQ(h.lines, Lines{"[update] already updating, skipping check"});
}

TEST(AutoUpdaterInstall, EveryFailureEndsTheAttemptWithItsAlert) {
    auto attempt = [](UpdaterHarness& h, const std::string& extra = "") {
        h.checkAndOffer("https://h/v.tar.gz", extra);
        h.presenter->press("Update Now");
    };
    auto expectEnded = [](UpdaterHarness& h, const std::string& text) {
        EXPECT_FALSE(h.updater->isUpdating()) << text;
        EXPECT_FALSE(h.presenter->progressShown) << text;
        EXPECT_EQ(h.presenter->titles().back(), "Update Failed") << text;
        EXPECT_EQ(h.presenter->alerts.back().alert.style, UpdateAlert::Style::warning);
        EXPECT_EQ(lastAlertText(h), text);
        EXPECT_EQ(h.stagingEntries(), 0u) << text;
        EXPECT_TRUE(h.installer->relaunched.empty());
        EXPECT_EQ(h.quits, 0);
    };
    {
        UpdaterHarness h;
        attempt(h);
        h.transport->completeDownload(TransportError{urlError::networkConnectionLost, "Connection reset"});
        h.queue->runUntilIdle();
        expectEnded(h, "Download failed: Connection reset");
        h.presenter->press("OK");
        attempt(h); // the updater is ready for the next attempt
        h.transport->completeDownload(TransportError{urlError::unknown, ""});
        h.queue->runUntilIdle();
        expectEnded(h, "Download failed: unknown error");
    }
    {
        UpdaterHarness h; // an error page is not a release
        attempt(h);
        h.transport->answerDownload("<html>not found</html>", 404);
        h.queue->runUntilIdle();
        expectEnded(h, "Download failed: the server answered with status 404");
        EXPECT_TRUE(h.installer->installedArchives.empty());
    }
    {
        UpdaterHarness h; // no private directory can be made
        std::filesystem::remove_all(h.staging);
        attempt(h);
        EXPECT_TRUE(h.transport->downloads.empty());
        std::filesystem::create_directories(h.staging);
        expectEnded(h, "Failed to prepare update: No such file or directory");
    }
    {
        UpdaterHarness h; // the installer's own message, and its diagnostic as an "[update] " line
        h.installer->outcome = {false, "Failed to install: Permission denied", "tar exited with status 2: bad", ""};
        attempt(h);
        h.transport->answerDownload("release");
        h.queue->runUntilIdle();
        expectEnded(h, "Failed to install: Permission denied");
        EXPECT_EQ(h.lines.back(), "[update] tar exited with status 2: bad");
    }
    {
        UpdaterHarness h; // the checksum does not match: nothing is installed
        attempt(h, sha256Extra(std::string(64, 'a')));
        h.transport->answerDownload("tampered");
        h.queue->runUntilIdle();
        expectEnded(h, texts::checksumMismatch("1.0.0"));
        EXPECT_TRUE(h.installer->installedArchives.empty());
        EXPECT_EQ(h.lines.back().rfind("[update] checksum mismatch: expected aaaa", 0), 0u);
    }
    {
        UpdaterHarness h; // a "sha256" that is no checksum: not even downloaded
        attempt(h, sha256Extra("abc"));
        EXPECT_TRUE(h.transport->downloads.empty());
        EXPECT_EQ(lastAlertText(h), texts::invalidChecksum());
        EXPECT_FALSE(h.updater->isUpdating());
    }
    {
        UpdaterHarness h; // the new copy does not start: the old one keeps running
        h.installer->relaunchWorks = false;
        attempt(h);
        h.transport->answerDownload("release");
        h.queue->runUntilIdle();
        h.presenter->press("Restart");
        h.queue->advance(1.0);
        EXPECT_EQ(h.quits, 0);
        EXPECT_FALSE(h.updater->isUpdating());
        EXPECT_EQ(lastAlertText(h), texts::restartFailed());
    }
}

TEST(AutoUpdaterInstall, CancelStopsTheDownloadAndNothingIsInstalledAfterIt) {
    UpdaterHarness h;
    h.checkAndOffer("https://h/v.tar.gz");
    h.presenter->press("Update Now");
    EXPECT_TRUE(h.presenter->escape());
    EXPECT_TRUE(h.transport->downloads[0].cancellation->isCancelled());
    EXPECT_FALSE(h.updater->isUpdating());
    EXPECT_EQ(h.lines.back(), "[update] update cancelled");
    // The download ends anyway (it had just finished): ignored, and its directory goes with it.
    h.transport->answerDownload("release");
    h.queue->advance(5.0);
    EXPECT_TRUE(h.installer->installedArchives.empty());
    EXPECT_EQ(h.presenter->titles(), Lines{"Update Available"});
    EXPECT_EQ(h.stagingEntries(), 0u);

    // Cancelled while the checksum is computed: still nothing installed.
    h.autoRunBlocking = false;
    h.checkAndOffer("https://h/v.tar.gz");
    h.presenter->press("Update Now");
    h.transport->answerDownload("release");
    h.queue->runUntilIdle();
    EXPECT_TRUE(h.presenter->escape());
    h.runBlocking();
    EXPECT_TRUE(h.installer->installedArchives.empty());
    EXPECT_EQ(h.stagingEntries(), 0u);

    // Once installing, the swap runs to its end: the window refuses to close.
    h.checkAndOffer("https://h/v.tar.gz");
    h.presenter->press("Update Now");
    h.transport->answerDownload("release");
    h.queue->runUntilIdle();
    h.blocking.front()(); // the checksum step hands over to the installer
    h.blocking.pop_front();
    h.queue->runUntilIdle();
    EXPECT_FALSE(h.presenter->escape());
    EXPECT_EQ(h.lines.back(), "[update] installing, cannot cancel now");
    EXPECT_TRUE(h.presenter->progressShown);
    h.runBlocking();
    EXPECT_EQ(h.installer->installedArchives.size(), 1u);
}

TEST(AutoUpdaterInstall, OnlySecureDownloadsAndNeverOverPackageFiles) {
    {
        UpdaterHarness h;
        h.checkAndOffer("http://downloads.example.com/v.tar.gz");
        h.presenter->press("Update Now");
        EXPECT_TRUE(h.transport->downloads.empty());
        EXPECT_FALSE(h.updater->isUpdating());
        EXPECT_EQ(lastAlertText(h), texts::insecureDownload("http://downloads.example.com/v.tar.gz"));
        EXPECT_EQ(h.lines.back(), "[update] refusing insecure download URL: http://downloads.example.com/v.tar.gz");
    }
    {
        UpdaterHarness h; // a backend on this machine may serve plain http; no "sha256" is fine
        h.checkAndOffer("http://127.0.0.1:8790/downloads/v.tar.gz");
        h.presenter->press("Update Now");
        ASSERT_EQ(h.transport->downloads.size(), 1u);
        h.transport->answerDownload("release");
        h.queue->runUntilIdle();
        EXPECT_EQ(h.installer->installedArchives, Lines{"release"});
    }
    {
        UpdaterHarness h; // not a URL at all: nothing happens, as when nothing was offered
        h.checkAndOffer("downloads/v.tar.gz");
        h.presenter->press("Update Now");
        EXPECT_TRUE(h.transport->downloads.empty());
        EXPECT_EQ(h.presenter->alerts.size(), 1u);
    }
    {
        UpdaterHarness h;
        h.installer->packageManaged = true;
        h.checkAndOffer("https://h/v.tar.gz");
        h.presenter->press("Update Now");
        EXPECT_TRUE(h.transport->downloads.empty());
        EXPECT_FALSE(h.updater->isUpdating());
        EXPECT_EQ(h.presenter->alerts.back().alert, texts::packageManaged("2.0.0", true));
        h.presenter->press("Open Download Page");
        EXPECT_EQ(h.opened, Lines{"https://vokari.example.com"});
    }
}

} // namespace
} // namespace vokari
