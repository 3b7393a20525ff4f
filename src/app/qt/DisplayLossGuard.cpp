#include "app/qt/DisplayLossGuard.h"

#include "core/DebugLog.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vokari {
namespace {

// The message handler is a plain function, so what it needs lives here, set once at start-up.
std::function<void()>& cleanUpHook() {
    static std::function<void()> hook;
    return hook;
}
QtMessageHandler previousHandler = nullptr;

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    if (!DisplayLossGuard::reportsLostDisplay(bytes.constData())) {
        if (previousHandler) {
            previousHandler(type, context, text);
        }
        return;
    }
    debugLog("❌ The X server went away — quitting");
    // The clean-up runs on the main thread only, where everything it stops lives.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread() && cleanUpHook()) {
        cleanUpHook()();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

bool DisplayLossGuard::reportsLostDisplay(const char* message) {
    return message && std::strstr(message, "The X11 connection broke") != nullptr;
}

void DisplayLossGuard::install(std::function<void()> cleanUp) {
    cleanUpHook() = std::move(cleanUp);
    previousHandler = qInstallMessageHandler(&handleMessage);
}

} // namespace vokari
