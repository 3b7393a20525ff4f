#include "app/qt/CommandDesktopFactory.h"

#include "app/qt/QtScreenSource.h"
#include "platform/linux/atspi/AtspiAccessibilityTree.h"
#include "platform/linux/gio/DesktopEntries.h"
#include "platform/linux/gio/GioUrlOpener.h"
#include "platform/linux/x11/X11AppSwitcher.h"
#include "platform/linux/x11/X11KeyPoster.h"
#include "platform/linux/x11/X11PointerPoster.h"

namespace vokari {

std::shared_ptr<CommandExecutor> CommandDesktopFactory::makeExecutor(MainQueue& queue,
                                                                     std::shared_ptr<x11::X11Connection> x11,
                                                                     std::shared_ptr<x11::X11Workspace> workspace) {
    auto entries = std::make_shared<platform_linux::DesktopEntries>();
    CommandExecutor::Desktop desktop;
    desktop.apps =
        std::make_shared<x11::X11AppSwitcher>(std::move(workspace), [entries](const std::string& windowClass) {
            return entries->nameForWindowClass(windowClass);
        });
    desktop.launcher = entries;
    desktop.urls = std::make_shared<platform_linux::GioUrlOpener>();
    desktop.keys = std::make_shared<x11::X11KeyPoster>(queue, x11);
    desktop.pointer = std::make_shared<x11::X11PointerPoster>(x11);
    desktop.accessibility = std::make_shared<platform_linux::AtspiAccessibilityTree>();
    return CommandExecutor::create(queue, std::move(desktop));
}

std::shared_ptr<ScreenCapture> CommandDesktopFactory::makeScreenCapture() {
    return std::make_shared<ScreenCapture>(std::make_shared<QtScreenSource>());
}

} // namespace vokari
