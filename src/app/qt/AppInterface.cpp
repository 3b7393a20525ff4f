#include "app/qt/AppInterface.h"

#include "app/qt/InstanceChannel.h"
#include "core/DebugLog.h"
#include "platform/linux/x11/X11KeyTranslation.h"
#include "transport/VocabularyFile.h"
#include "ui/BrandFonts.h"
#include "ui/MainWindowController.h"
#include "ui/OnboardingWindow.h"
#include "ui/StatusTrayIcon.h"

#include <QDesktopServices>
#include <QKeyEvent>

namespace vokari {

AppInterface::AppInterface(Dependencies d) : deps(std::move(d)) {}

// The window and panel go before the tray, and all of them before the state they observe.
AppInterface::~AppInterface() {
    relaunchChannel.reset();
    welcome.reset();
    window.reset();
    tray.reset();
}

void AppInterface::registerFonts() {
    BrandFonts::registerAll();
}

void AppInterface::setupMenuBar() {
    StatusTrayIcon::Actions actions;
    actions.openMainWindow = [this] { openMainWindow(); };
    actions.toggleRecording = [this] { toggleRecording(); };
    actions.checkForUpdates = deps.checkForUpdates;
    actions.quit = deps.quit;
    std::weak_ptr<KeptRecordings> kept = deps.keptRecordings;
    actions.hasUnsentRecording = [kept] {
        auto recordings = kept.lock();
        return recordings && !recordings->recordings.get().empty();
    };
    actions.retryLastDictation = [kept, retry = deps.retryRecording] {
        auto recordings = kept.lock();
        if (recordings && retry && !recordings->recordings.get().empty()) {
            retry(recordings->recordings.get().front().id);
        }
    };
    tray = std::make_unique<StatusTrayIcon>(deps.appState, deps.mainQueue, std::move(actions));
    tray->setupMenuBar();
}

void AppInterface::bindState() {
    if (tray) {
        tray->bindState();
    }
}

void AppInterface::openMainWindow() {
    if (!window) {
        AboutView::Actions about;
        about.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
        about.checkForUpdates = deps.checkForUpdates;
        MainView::Dependencies view{.appState = deps.appState,
                                    .notificationCenter = deps.notificationCenter,
                                    .settings = deps.settings,
                                    .mainQueue = deps.mainQueue,
                                    .aboutActions = about,
                                    .fetchHistory = historyFetcher(),
                                    .settingsServices = settingsServices(),
                                    .keptRecordings = deps.keptRecordings,
                                    .retryRecording = deps.retryRecording};
        window = std::make_unique<MainWindowController>(std::move(view), deps.quit);
    }
    window->showAndFocus();
}

// The newest 50 entries; a failed page arrives as an empty one.
TranscriptView::HistoryFetcher AppInterface::historyFetcher() const {
    std::weak_ptr<BackendConnection> weak = deps.backend;
    return [weak](std::function<void(std::vector<Transcript>)> done) {
        if (auto backend = weak.lock()) {
            backend->fetchTranscripts(std::nullopt, 50,
                                      [done](std::vector<Transcript> page, bool) { done(std::move(page)); });
        }
    };
}

// Style and vocabulary go to the backend; the key recorder reads the X11 keysym Qt reports for a key.
SettingsView::Services AppInterface::settingsServices() const {
    std::weak_ptr<BackendConnection> weak = deps.backend;
    SettingsView::Services services;
    services.syncStyle = [weak](const std::string& preset, const std::string& prompt) {
        if (auto backend = weak.lock()) {
            backend->syncStyle(preset, prompt);
        }
    };
    services.syncVocab = [weak](const std::string& vocab) {
        if (auto backend = weak.lock()) {
            backend->syncVocab(vocab);
        }
    };
    services.vocabularyFile = VocabularyFile::defaultPath();
    services.translateKey = [](const QKeyEvent& event) { return x11::virtualKeyFromKeysym(event.nativeVirtualKey()); };
    return services;
}

void AppInterface::showOnboardingIfNeeded() {
    welcome = std::make_unique<OnboardingWindow>(
        OnboardingWindow::Dependencies{deps.settings, deps.mainQueue, deps.notificationCenter});
    welcome->showIfNeeded();
}

void AppInterface::listenForRelaunch(const std::filesystem::path& socketPath) {
    relaunchChannel = std::make_unique<InstanceChannel>(socketPath, [this] { openMainWindow(); });
    if (auto problem = relaunchChannel->listen()) {
        debugLog("⚠️ A second launch cannot reach this instance: " + *problem);
    }
}

void AppInterface::toggleRecording() {
    const bool listening = deps.appState.state.get() == VokariState::listening;
    deps.notificationCenter.post(listening ? notifications::cancelDictation : notifications::startDictation);
}

} // namespace vokari
