#pragma once
// The application delegate: the app's wiring. It creates and owns every long-lived object of the running app (the
// settings store, app state, notification centre, backend clients, log shipper, capture, hotkey, inserter) and
// hands each to the components that need it; it runs the launch sequence (backend, audio set-up, dictation set-up,
// "🟢 Vokari running") and termination ("🧹 Cleanup complete"), which stops every worker thread before the
// objects they call into go. Main thread; needs a QApplication. Created once by the process entry, destroyed
// before the application object and the main queue.
#include "app/AppState.h"
#include "app/BackendConnection.h"
#include "app/DictationController.h"
#include "app/qt/AppInterface.h"
#include "app/qt/DeferredLogSink.h"
#include "app/qt/QtAlertPresenter.h"
#include "app/qt/QtMainQueue.h"
#include "audio/AudioCaptureManager.h"
#include "core/JsonFileDefaultsStore.h"
#include "core/NotificationCenter.h"
#include "desktop/GlobalHotkey.h"
#include "desktop/TextInserter.h"
#include "transport/LogShipper.h"
#include "update/AutoUpdater.h"

#include <memory>

namespace vokari {

class CurlTransport;
class DictationIndicator;
class QtUpdatePresenter;
namespace x11 {
class QtKeyEventPump;
class X11Connection;
class X11KeyEventSource;
class X11Workspace;
} // namespace x11

class AppDelegate {
public:
    AppDelegate(std::shared_ptr<QtMainQueue> mainQueue, std::shared_ptr<DeferredLogSink> logSink);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Runs once the event loop has started.
    void applicationDidFinishLaunching();
    // Stops the hotkey, the max-duration timer and capture, logs the clean-up, then stops the network and
    // identity threads (requests in flight are cancelled). Idempotent.
    void applicationWillTerminate();

    AppState& state() { return appState; }
    NotificationCenter& notifications() { return notificationCenter; }
    Settings& userSettings() { return settings; }

private:
    void configureBackend();
    void createController();
    void setupAudio();
    void setupDictation();
    void createUpdater();

    std::shared_ptr<QtMainQueue> mainQueue;
    std::shared_ptr<DeferredLogSink> logSink;
    JsonFileDefaultsStore defaultsStore;
    Settings settings;
    AppState appState;
    NotificationCenter notificationCenter;

    std::shared_ptr<CurlTransport> transport;
    std::shared_ptr<BackendConnection> backend;
    std::shared_ptr<LogShipper> logShipper;
    std::shared_ptr<x11::X11Connection> x11;
    std::shared_ptr<x11::X11Workspace> workspace;
    std::shared_ptr<SoundPlayer> soundPlayer;
    std::shared_ptr<QtAlertPresenter> alertPresenter;
    std::shared_ptr<x11::X11KeyEventSource> keySource;
    std::unique_ptr<x11::QtKeyEventPump> keyPump;

    std::shared_ptr<DictationController> controller;
    std::shared_ptr<AudioCaptureManager> audioCapture;
    std::shared_ptr<TextInserter> textInserter;
    std::shared_ptr<GlobalHotkey> globalHotkey;
    std::shared_ptr<DictationIndicator> dictationIndicator;

    // Hourly update checks; the tray's and the About tab's "Check for Updates".
    std::shared_ptr<QtUpdatePresenter> updatePresenter;
    std::shared_ptr<AutoUpdater> updater;

    // The tray, the main window and the welcome panel.
    std::unique_ptr<AppInterface> ui;

    bool launched = false;
    bool terminated = false;
};

} // namespace vokari
