#pragma once
// Picks the secret store for this session: the Secret Service when one answers, mirrored into the private file
// that answers whenever the Secret Service cannot (a locked keyring with no prompter); the file alone when no
// Secret Service answers or VOKARI_SECRET_STORE=file. Called once at start-up, on the main thread.
#include "core/SecretStore.h"

#include <memory>

namespace vokari {

class SystemSecretStore {
public:
    static std::shared_ptr<SecretStore> make();
};

} // namespace vokari
