#pragma once
// The app's visible side, built in launch order by the application delegate: brand fonts, the tray icon with
// its menu, the state binding of the dot, the main window (created on first open, then reused), the welcome
// panel, and the channel through which a second launch asks for the main window. Main thread; owned by the
// application delegate. The state, centre, settings and queue it is given must outlive it.
#include "app/AppState.h"
#include "app/BackendConnection.h"
#include "app/KeptRecordings.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Settings.h"
#include "ui/SettingsView.h"
#include "ui/TranscriptView.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace vokari {

class InstanceChannel;
class MainWindowController;
class OnboardingWindow;
class StatusTrayIcon;

class AppInterface {
public:
    struct Dependencies {
        AppState& appState;
        NotificationCenter& notificationCenter;
        Settings& settings;
        MainQueue& mainQueue;
        std::function<void()> quit;
        std::function<void()> checkForUpdates; // absent until the updater exists: its controls are disabled
        std::shared_ptr<BackendConnection> backend = nullptr; // history, style and vocabulary; absent in tests
        // Recordings whose request failed, and how to send one again; absent: none are shown.
        std::shared_ptr<KeptRecordings> keptRecordings = nullptr;
        std::function<void(const std::string& id)> retryRecording = nullptr;
    };

    explicit AppInterface(Dependencies deps);
    ~AppInterface();
    AppInterface(const AppInterface&) = delete;
    AppInterface& operator=(const AppInterface&) = delete;

    static void registerFonts();
    // The backend is configured after the tray exists and before the main window is built.
    void setBackend(std::shared_ptr<BackendConnection> connection) { deps.backend = std::move(connection); }
    void setupMenuBar();
    void bindState();
    void openMainWindow();
    void showOnboardingIfNeeded();
    // Answers later launches at `socketPath` by opening the main window.
    void listenForRelaunch(const std::filesystem::path& socketPath);

    // Posts "vokari.cancelDictation" while listening, else "vokari.startDictation".
    void toggleRecording();

    MainWindowController* windowController() const { return window.get(); }
    StatusTrayIcon* statusItem() const { return tray.get(); }
    OnboardingWindow* onboarding() const { return welcome.get(); }

private:
    TranscriptView::HistoryFetcher historyFetcher() const;
    SettingsView::Services settingsServices() const;

    Dependencies deps;
    std::unique_ptr<StatusTrayIcon> tray;
    std::unique_ptr<MainWindowController> window;
    std::unique_ptr<OnboardingWindow> welcome;
    std::unique_ptr<InstanceChannel> relaunchChannel;
};

} // namespace vokari
