#pragma once
// The app's visible side, built in launch order by the application delegate: brand fonts, the tray icon with
// its menu, the state binding of the dot, the main window (created on first open, then reused), the welcome
// panel, and the channel through which a second launch asks for the main window. Main thread; owned by the
// application delegate. The state, centre, settings and queue it is given must outlive it.
#include "app/AppState.h"
#include "core/Settings.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"

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
    };

    explicit AppInterface(Dependencies deps);
    ~AppInterface();
    AppInterface(const AppInterface&) = delete;
    AppInterface& operator=(const AppInterface&) = delete;

    static void registerFonts();
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
    Dependencies deps;
    std::unique_ptr<StatusTrayIcon> tray;
    std::unique_ptr<MainWindowController> window;
    std::unique_ptr<OnboardingWindow> welcome;
    std::unique_ptr<InstanceChannel> relaunchChannel;
};

} // namespace vokari
