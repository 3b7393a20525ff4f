#include "transport/FileSecretStore.h"

#include "core/AtomicFile.h"
#include "transport/JsonText.h"

#include <cerrno>
#include <sys/stat.h>

namespace vokari {
namespace {

// Items are kept as a JSON array of {"service","account","synchronizable","data"} objects.
// A file that exists but cannot be understood is moved aside as "<name>.corrupt" before it would be replaced,
// so an unreadable identifier is never destroyed.
nlohmann::json loadItems(const std::filesystem::path& path, bool moveAsideIfCorrupt = false) {
    auto text = readWholeFile(path);
    if (!text) {
        return nlohmann::json::array();
    }
    auto parsed = JsonText::parse(*text);
    if (!parsed || !parsed->is_object() || !parsed->contains("items") || !(*parsed)["items"].is_array()) {
        if (moveAsideIfCorrupt) {
            std::error_code ec;
            std::filesystem::rename(path, path.string() + ".corrupt", ec);
        }
        return nlohmann::json::array();
    }
    return (*parsed)["items"];
}

bool matches(const nlohmann::json& item, const SecretQuery& q) {
    return item.is_object() && item.value("service", std::string()) == q.service &&
           item.value("account", std::string()) == q.account && item.value("synchronizable", false) == q.synchronizable;
}

int save(const std::filesystem::path& path, const nlohmann::json& items) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    ::chmod(path.parent_path().c_str(), 0700);
    nlohmann::json doc = {{"items", items}};
    if (writeFileAtomically(path, JsonText::serialize(doc), 0600)) {
        return errno != 0 ? errno : -1;
    }
    return 0;
}

} // namespace

FileSecretStore::FileSecretStore(std::filesystem::path path) : path(std::move(path)) {}

std::filesystem::path FileSecretStore::defaultPath() {
    return xdgDataHome() / "vokari" / "secrets.json";
}

std::optional<std::string> FileSecretStore::read(const SecretQuery& query) {
    std::lock_guard lock(mutex);
    for (const auto& item : loadItems(path)) {
        if (matches(item, query) && item.contains("data") && item["data"].is_string()) {
            return item["data"].get<std::string>();
        }
    }
    return std::nullopt;
}

void FileSecretStore::remove(const SecretQuery& query) {
    std::lock_guard lock(mutex);
    auto items = loadItems(path, true);
    auto kept = nlohmann::json::array();
    for (const auto& item : items) {
        if (!matches(item, query)) {
            kept.push_back(item);
        }
    }
    if (kept.size() != items.size()) {
        (void)save(path, kept);
    }
}

int FileSecretStore::add(const SecretQuery& query, const std::string& data) {
    std::lock_guard lock(mutex);
    auto items = loadItems(path, true);
    items.push_back({{"service", query.service},
                     {"account", query.account},
                     {"synchronizable", query.synchronizable},
                     {"data", data}});
    errno = 0;
    return save(path, items);
}

} // namespace vokari
