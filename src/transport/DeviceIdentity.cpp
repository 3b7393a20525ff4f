#include "transport/DeviceIdentity.h"

#include "app/DebugLog.h"
#include "app/Settings.h"
#include "core/Uuid.h"
#include "transport/JsonText.h"

namespace vokari {
namespace {

SecretQuery plainQuery() {
    return {DeviceIdentity::keychainService, DeviceIdentity::keychainAccount, false};
}
SecretQuery legacyQuery() {
    return {DeviceIdentity::keychainService, DeviceIdentity::keychainAccount, true};
}
std::string shortId(const std::string& id) {
    return JsonText::prefix(id, 8) + "...";
}

} // namespace

bool DeviceIdentity::save(SecretStore& store, const std::string& deviceId) {
    store.remove(plainQuery());
    if (int status = store.add(plainQuery(), deviceId); status != 0) {
        debugLog("⚠️ Keychain save failed: " + std::to_string(status));
        return false;
    }
    return true;
}

std::string DeviceIdentity::settle(SecretStore& store, DefaultsStore& defaults) {
    if (auto id = store.read(plainQuery())) {
        debugLog("🔑 Device ID from keychain: " + shortId(*id));
        return *id;
    }
    if (auto id = store.read(legacyQuery())) {
        // The old copy goes only once the new one is stored, so a failing store never loses the identifier.
        if (save(store, *id)) {
            store.remove(legacyQuery());
        }
        debugLog("🔑 Migrated device ID from sync keychain: " + shortId(*id));
        return *id;
    }
    Settings settings(defaults);
    if (auto id = settings.legacyDeviceId()) {
        if (save(store, *id)) {
            settings.removeLegacyDeviceId();
        }
        debugLog("🔑 Migrated device ID from UserDefaults: " + shortId(*id));
        return *id;
    }
    std::string id = makeUuidString();
    save(store, id);
    debugLog("🔑 Generated new device ID: " + shortId(id));
    return id;
}

} // namespace vokari
