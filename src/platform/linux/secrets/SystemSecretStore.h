#pragma once
// Picks the secret store for this session: the Secret Service when one answers, backed by the private file
// for reads and writes the Secret Service refuses (a locked keyring with no prompter); the file alone when
// there is no session bus or VOKARI_SECRET_STORE=file. Called once at start-up, on the main thread.
#include "transport/SecretStore.h"

#include <memory>

namespace vokari {

class SystemSecretStore {
public:
    static std::shared_ptr<SecretStore> make();
};

} // namespace vokari
