#include "app/qt/AppDelegate.h"

#include "app/qt/CommandDesktopFactory.h"
#include "app/qt/InstanceChannel.h"
#include "app/qt/QtKeyEventPump.h"
#include "app/qt/QtPasteboard.h"
#include "app/qt/QtSoundPlayer.h"
#include "app/qt/RecyclingSoundPlayer.h"
#include "app/qt/SingleInstance.h"
#include "core/AppVersion.h"
#include "core/DebugLog.h"
#include "net/CurlTransport.h"
#include "platform/linux/audio/LinuxAudioPlatform.h"
#include "platform/linux/secrets/SystemSecretStore.h"
#include "platform/linux/update/BundleInstaller.h"
#include "platform/linux/x11/X11AccessibilityTrust.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11InputSynthesizer.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "platform/linux/x11/X11Workspace.h"
#include "ui/DictationIndicator.h"
#include "ui/MainWindowController.h"
#include "ui/QtUpdatePresenter.h"

#include <QCoreApplication>
#include <QDesktopServices>

#include <algorithm>
#include <cstdlib>

namespace vokari {

AppDelegate::AppDelegate(std::shared_ptr<QtMainQueue> queue, std::shared_ptr<DeferredLogSink> sink)
    : mainQueue(std::move(queue)), logSink(std::move(sink)),
      defaultsStore(JsonFileDefaultsStore::defaultPath(), [](const std::string& line) { debugLog(line); }),
      settings(defaultsStore) {}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
    ui.reset();
    updater.reset();
    updatePresenter.reset();
    // The controller goes first, so nothing it schedules reaches a component that is already gone.
    controller.reset();
    backend.reset();
    logShipper.reset();
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
    keptRecordings =
        KeptRecordings::create(*mainQueue, std::make_shared<UnsentRecordings>(UnsentRecordings::defaultDirectory()));
    keptRecordings->refresh();
    ui = std::make_unique<AppInterface>(AppInterface::Dependencies{
        .appState = appState,
        .notificationCenter = notificationCenter,
        .settings = settings,
        .mainQueue = *mainQueue,
        .quit = [] { QCoreApplication::quit(); },
        .checkForUpdates =
            [this] {
                if (updater) {
                    updater->checkForUpdate(false);
                }
            },
        .backend = nullptr,
        .keptRecordings = keptRecordings,
        .retryRecording =
            [this](const std::string& id) {
                if (controller) {
                    controller->retryRecording(id);
                }
            },
    });
    ui->setupMenuBar();
    configureBackend();
    ui->setBackend(backend);
    createUpdater();
    createController();
    setupAudio();
    setupDictation();
    ui->bindState();
    ui->openMainWindow();
    updater->startPeriodicChecks();
    ui->showOnboardingIfNeeded();
    ui->listenForRelaunch(InstanceChannel::socketPathFor(SingleInstance::defaultLockPath()));
    debugLog("🟢 Vokari running");
}

// One HTTP transport (one connection cache) for the backend client, the command client and the log shipper.
// The shipper takes over the lines logged before the event loop ran.
void AppDelegate::configureBackend() {
    // Tests only: VOKARI_TEST_REQUEST_TIMEOUT (seconds) caps every request, so a hanging backend is given up on
    // quickly in the fault cases.
    CurlTransport::Options transportOptions;
    if (const char* cap = std::getenv("VOKARI_TEST_REQUEST_TIMEOUT")) {
        transportOptions.timeoutCapSeconds = std::max(0.0, std::atof(cap));
    }
    transport = std::make_shared<CurlTransport>(transportOptions);
    RefineClientConfig refine;
    refine.transport = transport;
    refine.defaults = &defaultsStore;
    backend =
        BackendConnection::create(mainQueue, std::move(refine), settings, [] { return SystemSecretStore::make(); });

    LogShipperConfig shipping;
    shipping.transport = transport;
    shipping.mainQueue = mainQueue;
    shipping.deviceId = [weak = std::weak_ptr<BackendConnection>(backend)] {
        auto connection = weak.lock();
        return connection ? connection->deviceId() : std::nullopt;
    };
    logShipper = LogShipper::create(std::move(shipping));
    if (logSink) {
        logSink->attach(logShipper);
    }
}

void AppDelegate::createController() {
    x11 = std::make_shared<x11::X11Connection>();
    workspace = std::make_shared<x11::X11Workspace>(x11);
    soundPlayer = RecyclingSoundPlayer::create(*mainQueue, [] { return std::make_unique<x11::QtSoundPlayer>(); });
    alertPresenter = std::make_shared<QtAlertPresenter>();

    // The backend client's first user: its construction (on a thread of its own) settles the device identifier and
    // registers the device; a dictation finished before that waits for it.
    backend->start();
    DictationController::Dependencies deps{
        .mainQueue = *mainQueue,
        .appState = appState,
        .settings = settings,
        .notificationCenter = notificationCenter,
        .refineService = backend,
        .commandService = backend,
        .commandRunner = CommandDesktopFactory::makeExecutor(*mainQueue, x11, workspace),
        .screenGrabber = CommandDesktopFactory::makeScreenCapture(),
        .workspace = workspace,
        .soundPlayer = soundPlayer,
        .alertPresenter = alertPresenter,
        .transcriptSink = [this]() -> TranscriptSink* {
            MainWindowController* window = ui ? ui->windowController() : nullptr;
            return window ? window->mainView() : nullptr;
        },
        .recordingKeeper = keptRecordings,
    };
    controller = DictationController::create(std::move(deps));
}

void AppDelegate::setupAudio() {
    audioCapture = AudioCaptureManager::create(*mainQueue, platform_linux::makeLinuxAudioPlatform(*mainQueue),
                                               appState.currentMicName, notificationCenter);
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
    dictationIndicator = std::make_shared<DictationIndicator>(*mainQueue, settings, notificationCenter);
    controller->setupDictation(textInserter, dictationIndicator, globalHotkey);
}

namespace {

AppActivity activityOf(VokariState state) {
    switch (state) {
    case VokariState::idle:
        return AppActivity::idle;
    case VokariState::listening:
        return AppActivity::listening;
    case VokariState::processing:
        return AppActivity::processing;
    case VokariState::error:
        break;
    }
    return AppActivity::other;
}

} // namespace

// Checks the backend the app talks to, over the shared transport, for the version this build carries.
void AppDelegate::createUpdater() {
    updatePresenter = std::make_shared<QtUpdatePresenter>();
    AutoUpdaterConfig config;
    config.mainQueue = mainQueue;
    config.transport = transport;
    config.installer = std::make_shared<BundleInstaller>();
    config.presenter = updatePresenter;
    config.activity.current = [this] { return activityOf(appState.state.get()); };
    config.activity.subscribe = [this](std::function<void(AppActivity)> deliver) {
        return appState.state.subscribe([deliver](const VokariState& state) { deliver(activityOf(state)); });
    };
    config.currentVersion = appVersion();
    config.downloadPage = AboutView::websiteUrl().toString().toStdString();
    config.quit = [] { QCoreApplication::quit(); };
    config.openURL = [](const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); };
    updater = AutoUpdater::create(std::move(config));
}

void AppDelegate::applicationLostDisplay() {
    if (controller && !terminated) {
        controller->keepRecordingInProgress("The X server went away during the recording");
    }
    applicationWillTerminate();
}

void AppDelegate::applicationWillTerminate() {
    if (terminated) {
        return;
    }
    terminated = true;
    if (controller) {
        controller->shutdown();
    }
    // A recording kept at quit is on disk before the process can end.
    if (keptRecordings) {
        keptRecordings->waitForWorker();
    }
    debugLog("🧹 Cleanup complete");
    // Worker threads stop before anything they call into goes: the identity thread is waited for, the network
    // worker cancels what is in flight and ends; the log's lines stay with the deferred sink from here on.
    if (logSink) {
        logSink->attach(nullptr);
    }
    if (backend) {
        backend->shutdown();
    }
    if (transport) {
        transport->shutdown();
    }
}

} // namespace vokari
