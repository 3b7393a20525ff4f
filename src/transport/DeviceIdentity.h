#pragma once
// Settles the device identifier at client start-up: the secret store's item, else the legacy synchronizable
// item (migrated), else the legacy "deviceId" setting (migrated), else a new UUID (stored). When the store says
// an item exists but cannot be read (locked keyring), nothing is written and this run uses an identifier in
// memory. Logs each source with the "🔑" lines. Runs on the thread that constructs the client; holds no state.
#include "core/DefaultsStore.h"
#include "core/SecretStore.h"

#include <string>

namespace vokari {

class DeviceIdentity {
public:
    static constexpr const char* keychainService = "ai.vokari";
    static constexpr const char* keychainAccount = "deviceId";

    // Never throws.
    static std::string settle(SecretStore& store, DefaultsStore& defaults);
    // Deletes the plain item, then adds it; logs "⚠️ Keychain save failed: <status>" and returns false when the
    // add fails.
    static bool save(SecretStore& store, const std::string& deviceId);

private:
    static std::string settleFrom(SecretStore& store, DefaultsStore& defaults);
};

} // namespace vokari
