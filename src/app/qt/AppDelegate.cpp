#include "app/qt/AppDelegate.h"

#include "app/DebugLog.h"
#include "app/qt/InstanceChannel.h"
#include "app/qt/RecyclingSoundPlayer.h"
#include "app/qt/SingleInstance.h"
#include "command/CommandClient.h"
#include "net/CurlTransport.h"
#include "platform/linux/audio/LinuxAudioPlatform.h"
#include "platform/linux/secrets/SystemSecretStore.h"
#include "platform/linux/x11/QtKeyEventPump.h"
#include "platform/linux/x11/QtPasteboard.h"
#include "platform/linux/x11/QtSoundPlayer.h"
#include "platform/linux/x11/X11AccessibilityTrust.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11InputSynthesizer.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "platform/linux/x11/X11Workspace.h"
#include "transport/LogShipper.h"
#include "transport/RefineClient.h"

#include <QCoreApplication>

namespace vokari {

AppDelegate::AppDelegate(std::shared_ptr<QtMainQueue> queue, std::shared_ptr<DeferredLogSink> sink)
    : mainQueue(std::move(queue)), logSink(std::move(sink)), appState(AppState::shared()),
      notificationCenter(NotificationCenter::defaultCenter()), settings(DefaultsStore::standard()) {}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
    ui.reset();
    // The controller goes first, so nothing it schedules reaches a component that is already gone.
    controller.reset();
    globalHotkey.reset();
    keyPump.reset();
    keySource.reset();
    textInserter.reset();
    audioCapture.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    if (launched) {
        return;
    }
    launched = true;
    AppInterface::registerFonts();
    ui = std::make_unique<AppInterface>(AppInterface::Dependencies{
        .appState = appState,
        .notificationCenter = notificationCenter,
        .settings = settings,
        .mainQueue = *mainQueue,
        .quit = [] { QCoreApplication::quit(); },
        .checkForUpdates = nullptr, // the updater comes with its own component
    });
    ui->setupMenuBar();
    configureBackend();
    createController();
    setupAudio();
    setupDictation();
    ui->bindState();
    ui->openMainWindow();
    ui->showOnboardingIfNeeded();
    ui->listenForRelaunch(InstanceChannel::socketPathFor(SingleInstance::defaultLockPath()));
    debugLog("🟢 Vokari running");
}

// One HTTP transport (one connection cache) for the backend client, the command client and the log shipper.
// The shipper takes over the lines logged before the event loop ran.
void AppDelegate::configureBackend() {
    transport = std::make_shared<CurlTransport>();
    RefineClientConfig refine;
    refine.transport = transport;
    refine.secrets = SystemSecretStore::make();
    RefineClient::configure(std::move(refine));

    LogShipperConfig shipping;
    shipping.transport = transport;
    shipping.mainQueue = mainQueue;
    LogShipper::configure(std::move(shipping));
    if (logSink) {
        logSink->attach(LogShipper::shared());
    }
}

void AppDelegate::createController() {
    x11 = std::make_shared<x11::X11Connection>();
    workspace = std::make_shared<x11::X11Workspace>(x11);
    soundPlayer = RecyclingSoundPlayer::create(*mainQueue, [] { return std::make_unique<x11::QtSoundPlayer>(); });
    alertPresenter = std::make_shared<QtAlertPresenter>();

    // The backend client's first user: its construction settles the device identifier and registers the device.
    auto refine = RefineClient::shared();
    DictationController::Dependencies deps{
        .mainQueue = *mainQueue,
        .appState = appState,
        .settings = settings,
        .notificationCenter = notificationCenter,
        .refineService = refine,
        .commandService =
            std::make_shared<CommandClient>(refine->transport(), refine->baseURL(), refine->currentDeviceId()),
        // The command executor, the screen capture and the main view come with their own components.
        .commandRunner = nullptr,
        .screenGrabber = nullptr,
        .workspace = workspace,
        .soundPlayer = soundPlayer,
        .alertPresenter = alertPresenter,
        .transcriptSink = [] { return static_cast<TranscriptSink*>(nullptr); },
    };
    controller = DictationController::create(std::move(deps));
}

void AppDelegate::setupAudio() {
    audioCapture = AudioCaptureManager::create(*mainQueue, platform_linux::makeLinuxAudioPlatform(*mainQueue), appState,
                                               notificationCenter);
    controller->setupAudio(audioCapture);
}

void AppDelegate::setupDictation() {
    TextInserter::Platform insertion;
    insertion.pasteboard = std::make_shared<x11::QtPasteboard>();
    insertion.input = std::make_shared<x11::X11InputSynthesizer>(x11);
    insertion.workspace = workspace;
    insertion.trust = std::make_shared<x11::X11AccessibilityTrust>(x11);
    textInserter = TextInserter::create(*mainQueue, settings, std::move(insertion));

    keySource = std::make_shared<x11::X11KeyEventSource>();
    keyPump = std::make_unique<x11::QtKeyEventPump>(keySource);
    globalHotkey = GlobalHotkey::create(*mainQueue, settings, keySource);
    // A lost key connection ends the stream; restarting polls until a display answers again.
    std::weak_ptr<GlobalHotkey> weakHotkey = globalHotkey;
    keySource->onConnectionLost = [weakHotkey] {
        if (auto hotkey = weakHotkey.lock()) {
            hotkey->stop();
            hotkey->start();
        }
    };
    // No capsule yet: the controller skips the indicator's calls.
    controller->setupDictation(textInserter, nullptr, globalHotkey);
}

void AppDelegate::applicationWillTerminate() {
    if (terminated) {
        return;
    }
    terminated = true;
    if (controller) {
        controller->shutdown();
    }
    debugLog("🧹 Cleanup complete");
}

} // namespace vokari
