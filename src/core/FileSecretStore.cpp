#include "core/FileSecretStore.h"

#include "core/AtomicFile.h"
#include "core/JsonText.h"

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

// Fields are checked by type: an item that someone edited into another shape simply matches nothing.
bool matches(const nlohmann::json& item, const SecretQuery& q) {
    if (!item.is_object()) {
        return false;
    }
    auto service = JsonText::string(item, "service");
    auto account = JsonText::string(item, "account");
    auto sync = item.find("synchronizable");
    bool synchronizable = sync != item.end() && sync->is_boolean() && sync->get<bool>();
    if (sync != item.end() && !sync->is_boolean()) {
        return false;
    }
    return service == q.service && account == q.account && synchronizable == q.synchronizable;
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
    return lookup(query).value();
}

SecretLookup FileSecretStore::lookup(const SecretQuery& query) {
    try {
        std::lock_guard lock(mutex);
        for (const auto& item : loadItems(path)) {
            if (!matches(item, query)) {
                continue;
            }
            if (auto data = JsonText::string(item, "data")) {
                return SecretLookup::found(std::move(*data));
            }
        }
        return SecretLookup::absent();
    } catch (...) { // out of memory or a file-system fault: the item may be there, it just cannot be read
        return SecretLookup::unavailable();
    }
}

void FileSecretStore::remove(const SecretQuery& query) {
    try {
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
    } catch (...) {
    }
}

int FileSecretStore::add(const SecretQuery& query, const std::string& data) {
    try {
        std::lock_guard lock(mutex);
        auto items = loadItems(path, true);
        items.push_back({{"service", query.service},
                         {"account", query.account},
                         {"synchronizable", query.synchronizable},
                         {"data", data}});
        errno = 0;
        return save(path, items);
    } catch (...) {
        return -1;
    }
}

} // namespace vokari
