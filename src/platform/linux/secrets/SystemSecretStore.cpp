#include "platform/linux/secrets/SystemSecretStore.h"

#include "core/FallbackSecretStore.h"
#include "core/FileSecretStore.h"
#include "platform/linux/secrets/LibsecretStore.h"

#include <cstdlib>
#include <string>

namespace vokari {

std::shared_ptr<SecretStore> SystemSecretStore::make() {
    auto file = std::make_shared<FileSecretStore>();
    const char* choice = std::getenv("VOKARI_SECRET_STORE");
    if (choice && std::string(choice) == "file") {
        return file;
    }
    // Tried even without DBUS_SESSION_BUS_ADDRESS: the session bus is often only at $XDG_RUNTIME_DIR/bus.
    if (auto service = LibsecretStore::open()) {
        return std::make_shared<FallbackSecretStore>(service, file);
    }
    return file;
}

} // namespace vokari
