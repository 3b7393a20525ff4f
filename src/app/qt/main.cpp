// The process entry: display and single-instance checks, log start-up, the Qt application with the main queue on
// its event loop, the application delegate, and termination on quit, SIGINT, SIGTERM and SIGHUP.
#include "app/qt/AppDelegate.h"
#include "app/qt/DeferredLogSink.h"
#include "app/qt/DisplayLossGuard.h"
#include "app/qt/DisplayProbe.h"
#include "app/qt/InstanceChannel.h"
#include "app/qt/QtMainQueue.h"
#include "app/qt/SingleInstance.h"
#include "app/qt/UnixSignalWatcher.h"
#include "core/AppVersion.h"
#include "core/DebugLog.h"
#include "platform/linux/update/BundleInstaller.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    using namespace vokari;
    // Two arguments only: --version for packagers and the installer's check of a new copy, and the mark an
    // update's restart carries.
    bool restarted = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Vokari %s\n", appVersion());
            return 0;
        }
        restarted = restarted || std::strcmp(argv[i], BundleInstaller::restartArgument) == 0;
    }
    // A closed terminal or log pipe must not end the app in the middle of a paste.
    std::signal(SIGPIPE, SIG_IGN);
    // Quit, SIGINT, SIGTERM and SIGHUP all end the event loop, so every way out runs the same clean-up.
    UnixSignalWatcher signalWatcher([](int) { QCoreApplication::quit(); });
    signalWatcher.install({SIGINT, SIGTERM, SIGHUP});

    if (auto problem = DisplayProbe::problem()) {
        std::fprintf(stderr, "vokari: %s\n", problem->c_str());
        return 1;
    }
    // Checked before the log starts: starting it empties the debug file the running instance writes to.
    SingleInstance instance(SingleInstance::defaultLockPath());
    // A restart after an update is started by the instance it replaces, which is still exiting: wait for it.
    auto claim = restarted ? instance.acquireWaiting(std::chrono::seconds(10)) : instance.acquire();
    if (claim.outcome == SingleInstance::Outcome::alreadyRunning) {
        // Launching again is how a user asks for the window of the running instance.
        if (InstanceChannel::requestOpenWindow(InstanceChannel::socketPathFor(SingleInstance::defaultLockPath()))) {
            std::fprintf(stderr, "vokari: Vokari is already running in this session; its window is shown.\n");
        } else {
            std::fprintf(stderr, "vokari: %s\n", claim.message.c_str());
        }
        return 0;
    }
    if (claim.outcome == SingleInstance::Outcome::failed) {
        std::fprintf(stderr, "vokari: %s\n", claim.message.c_str());
        return 1;
    }

    auto logSink = std::make_shared<DeferredLogSink>();
    debuglog::setSink(logSink);
    startDebugLog();

    // The hotkey, the clipboard and the paste chord are X11's, so the toolkit must talk X11 as well.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vokari"));
    QApplication::setApplicationVersion(QString::fromUtf8(appVersion()));
    QApplication::setDesktopFileName(QStringLiteral("vokari"));
    // Vokari lives in the background; closing its last alert must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    auto queue = std::make_shared<QtMainQueue>(&app);
    signalWatcher.connectToEventLoop();

    auto delegate = std::make_unique<AppDelegate>(queue, logSink);
    // A lost X server ends the app through the same clean-up as a quit, with a line in the log.
    DisplayLossGuard::install([d = delegate.get()] { d->applicationLostDisplay(); });
    QTimer::singleShot(0, &app, [d = delegate.get()] { d->applicationDidFinishLaunching(); });
    const int code = app.exec();

    // Termination stops every worker thread (network, identity, audio) before the objects they call into go, so
    // the process ends the ordinary way.
    delegate->applicationWillTerminate();
    delegate.reset();
    queue->close();
    debuglog::setSink(nullptr);
    return code;
}
