#include "platform/linux/gio/DesktopEntries.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <strings.h>

#include <vector>

namespace vokari::platform_linux {
namespace {

bool sameIgnoringCase(const char* a, const std::string& b) {
    return a && ::strcasecmp(a, b.c_str()) == 0;
}

// The desktop-file id without its ".desktop" suffix.
std::string bareId(GAppInfo* info) {
    const char* id = g_app_info_get_id(info);
    std::string out = id ? id : "";
    const std::string suffix = ".desktop";
    if (out.size() > suffix.size() && out.compare(out.size() - suffix.size(), suffix.size(), suffix) == 0) {
        out.resize(out.size() - suffix.size());
    }
    return out;
}

// Every visible desktop entry, owned by the caller (g_list_free_full with g_object_unref).
class AllApps {
public:
    AllApps() : list(g_app_info_get_all()) {}
    ~AllApps() { g_list_free_full(list, g_object_unref); }
    AllApps(const AllApps&) = delete;
    AllApps& operator=(const AllApps&) = delete;
    std::vector<GDesktopAppInfo*> entries() const {
        std::vector<GDesktopAppInfo*> out;
        for (GList* l = list; l; l = l->next) {
            if (G_IS_DESKTOP_APP_INFO(l->data)) {
                out.push_back(G_DESKTOP_APP_INFO(l->data));
            }
        }
        return out;
    }

private:
    GList* list;
};

bool launch(GAppInfo* info, const std::function<void(bool)>& done) {
    GError* error = nullptr;
    GAppLaunchContext* context = g_app_launch_context_new();
    const bool ok = g_app_info_launch(info, nullptr, context, &error);
    g_object_unref(context);
    if (error) {
        g_error_free(error);
    }
    if (done) {
        done(ok);
    }
    return true;
}

} // namespace

bool DesktopEntries::launchIdentifier(const std::string& identifier, std::function<void(bool)> done) {
    if (identifier.empty() || identifier.find('/') != std::string::npos) {
        return false;
    }
    const std::string file = identifier.ends_with(".desktop") ? identifier : identifier + ".desktop";
    GDesktopAppInfo* info = g_desktop_app_info_new(file.c_str());
    if (!info) {
        return false;
    }
    launch(G_APP_INFO(info), done);
    g_object_unref(info);
    return true;
}

bool DesktopEntries::launchNamed(const std::string& name, std::function<void(bool)> done) {
    AllApps apps;
    const auto entries = apps.entries();
    for (auto* entry : entries) {
        if (sameIgnoringCase(g_app_info_get_name(G_APP_INFO(entry)), name)) {
            return launch(G_APP_INFO(entry), done);
        }
    }
    for (auto* entry : entries) {
        if (sameIgnoringCase(g_desktop_app_info_get_generic_name(entry), name)) {
            return launch(G_APP_INFO(entry), done);
        }
    }
    return false;
}

std::optional<std::string> DesktopEntries::nameForWindowClass(const std::string& windowClass) {
    if (windowClass.empty()) {
        return std::nullopt;
    }
    AllApps apps;
    const auto entries = apps.entries();
    for (auto* entry : entries) {
        if (sameIgnoringCase(g_desktop_app_info_get_startup_wm_class(entry), windowClass)) {
            return g_app_info_get_name(G_APP_INFO(entry));
        }
    }
    for (auto* entry : entries) {
        if (sameIgnoringCase(bareId(G_APP_INFO(entry)).c_str(), windowClass)) {
            return g_app_info_get_name(G_APP_INFO(entry));
        }
    }
    return std::nullopt;
}

} // namespace vokari::platform_linux
