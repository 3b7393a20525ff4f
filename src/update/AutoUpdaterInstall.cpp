// Download, verification, installation and restart of an accepted update, and its cancellation.
#include "update/AutoUpdater.h"

#include "update/Sha256.h"
#include "update/StagingDirectory.h"
#include "update/UpdateTexts.h"

namespace vokari {

void AutoUpdater::downloadAndInstall(const UpdateOffer& offer) {
    if (!UpdateOffer::formsURL(offer.url) || updating) {
        return;
    }
    // The archive replaces the program: it must come over an authenticated connection (or from this machine) and,
    // when the check answer names its checksum, be exactly that file.
    if (!UpdateOffer::isSecureDownloadURL(offer.url)) {
        print("[update] refusing insecure download URL: " + offer.url);
        showError(texts::insecureDownload(offer.url));
        return;
    }
    if (offer.sha256 && !UpdateOffer::normalizedSha256(*offer.sha256)) {
        print("[update] invalid sha256 in the check answer: " + *offer.sha256);
        showError(texts::invalidChecksum());
        return;
    }
    updating = true;
    phase = Phase::downloading;
    attempt = Attempt{++attemptId, offer, nullptr, std::make_shared<RequestCancellation>(), {}};
    if (config.presenter) {
        std::weak_ptr<AutoUpdater> weak = weak_from_this();
        config.presenter->showProgress(offer.version, [weak] {
            auto self = weak.lock();
            return !self || self->cancelCurrentUpdate();
        });
    }
    std::string error;
    attempt->staging = StagingDirectory::create(config.stagingParent, error);
    if (!attempt->staging) {
        endAttempt();
        showError(texts::prepareFailed(error));
        return;
    }
    attempt->archive = attempt->staging->file(archiveName);
    DownloadRequest request;
    request.url = offer.url;
    request.path = attempt->archive;
    // The download holds the staging directory until it lets go of the file, also after a cancel.
    config.transport->download(
        std::move(request), attempt->cancellation,
        [hop = mainHop(), id = attempt->id, staging = attempt->staging](HttpResult result) {
            hop([id, result = std::move(result)](AutoUpdater& self) { self.downloadFinished(id, result); });
        });
}

void AutoUpdater::downloadFinished(std::uint64_t id, const HttpResult& result) {
    if (!attempt || attempt->id != id || phase != Phase::downloading) {
        return; // cancelled meanwhile
    }
    if (const auto* error = std::get_if<TransportError>(&result)) {
        endAttempt();
        showError(texts::downloadFailed(error->description));
        return;
    }
    // An error page saved in place of the archive is no release.
    const int status = std::get<HttpResponse>(result).status;
    if (status < 200 || status > 299) {
        endAttempt();
        showError(texts::downloadStatus(status));
        return;
    }
    if (config.presenter) {
        config.presenter->updateStatus("Installing...");
    }
    phase = Phase::verifying;
    std::optional<std::string> expected;
    if (attempt->offer.sha256) {
        expected = UpdateOffer::normalizedSha256(*attempt->offer.sha256);
    }
    runBlocking([hop = mainHop(), id, staging = attempt->staging, archive = attempt->archive, expected] {
        Verification result;
        if (expected) {
            std::string error;
            auto actual = Sha256::ofFile(archive, &error);
            if (!actual) {
                result.unreadable = error.empty() ? std::string("unknown error") : error;
            } else if (*actual != *expected) {
                result.mismatch = "expected " + *expected + ", got " + *actual;
            }
        }
        hop([id, result](AutoUpdater& self) { self.verified(id, result); });
    });
}

void AutoUpdater::verified(std::uint64_t id, const Verification& result) {
    if (!attempt || attempt->id != id || phase != Phase::verifying) {
        return; // cancelled while the archive was read
    }
    if (!result.unreadable.empty()) {
        endAttempt();
        showError(texts::prepareFailed(result.unreadable));
        return;
    }
    if (!result.mismatch.empty()) {
        print("[update] checksum mismatch: " + result.mismatch);
        endAttempt();
        showError(texts::checksumMismatch(version));
        return;
    }
    // From here the installer runs to its end: its swap is atomic and must not be abandoned half-way.
    phase = Phase::installing;
    runBlocking(
        [hop = mainHop(), id, installer = config.installer, staging = attempt->staging, archive = attempt->archive] {
            InstallOutcome outcome;
            if (installer) {
                outcome = installer->install(archive);
            } else {
                outcome.errorMessage = "Failed to install: no installer is available on this system.";
            }
            hop([id, outcome](AutoUpdater& self) { self.installFinished(id, outcome); });
        });
}

void AutoUpdater::installFinished(std::uint64_t id, const InstallOutcome& outcome) {
    if (!attempt || attempt->id != id) {
        return;
    }
    if (!outcome.ok) {
        if (!outcome.logLine.empty()) {
            print("[update] " + outcome.logLine);
        }
        endAttempt();
        showError(outcome.errorMessage.empty() ? std::string("Failed to install.") : outcome.errorMessage);
        return;
    }
    // The archive goes now; the updater stays busy until the process ends, so no check offers the version that
    // was just installed while the old copy still runs.
    if (config.presenter) {
        config.presenter->closeProgress();
    }
    const std::string program = outcome.installedProgram;
    attempt.reset();
    phase = Phase::restarting;
    relaunch(program);
}

void AutoUpdater::relaunch(const std::string& program) {
    std::weak_ptr<AutoUpdater> weak = weak_from_this();
    showAlert(texts::updateInstalled(), [weak, program](std::size_t) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->runBlocking([hop = self->mainHop(), installer = self->config.installer, program] {
            const bool started = installer && !program.empty() && installer->relaunch(program);
            hop([started, program](AutoUpdater& updater) { updater.relaunchStarted(started, program); });
        });
    });
}

void AutoUpdater::relaunchStarted(bool started, const std::string& program) {
    if (!started) {
        // Quitting now would leave the user with no Vokari at all.
        print("[update] could not start " + (program.empty() ? std::string("the new copy") : program));
        phase = Phase::none;
        updating = false;
        showError(texts::restartFailed());
        return;
    }
    std::weak_ptr<AutoUpdater> weak = weak_from_this();
    config.mainQueue->postAfter(quitDelay, [weak] {
        auto self = weak.lock();
        if (self && self->config.quit) {
            self->config.quit();
        }
    });
}

bool AutoUpdater::cancelCurrentUpdate() {
    if (phase == Phase::installing || phase == Phase::restarting) {
        print("[update] installing, cannot cancel now");
        return false;
    }
    if (attempt) {
        attempt->cancellation->cancel();
        print("[update] update cancelled");
    }
    attempt.reset();
    phase = Phase::none;
    updating = false;
    return true;
}

// Not updating, window closed, staging directory released (removed once no task uses it).
void AutoUpdater::endAttempt() {
    if (config.presenter) {
        config.presenter->closeProgress();
    }
    attempt.reset();
    phase = Phase::none;
    updating = false;
}

} // namespace vokari
