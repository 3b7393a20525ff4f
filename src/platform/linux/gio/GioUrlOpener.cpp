#include "platform/linux/gio/GioUrlOpener.h"

#include "core/DebugLog.h"

#include <gio/gio.h>

namespace vokari::platform_linux {

void GioUrlOpener::open(const std::string& url) {
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error)) {
        debugLog(std::string("⚠️ No handler opened the URL: ") + (error ? error->message : "unknown error"));
    }
    if (error) {
        g_error_free(error);
    }
}

} // namespace vokari::platform_linux
