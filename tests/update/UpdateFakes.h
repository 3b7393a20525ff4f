#pragma once
// Fakes around AutoUpdater on the virtual-time main queue: a transport, an installer and a presenter that record
// what they are asked and are answered by the test. Test thread only.
#include "core/Observable.h"
#include "core/VirtualMainQueue.h"
#include "update/AutoUpdater.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <stdlib.h>

namespace vokari::test {

struct FakeUpdateTransport : HttpTransport {
    struct Download {
        DownloadRequest request;
        std::shared_ptr<RequestCancellation> cancellation;
    };
    void send(HttpRequest request, HttpCompletion completion) override {
        checks.push_back(std::move(request));
        pendingChecks.push_back(std::move(completion));
    }
    void download(DownloadRequest request, std::shared_ptr<RequestCancellation> cancel, HttpCompletion done) override {
        downloads.push_back({std::move(request), std::move(cancel)});
        pendingDownload = std::move(done);
    }
    void answerCheck(HttpResult result) {
        auto completion = std::move(pendingChecks.front());
        pendingChecks.pop_front();
        completion(std::move(result));
    }
    // As a transport does, the completion is dropped once it ran. A body is written where the download goes.
    void answerDownload(HttpResult result, const std::string& body = "") {
        std::ofstream(downloads.back().request.path, std::ios::binary) << body;
        std::exchange(pendingDownload, nullptr)(std::move(result));
    }
    std::vector<HttpRequest> checks;
    std::deque<HttpCompletion> pendingChecks;
    std::vector<Download> downloads;
    HttpCompletion pendingDownload;
};

struct FakeInstaller : UpdateInstaller {
    bool isPackageManaged() const override { return packageManaged; }
    InstallOutcome install(const std::string& archivePath) override {
        std::ifstream in(archivePath, std::ios::binary);
        installedArchives.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return outcome;
    }
    bool relaunch(const std::string& program) override {
        relaunched.push_back(program);
        return relaunchWorks;
    }
    bool packageManaged = false;
    InstallOutcome outcome{true, "", "", "/opt/vokari/bin/vokari"};
    bool relaunchWorks = true;
    std::vector<std::string> installedArchives; // the archive's contents at install time
    std::vector<std::string> relaunched;
};

struct FakePresenter : UpdatePresenter {
    void showAlert(UpdateAlert alert, std::function<void(std::size_t)> chosen) override {
        alerts.push_back(std::move(alert));
        answers.push_back(std::move(chosen));
    }
    void showProgress(const std::string& version, std::function<bool()> cancel) override {
        progress = "Updating to " + version + ": Downloading update...";
        cancelProgress = std::move(cancel);
    }
    void updateStatus(const std::string& s) override { progress = progress.substr(0, progress.find(':') + 2) + s; }
    void closeProgress() override { progress.clear(); }

    // Presses the button titled `title` on the oldest alert not yet answered.
    void press(const std::string& title) {
        for (std::size_t a = 0; a < alerts.size(); ++a) {
            if (!answers[a]) {
                continue;
            }
            const auto& buttons = alerts[a].buttons;
            auto it = std::find(buttons.begin(), buttons.end(), title);
            if (it == buttons.end()) {
                throw std::runtime_error("no button " + title + " on " + alerts[a].messageText);
            }
            std::exchange(answers[a], nullptr)(static_cast<std::size_t>(it - buttons.begin()));
            return;
        }
        throw std::runtime_error("no open alert");
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const auto& alert : alerts) {
            out.push_back(alert.messageText);
        }
        return out;
    }
    std::vector<UpdateAlert> alerts;
    std::vector<std::function<void(std::size_t)>> answers;
    std::string progress; // "Updating to <version>: <status>" while shown
    std::function<bool()> cancelProgress;
};

struct UpdaterHarness {
    std::shared_ptr<VirtualMainQueue> queue = std::make_shared<VirtualMainQueue>();
    std::shared_ptr<FakeUpdateTransport> transport = std::make_shared<FakeUpdateTransport>();
    std::shared_ptr<FakeInstaller> installer = std::make_shared<FakeInstaller>();
    std::shared_ptr<FakePresenter> presenter = std::make_shared<FakePresenter>();
    Observable<AppActivity> activity{AppActivity::idle};
    std::vector<std::string> lines, opened;
    std::deque<std::function<void()>> blocking;
    bool autoRunBlocking = true;
    int quits = 0;
    std::filesystem::path staging;
    std::shared_ptr<AutoUpdater> updater;

    explicit UpdaterHarness(std::string version = "1.0.0", std::string base = "http://127.0.0.1:8790") {
        std::string pattern = std::filesystem::temp_directory_path() / "vokari-updater-test-XXXXXX";
        staging = mkdtemp(pattern.data());
        AutoUpdaterConfig config;
        config.mainQueue = queue;
        config.transport = transport;
        config.installer = installer;
        config.presenter = presenter;
        config.activity.current = [this] { return activity.get(); };
        config.activity.subscribe = [this](std::function<void(AppActivity)> fn) {
            return activity.subscribe([fn](const AppActivity& a) { fn(a); });
        };
        config.baseURL = std::move(base);
        config.currentVersion = std::move(version);
        config.downloadPage = "https://vokari.example.com";
        config.quit = [this] { ++quits; };
        config.openURL = [this](const std::string& url) { opened.push_back(url); };
        config.print = [this](const std::string& line) { lines.push_back(line); };
        config.runBlocking = [this](std::function<void()> task) {
            blocking.push_back(std::move(task));
            if (autoRunBlocking) {
                runBlocking();
            }
        };
        config.stagingParent = staging.string();
        updater = AutoUpdater::create(std::move(config));
    }
    ~UpdaterHarness() {
        updater.reset();
        std::filesystem::remove_all(staging);
    }
    void runBlocking() {
        while (!blocking.empty()) {
            auto task = std::move(blocking.front());
            blocking.pop_front();
            task();
            queue->runUntilIdle();
        }
    }
    void answer(const std::string& body, int status = 200) {
        transport->answerCheck(HttpResponse{status, body});
        queue->runUntilIdle();
    }
    void download(HttpResult result, const std::string& body = "") {
        transport->answerDownload(std::move(result), body);
        queue->runUntilIdle();
    }
    // A manual check that finds 2.0.0 at `url`, with more JSON members in `extra`.
    void checkAndOffer(const std::string& url, const std::string& extra = "") {
        updater->checkForUpdate(false);
        answer(R"({"update_available":true,"latest":"2.0.0","download_url":")" + url + "\"" + extra + "}");
    }
    std::size_t stagingEntries() const {
        auto entries = std::filesystem::directory_iterator(staging);
        return static_cast<std::size_t>(std::distance(entries, std::filesystem::directory_iterator()));
    }
};

} // namespace vokari::test
