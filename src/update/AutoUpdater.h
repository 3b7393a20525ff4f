#pragma once
// Keeps Vokari current: 5 s after launch and then every hour it asks the backend ("/update/check") whether a newer
// version exists and offers it in an alert, but never while the user dictates: an update found by an automatic
// check then waits until the app is idle again. On "Update Now" it downloads the release archive into a private
// staging directory, checks its SHA-256 against the one the check answer carries, has the installer put it in
// place, and restarts into the copy just installed. A manual check (tray menu, About tab) reports every outcome;
// an automatic one only a found update. Diagnostics go to standard output as "[update] " lines.
//
// Threads: every public call and every state change on the main thread. Transport completions and the blocking
// steps (hashing, installing, starting the new copy) run elsewhere and hop back to the main queue holding the
// updater weakly. Created with create() and owned by the app's wiring; no process-wide instance.
#include "core/MainQueue.h"
#include "core/SerialWorker.h"
#include "core/Subscription.h"
#include "http/HttpTransport.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateOffer.h"
#include "update/UpdatePresenter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vokari {

class StagingDirectory;

// The app's dictation phase as the updater needs it: whether an alert may appear now, and when it may later.
enum class AppActivity { idle, listening, processing, other };

struct AppActivitySource {
    std::function<AppActivity()> current;
    // Delivers the current phase at once, then every change, until the subscription is reset. Main thread.
    std::function<Subscription(std::function<void(AppActivity)>)> subscribe;
};

struct AutoUpdaterConfig {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<HttpTransport> transport;
    std::shared_ptr<UpdateInstaller> installer;
    std::shared_ptr<UpdatePresenter> presenter;
    AppActivitySource activity;
    std::string baseURL;        // empty: BackendOrigin::current()
    std::string currentVersion; // empty: "0.0.0"
    std::string downloadPage;   // offered to package-managed installs; empty: none
    std::function<void()> quit; // ends the app after the restart was started
    std::function<void(const std::string&)> openURL;
    std::function<void(const std::string&)> print;          // one line; default: standard output
    std::function<void(std::function<void()>)> runBlocking; // default: a worker thread of the updater's
    std::string stagingParent;                              // empty: StagingDirectory::defaultParent()
};

class AutoUpdater : public std::enable_shared_from_this<AutoUpdater> {
public:
    static constexpr double firstCheckDelay = 5.0;
    static constexpr double checkInterval = 3600.0;
    static constexpr double quitDelay = 0.5;
    static constexpr const char* archiveName = "Vokari-update.tar.gz";

    static std::shared_ptr<AutoUpdater> create(AutoUpdaterConfig config);
    ~AutoUpdater();
    AutoUpdater(const AutoUpdater&) = delete;
    AutoUpdater& operator=(const AutoUpdater&) = delete;

    // An automatic check 5 s from now, then one every hour. Once.
    void startPeriodicChecks();
    // silent: an automatic check (only a found update shows); otherwise a manual one that reports every outcome.
    void checkForUpdate(bool silent);
    // The progress window's Escape or close. Stops a download (or its verification) in flight; nothing is then
    // installed or restarted. Refused (false, the window stays) once the installation has begun, which must not be
    // cut short.
    bool cancelCurrentUpdate();

    const std::string& currentVersion() const { return version; }
    bool isUpdating() const { return updating; }
    const std::optional<UpdateOffer>& pendingUpdate() const { return pending; }

private:
    enum class Phase { none, downloading, verifying, installing, restarting };
    // One accepted update, from the download to the restart.
    struct Attempt {
        std::uint64_t id = 0;
        UpdateOffer offer;
        std::shared_ptr<StagingDirectory> staging;
        std::shared_ptr<RequestCancellation> cancellation;
        std::string archive;
    };

    explicit AutoUpdater(AutoUpdaterConfig config);
    void handleCheckAnswer(bool silent, const HttpResult& result);
    void observeIdleForUpdate();
    void idleStateDelivered(AppActivity activity);
    void showUpdateAlert(const UpdateOffer& offer);
    void showPackageManagedAlert(const UpdateOffer& offer);
    void downloadAndInstall(const UpdateOffer& offer);
    void downloadFinished(std::uint64_t id, const HttpResult& result);
    // The archive against the checksum of the check answer; both empty when it matches (or none was given).
    struct Verification {
        std::string unreadable; // why the archive could not be read
        std::string mismatch;   // "expected <hex>, got <hex>"
    };
    void verified(std::uint64_t id, const Verification& result);
    void installFinished(std::uint64_t id, const InstallOutcome& outcome);
    void relaunch(const std::string& program);
    void relaunchStarted(bool started, const std::string& program);
    void endAttempt();
    void showError(const std::string& message);
    void showAlert(UpdateAlert alert, std::function<void(std::size_t)> chosen = nullptr);
    void print(const std::string& line) const;
    void runBlocking(std::function<void()> task);
    // A function that, from any thread, runs its argument on the main queue while this updater lives. It holds the
    // updater weakly and never locks it off the main thread, so the updater always ends on the main thread.
    std::function<void(std::function<void(AutoUpdater&)>)> mainHop();

    AutoUpdaterConfig config;
    std::string baseURL;
    std::string version;
    std::unique_ptr<SerialWorker> worker; // the default runBlocking's thread

    TaskHandle firstCheck;
    TaskHandle timer;
    std::optional<UpdateOffer> pending;
    Subscription idleObserver;
    bool observingIdle = false;
    bool updating = false;
    bool updateAlertShowing = false;
    Phase phase = Phase::none;
    std::uint64_t attemptId = 0;
    std::optional<Attempt> attempt;
};

} // namespace vokari
