#pragma once
// The application delegate: owns every long-lived object of the running app and runs the launch sequence
// (backend client and log shipper wiring, audio set-up, dictation set-up, "🟢 Vokari running") and termination
// ("🧹 Cleanup complete"). Main thread; needs a QApplication. Created once by the process entry, destroyed
// before the application object.
#include "app/AppState.h"
#include "app/DictationController.h"
#include "app/qt/AppInterface.h"
#include "app/qt/DeferredLogSink.h"
#include "app/qt/QtAlertPresenter.h"
#include "app/qt/QtMainQueue.h"
#include "audio/AudioCaptureManager.h"
#include "desktop/GlobalHotkey.h"
#include "desktop/TextInserter.h"

#include <memory>

namespace vokari {

class CurlTransport;
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
    // Stops the hotkey, the max-duration timer and capture, then logs the clean-up. Idempotent.
    void applicationWillTerminate();

private:
    void configureBackend();
    void createController();
    void setupAudio();
    void setupDictation();

    std::shared_ptr<QtMainQueue> mainQueue;
    std::shared_ptr<DeferredLogSink> logSink;
    AppState& appState;
    NotificationCenter& notificationCenter;
    Settings settings;

    std::shared_ptr<CurlTransport> transport;
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

    // The tray, the main window and the welcome panel.
    std::unique_ptr<AppInterface> ui;

    bool launched = false;
    bool terminated = false;
};

} // namespace vokari
