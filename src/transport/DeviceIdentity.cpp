#include "transport/DeviceIdentity.h"

#include "core/DebugLog.h"
#include "core/JsonText.h"
#include "core/Settings.h"
#include "core/Utf8Prefix.h"
#include "core/Uuid.h"

namespace vokari {
namespace {

SecretQuery plainQuery() {
    return {DeviceIdentity::keychainService, DeviceIdentity::keychainAccount, false};
}
SecretQuery legacyQuery() {
    return {DeviceIdentity::keychainService, DeviceIdentity::keychainAccount, true};
}
std::string shortId(const std::string& id) {
    return utf8Prefix(id, 8) + "...";
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
    try {
        return settleFrom(store, defaults);
    } catch (...) {
        // Start-up never stops here: an identifier for this run keeps the client usable.
        std::string id = makeUuidString();
        debugLog("⚠️ Device ID could not be settled; using one for this session: " + shortId(id));
        return id;
    }
}

std::string DeviceIdentity::settleFrom(SecretStore& store, DefaultsStore& defaults) {
    auto plain = store.lookup(plainQuery());
    if (plain.isFound()) {
        debugLog("🔑 Device ID from keychain: " + shortId(plain.data));
        return plain.data;
    }
    bool unavailable = plain.isUnavailable();
    if (!unavailable) {
        auto legacy = store.lookup(legacyQuery());
        if (legacy.isFound()) {
            // The old copy goes only once the new one is stored, so a failing store never loses the identifier.
            if (save(store, legacy.data)) {
                store.remove(legacyQuery());
            }
            debugLog("🔑 Migrated device ID from sync keychain: " + shortId(legacy.data));
            return legacy.data;
        }
        unavailable = legacy.isUnavailable();
    }
    Settings settings(defaults);
    if (unavailable) {
        // A locked keyring may hold the identifier: making and storing a new one would split the history
        // between two identities. This run uses one in memory and nothing is written or deleted.
        std::string id = settings.legacyDeviceId().value_or(makeUuidString());
        debugLog("⚠️ Keychain unavailable; device ID for this session only: " + shortId(id));
        return id;
    }
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
