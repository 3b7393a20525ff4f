// The check, its outcomes and the wait for an idle app. Download, installation and restart: AutoUpdaterInstall.cpp.
#include "update/AutoUpdater.h"

#include "http/BackendOrigin.h"
#include "update/StagingDirectory.h"
#include "update/UpdateTexts.h"

#include <iostream>

namespace vokari {

std::shared_ptr<AutoUpdater> AutoUpdater::create(AutoUpdaterConfig config) {
    return std::shared_ptr<AutoUpdater>(new AutoUpdater(std::move(config)));
}

AutoUpdater::AutoUpdater(AutoUpdaterConfig c)
    : config(std::move(c)), baseURL(config.baseURL.empty() ? BackendOrigin::current() : config.baseURL),
      version(config.currentVersion.empty() ? "0.0.0" : config.currentVersion) {
    if (!config.transport) {
        config.transport = std::make_shared<UnavailableTransport>();
    }
    if (!config.runBlocking) {
        worker = std::make_unique<SerialWorker>();
    }
}

AutoUpdater::~AutoUpdater() {
    firstCheck.cancel();
    timer.cancel();
    if (attempt && attempt->cancellation) {
        attempt->cancellation->cancel();
    }
}

void AutoUpdater::startPeriodicChecks() {
    if (timer.valid()) {
        return;
    }
    std::weak_ptr<AutoUpdater> weak = weak_from_this();
    auto automaticCheck = [weak] {
        if (auto self = weak.lock()) {
            self->checkForUpdate(true);
        }
    };
    firstCheck = config.mainQueue->postAfter(firstCheckDelay, automaticCheck);
    timer = config.mainQueue->postRepeating(checkInterval, automaticCheck);
}

void AutoUpdater::checkForUpdate(bool silent) {
    if (updating) {
        if (!silent) {
            print("[update] already updating, skipping check");
        }
        return;
    }
    auto url = UpdateOffer::checkURL(baseURL, version);
    if (!url) {
        return;
    }
    HttpRequest request;
    request.method = "GET";
    request.url = *url;
    config.transport->send(std::move(request), [hop = mainHop(), silent](HttpResult result) {
        hop([silent, result = std::move(result)](AutoUpdater& self) { self.handleCheckAnswer(silent, result); });
    });
}

void AutoUpdater::handleCheckAnswer(bool silent, const HttpResult& result) {
    if (const auto* error = std::get_if<TransportError>(&result)) {
        if (!silent) {
            print("[update] check failed: " +
                  (error->description.empty() ? std::string("unknown") : error->description));
            showAlert(texts::checkFailed());
        }
        return;
    }
    // The status is not examined: an answer that names an update is one, whatever its code.
    if (auto offer = UpdateOffer::fromCheckAnswer(std::get<HttpResponse>(result).body)) {
        print("[update] new version available: " + offer->version + " (current: " + version + ")");
        if (updating) {
            return;
        }
        const AppActivity now = config.activity.current ? config.activity.current() : AppActivity::idle;
        if (silent && (now == AppActivity::listening || now == AppActivity::processing)) {
            pending = std::move(*offer);
            observeIdleForUpdate();
            return;
        }
        showUpdateAlert(*offer);
        return;
    }
    if (!silent) {
        print("[update] up to date (" + version + ")");
        showAlert(texts::upToDate(version));
    }
}

// One subscription at a time; a newer pending update simply replaces the older one.
void AutoUpdater::observeIdleForUpdate() {
    if (observingIdle || !config.activity.subscribe) {
        return;
    }
    observingIdle = true;
    std::weak_ptr<AutoUpdater> weak = weak_from_this();
    Subscription subscription = config.activity.subscribe([weak](AppActivity activity) {
        if (auto self = weak.lock()) {
            self->idleStateDelivered(activity);
        }
    });
    // The first delivery comes inside subscribe(): when it already ended the wait, the subscription goes here.
    if (observingIdle) {
        idleObserver = std::move(subscription);
    }
}

void AutoUpdater::idleStateDelivered(AppActivity activity) {
    if (activity != AppActivity::idle || !pending) {
        return;
    }
    UpdateOffer offer = std::move(*pending);
    pending.reset();
    observingIdle = false;
    idleObserver.reset();
    if (!updating) {
        showUpdateAlert(offer);
    }
}

void AutoUpdater::showUpdateAlert(const UpdateOffer& offer) {
    // An offer already on screen is not stacked with a second one (a check that ran while it waited for an answer).
    if (updating || updateAlertShowing) {
        return;
    }
    updateAlertShowing = true;
    std::weak_ptr<AutoUpdater> weak = weak_from_this();
    showAlert(texts::updateAvailable(offer.version, version), [weak, offer](std::size_t button) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->updateAlertShowing = false;
        if (button != 0) {
            return; // "Later": the next hourly check offers it again
        }
        if (self->config.installer && self->config.installer->isPackageManaged()) {
            self->showPackageManagedAlert(offer);
        } else {
            self->downloadAndInstall(offer);
        }
    });
}

// A package manager owns the installed files: the user updates through it, or fetches the new package by hand.
void AutoUpdater::showPackageManagedAlert(const UpdateOffer& offer) {
    print("[update] installed by the package manager; not installing " + offer.version);
    const bool hasPage = !config.downloadPage.empty() && static_cast<bool>(config.openURL);
    std::weak_ptr<AutoUpdater> weak = weak_from_this();
    showAlert(texts::packageManaged(offer.version, hasPage), [weak, hasPage](std::size_t button) {
        auto self = weak.lock();
        if (self && hasPage && button == 0) {
            self->config.openURL(self->config.downloadPage);
        }
    });
}

void AutoUpdater::showError(const std::string& message) {
    showAlert(texts::updateFailed(message));
}

void AutoUpdater::showAlert(UpdateAlert alert, std::function<void(std::size_t)> chosen) {
    if (!config.presenter) {
        return;
    }
    config.presenter->showAlert(std::move(alert), [chosen = std::move(chosen)](std::size_t button) {
        if (chosen) {
            chosen(button);
        }
    });
}

void AutoUpdater::print(const std::string& line) const {
    if (config.print) {
        config.print(line);
        return;
    }
    std::cout << line << std::endl;
}

void AutoUpdater::runBlocking(std::function<void()> task) {
    if (config.runBlocking) {
        config.runBlocking(std::move(task));
    } else {
        worker->post(std::move(task));
    }
}

std::function<void(std::function<void(AutoUpdater&)>)> AutoUpdater::mainHop() {
    return [queue = config.mainQueue, weak = weak_from_this()](std::function<void(AutoUpdater&)> fn) {
        queue->post([weak, fn = std::move(fn)] {
            if (auto self = weak.lock()) {
                fn(*self);
            }
        });
    };
}

} // namespace vokari
