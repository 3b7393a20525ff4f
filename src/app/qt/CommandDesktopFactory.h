#pragma once
// Builds the command executor and the screen capture over the Linux desktop: EWMH windows named by their desktop
// entries, GIO launching and URL handlers, XTest typing, keys and clicks, AT-SPI trees, Qt's screen grab.
// Main thread; the app's wiring owns what it returns.
#include "command/CommandExecutor.h"
#include "command/ScreenCapture.h"
#include "core/MainQueue.h"

#include <memory>

namespace vokari {
namespace x11 {
class X11Connection;
class X11Workspace;
} // namespace x11

class CommandDesktopFactory {
public:
    static std::shared_ptr<CommandExecutor> makeExecutor(MainQueue& queue, std::shared_ptr<x11::X11Connection> x11,
                                                         std::shared_ptr<x11::X11Workspace> workspace);
    static std::shared_ptr<ScreenCapture> makeScreenCapture();
};

} // namespace vokari
