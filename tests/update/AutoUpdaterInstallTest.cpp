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
const HttpResponse ok{200, ""};

std::string sha256Member(const std::string& hex) {
    return R"(,"sha256":")" + hex + "\"";
}

TEST(AutoUpdaterInstall, DownloadsVerifiesInstallsAndRestartsTheInstalledCopy) {
    UpdaterHarness h; // the SHA-256 of "release", in capitals
    h.checkAndOffer("https://h/Vokari-2.0.0.tar.gz",
                    sha256Member("A4D451EC23463726F72C43D64C710968F6B602CD653B4DE8ADEE1B556240A829"));
    h.presenter->press("Update Now");
    EXPECT_TRUE(h.updater->isUpdating());
    EXPECT_EQ(h.presenter->progress, "Updating to 2.0.0: Downloading update...");

    // Into a fresh directory of its own (0700) under the staging parent, never a fixed path.
    const std::filesystem::path archive = h.transport->downloads.at(0).request.path;
    EXPECT_EQ(h.transport->downloads[0].request.url, "https://h/Vokari-2.0.0.tar.gz");
    EXPECT_EQ(archive.filename(), "Vokari-update.tar.gz");
    EXPECT_EQ(archive.parent_path().parent_path(), h.staging);
    struct stat info {};
    ASSERT_EQ(::stat(archive.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    h.autoRunBlocking = false;
    h.download(ok, "release");
    EXPECT_EQ(h.presenter->progress, "Updating to 2.0.0: Installing...");
    h.runBlocking();
    EXPECT_EQ(h.installer->installedArchives, Lines{"release"});
    EXPECT_EQ(h.presenter->progress, "");
    EXPECT_EQ(h.stagingEntries(), 0u); // the archive is gone once installed
    EXPECT_EQ(h.presenter->alerts.back(), texts::updateInstalled());
    EXPECT_TRUE(h.installer->relaunched.empty()); // not before the user has read the alert

    h.presenter->press("Restart");
    h.runBlocking();
    EXPECT_EQ(h.installer->relaunched, Lines{"/opt/vokari/bin/vokari"});
    h.queue->advance(0.499);
    EXPECT_EQ(h.quits, 0);
    h.queue->advance(0.001);
    EXPECT_EQ(h.quits, 1);
    // Until the process ends no check offers the version just installed.
    h.updater->checkForUpdate(false);
    EXPECT_EQ(h.lines.back(), "[update] already updating, skipping check");
}

TEST(AutoUpdaterInstall, EveryFailureEndsTheAttemptWithItsAlert) {
    struct Case {
        std::string name;
        std::function<void(UpdaterHarness&)> run;
        std::string alertText;
    };
    auto accept = [](UpdaterHarness& h, const std::string& extra = "") {
        h.checkAndOffer("https://h/v.tar.gz", extra);
        h.presenter->press("Update Now");
    };
    const std::vector<Case> cases = {
        {"transport error",
         [&](UpdaterHarness& h) {
             accept(h);
             h.download(TransportError{urlError::networkConnectionLost, "Connection reset"});
         },
         "Download failed: Connection reset"},
        {"error without description",
         [&](UpdaterHarness& h) {
             accept(h);
             h.download(TransportError{urlError::unknown, ""});
         },
         "Download failed: unknown error"},
        {"error page", // not a release
         [&](UpdaterHarness& h) {
             accept(h);
             h.download(HttpResponse{404, ""}, "<html>not found</html>");
         },
         "Download failed: the server answered with status 404"},
        {"no private directory",
         [&](UpdaterHarness& h) {
             std::filesystem::remove(h.staging);
             accept(h);
             std::filesystem::create_directory(h.staging);
         },
         "Failed to prepare update: No such file or directory"},
        {"installer fails",
         [&](UpdaterHarness& h) {
             h.installer->outcome = {false, "Failed to install: Permission denied", "tar exited with 2: bad", ""};
             accept(h);
             h.download(ok, "release");
             EXPECT_EQ(h.lines.back(), "[update] tar exited with 2: bad");
         },
         "Failed to install: Permission denied"},
        {"checksum mismatch",
         [&](UpdaterHarness& h) {
             accept(h, sha256Member(std::string(64, 'a')));
             h.download(ok, "tampered");
             EXPECT_EQ(h.lines.back().rfind("[update] checksum mismatch: expected aaaa", 0), 0u);
         },
         texts::checksumMismatch("1.0.0")},
        {"not a checksum", // not even downloaded
         [&](UpdaterHarness& h) { accept(h, sha256Member("abc")); }, texts::invalidChecksum()},
        {"new copy does not start", // the old one keeps running
         [&](UpdaterHarness& h) {
             h.installer->relaunchWorks = false;
             accept(h);
             h.download(ok, "release");
             h.presenter->press("Restart");
             h.queue->advance(1.0);
         },
         texts::restartFailed()},
    };
    for (const Case& c : cases) {
        UpdaterHarness h;
        c.run(h);
        EXPECT_FALSE(h.updater->isUpdating()) << c.name;
        EXPECT_EQ(h.presenter->progress, "") << c.name;
        EXPECT_EQ(h.presenter->alerts.back(), texts::updateFailed(c.alertText)) << c.name;
        EXPECT_EQ(h.stagingEntries(), 0u) << c.name;
        EXPECT_EQ(h.quits, 0) << c.name;
        if (c.name != "installer fails" && c.name != "new copy does not start") {
            EXPECT_TRUE(h.installer->installedArchives.empty()) << c.name;
        }
        // Ready for the next attempt.
        h.presenter->press("OK");
        std::filesystem::create_directories(h.staging);
        h.checkAndOffer("https://h/v.tar.gz");
        h.presenter->press("Update Now");
        EXPECT_TRUE(h.updater->isUpdating()) << c.name;
    }
}

TEST(AutoUpdaterInstall, CancelStopsTheDownloadAndNothingIsInstalledAfterIt) {
    UpdaterHarness h;
    h.checkAndOffer("https://h/v.tar.gz");
    h.presenter->press("Update Now");
    EXPECT_TRUE(h.presenter->cancelProgress());
    EXPECT_TRUE(h.transport->downloads[0].cancellation->isCancelled());
    EXPECT_FALSE(h.updater->isUpdating());
    EXPECT_EQ(h.lines.back(), "[update] update cancelled");
    // The download ends anyway (it had just finished): ignored, and its directory goes with it.
    h.download(ok, "release");
    h.queue->advance(5.0);
    EXPECT_TRUE(h.installer->installedArchives.empty());
    EXPECT_EQ(h.presenter->titles(), Lines{"Update Available"});
    EXPECT_EQ(h.stagingEntries(), 0u);

    // Cancelled while the checksum is computed: still nothing installed.
    h.autoRunBlocking = false;
    h.checkAndOffer("https://h/v.tar.gz");
    h.presenter->press("Update Now");
    h.download(ok, "release");
    EXPECT_TRUE(h.presenter->cancelProgress());
    h.runBlocking();
    EXPECT_TRUE(h.installer->installedArchives.empty());
    EXPECT_EQ(h.stagingEntries(), 0u);

    // Once installing, the swap runs to its end: the window refuses to close.
    h.checkAndOffer("https://h/v.tar.gz");
    h.presenter->press("Update Now");
    h.download(ok, "release");
    std::exchange(h.blocking.front(), nullptr)(); // the checksum step hands over to the installer
    h.blocking.pop_front();
    h.queue->runUntilIdle();
    EXPECT_FALSE(h.presenter->cancelProgress());
    EXPECT_EQ(h.lines.back(), "[update] installing, cannot cancel now");
    h.runBlocking();
    EXPECT_EQ(h.installer->installedArchives.size(), 1u);
}

TEST(AutoUpdaterInstall, OnlySecureDownloadsAndNeverOverPackageFiles) {
    UpdaterHarness h;
    h.checkAndOffer("http://downloads.example.com/v.tar.gz");
    h.presenter->press("Update Now");
    EXPECT_TRUE(h.transport->downloads.empty());
    EXPECT_FALSE(h.updater->isUpdating());
    EXPECT_EQ(h.presenter->alerts.back(),
              texts::updateFailed(texts::insecureDownload("http://downloads.example.com/v.tar.gz")));
    EXPECT_EQ(h.lines.back(), "[update] refusing insecure download URL: http://downloads.example.com/v.tar.gz");
    h.presenter->press("OK");

    // Not a URL at all: nothing happens, as when nothing was offered.
    h.checkAndOffer("downloads/v.tar.gz");
    h.presenter->press("Update Now");
    EXPECT_EQ(h.presenter->titles(), (Lines{"Update Available", "Update Failed", "Update Available"}));
    EXPECT_FALSE(h.updater->isUpdating());

    // A backend on this machine may serve plain http; an answer without "sha256" is accepted.
    h.checkAndOffer("http://127.0.0.1:8790/downloads/v.tar.gz");
    h.presenter->press("Update Now");
    h.download(ok, "release");
    EXPECT_EQ(h.installer->installedArchives, Lines{"release"});

    UpdaterHarness managed;
    managed.installer->packageManaged = true;
    managed.checkAndOffer("https://h/v.tar.gz");
    managed.presenter->press("Update Now");
    EXPECT_TRUE(managed.transport->downloads.empty());
    EXPECT_FALSE(managed.updater->isUpdating());
    EXPECT_EQ(managed.presenter->alerts.back(), texts::packageManaged("2.0.0", true));
    managed.presenter->press("Open Download Page");
    EXPECT_EQ(managed.opened, Lines{"https://vokari.example.com"});
}

} // namespace
} // namespace vokari
