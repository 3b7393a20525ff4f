#pragma once
// Fakes around AutoUpdater: a transport the test answers by hand (checks and downloads), an installer and a
// presenter that record what they are asked, and a harness on the virtual-time main queue. Test thread only.
#include "core/Observable.h"
#include "core/VirtualMainQueue.h"
#include "update/AutoUpdater.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace vokari::test {

class FakeUpdateTransport : public HttpTransport {
public:
    struct Download {
        DownloadRequest request;
        std::shared_ptr<RequestCancellation> cancellation;
        HttpCompletion completion;
    };
    void send(HttpRequest request, HttpCompletion completion) override {
        checks.push_back(request);
        pendingChecks.push_back(std::move(completion));
    }
    void download(DownloadRequest request, std::shared_ptr<RequestCancellation> cancellation,
                  HttpCompletion completion) override {
        downloads.push_back({std::move(request), std::move(cancellation), std::move(completion)});
    }
    void answerCheck(HttpResult result) {
        auto completion = std::move(pendingChecks.front());
        pendingChecks.pop_front();
        completion(std::move(result));
    }
    // Writes `body` where the download goes and answers with `status`.
    void answerDownload(const std::string& body, int status = 200) {
        std::ofstream(downloads.back().request.path, std::ios::binary) << body;
        completeDownload(HttpResponse{status, ""});
    }
    // As a transport does, the completion is dropped once it ran.
    void completeDownload(HttpResult result) {
        auto completion = std::move(downloads.back().completion);
        downloads.back().completion = nullptr;
        completion(std::move(result));
    }
    std::vector<HttpRequest> checks;
    std::deque<HttpCompletion> pendingChecks;
    std::vector<Download> downloads;
};

class FakeInstaller : public UpdateInstaller {
public:
    bool isPackageManaged() const override { return packageManaged; }
    InstallOutcome install(const std::string& archivePath) override {
        std::ifstream in(archivePath, std::ios::binary);
        installedArchives.push_back(std::string(std::istreambuf_iterator<char>(in), {}));
        return outcome;
    }
    bool relaunch(const std::string& program) override {
        relaunched.push_back(program);
        return relaunchWorks;
    }
    bool packageManaged = false;
    InstallOutcome outcome{true, "", "", "/opt/vokari/bin/vokari"};
    bool relaunchWorks = true;
    std::vector<std::string> installedArchives; // contents seen at install time
    std::vector<std::string> relaunched;
};

class FakePresenter : public UpdatePresenter {
public:
    struct Shown {
        UpdateAlert alert;
        std::function<void(std::size_t)> chosen;
        bool open = true;
    };
    void showAlert(UpdateAlert alert, std::function<void(std::size_t)> chosen) override {
        alerts.push_back({std::move(alert), std::move(chosen)});
    }
    void showProgress(const std::string& version, std::function<bool()> cancel) override {
        progressVersion = version;
        status = "Downloading update...";
        cancelProgress = std::move(cancel);
        progressShown = true;
    }
    void updateStatus(const std::string& s) override { status = s; }
    void closeProgress() override { progressShown = false; }

    // Presses the button titled `title` on the oldest open alert.
    void press(const std::string& title) {
        for (auto& shown : alerts) {
            if (!shown.open) {
                continue;
            }
            for (std::size_t i = 0; i < shown.alert.buttons.size(); ++i) {
                if (shown.alert.buttons[i] == title) {
                    shown.open = false;
                    shown.chosen(i);
                    return;
                }
            }
            throw std::runtime_error("no button " + title + " on " + shown.alert.messageText);
        }
        throw std::runtime_error("no open alert");
    }
    // Escape in the progress window: closes it when the updater agrees.
    bool escape() {
        bool closed = cancelProgress();
        progressShown = progressShown && !closed;
        return closed;
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const auto& shown : alerts) {
            out.push_back(shown.alert.messageText);
        }
        return out;
    }
    std::vector<Shown> alerts;
    std::string progressVersion;
    std::string status;
    std::function<bool()> cancelProgress;
    bool progressShown = false;
};

struct UpdaterHarness {
    std::shared_ptr<VirtualMainQueue> queue = std::make_shared<VirtualMainQueue>();
    std::shared_ptr<FakeUpdateTransport> transport = std::make_shared<FakeUpdateTransport>();
    std::shared_ptr<FakeInstaller> installer = std::make_shared<FakeInstaller>();
    std::shared_ptr<FakePresenter> presenter = std::make_shared<FakePresenter>();
    Observable<AppActivity> activity{AppActivity::idle};
    std::vector<std::string> lines;
    std::vector<std::string> opened;
    std::deque<std::function<void()>> blocking;
    bool autoRunBlocking = true;
    int quits = 0;
    std::filesystem::path staging;
    std::shared_ptr<AutoUpdater> updater;

    explicit UpdaterHarness(std::string version = "1.0.0", std::string base = "http://127.0.0.1:8790") {
        staging = std::filesystem::temp_directory_path() /
                  ("vokari-update-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        std::filesystem::create_directories(staging);
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
        std::error_code ignored;
        std::filesystem::remove_all(staging, ignored);
    }
    void runBlocking() {
        while (!blocking.empty()) {
            auto task = std::move(blocking.front());
            blocking.pop_front();
            task();
            queue->runUntilIdle();
        }
    }
    // The check answer with the given JSON body.
    void answer(const std::string& body, int status = 200) {
        transport->answerCheck(HttpResponse{status, body});
        queue->runUntilIdle();
    }
    void checkAndOffer(const std::string& url, const std::string& extra = "") {
        updater->checkForUpdate(false);
        answer(R"({"update_available":true,"latest":"2.0.0","download_url":")" + url + "\"" + extra + "}");
    }
    std::size_t stagingEntries() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(staging), std::filesystem::directory_iterator()));
    }
    static int& counter() {
        static int n = 0;
        return n;
    }
};

} // namespace vokari::test
