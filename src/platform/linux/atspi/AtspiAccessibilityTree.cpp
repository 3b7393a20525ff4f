#include "platform/linux/atspi/AtspiAccessibilityTree.h"

#include "platform/linux/atspi/AtspiElement.h"

#include <atspi/atspi.h>

#include <cstdlib>
#include <filesystem>

namespace vokari::platform_linux {

namespace {

// libatspi ends the process when it finds no D-Bus session bus at all, so it is only started when one is there.
bool sessionBusReachable() {
    if (std::getenv("AT_SPI_BUS_ADDRESS") || std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    return runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec);
}

} // namespace

std::shared_ptr<AccessibleElement> AtspiAccessibilityTree::applicationElement(std::int64_t pid) {
    if (!initialised) {
        if (!sessionBusReachable()) {
            return nullptr;
        }
        // 0: connected now; 1: already connected (by another user of the library in this process).
        const int rc = atspi_init();
        if (rc != 0 && rc != 1) {
            return nullptr;
        }
        initialised = true;
    }
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) {
        return nullptr;
    }
    std::shared_ptr<AccessibleElement> found;
    GError* error = nullptr;
    const gint count = atspi_accessible_get_child_count(desktop, &error);
    for (gint i = 0; !error && !found && i < count; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
        if (error) {
            g_error_free(error);
            error = nullptr;
        }
        if (!app) {
            continue;
        }
        const guint appPid = atspi_accessible_get_process_id(app, &error);
        if (error) {
            g_error_free(error);
            error = nullptr;
        } else if (static_cast<std::int64_t>(appPid) == pid) {
            found = std::make_shared<AtspiElement>(app);
            continue;
        }
        g_object_unref(app);
    }
    if (error) {
        g_error_free(error);
    }
    g_object_unref(desktop);
    return found;
}

} // namespace vokari::platform_linux
