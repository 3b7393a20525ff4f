#pragma once
// Prefers one secret store (the Secret Service) and mirrors plain items into another (the private file): adds
// and removes go to both, and what the preferred store cannot answer (locked, refused) comes from the mirror,
// so the device identifier survives a locked keyring. Any thread; owned by whoever configures the client.
#include "core/SecretStore.h"

#include <memory>

namespace vokari {

class FallbackSecretStore : public SecretStore {
public:
    FallbackSecretStore(std::shared_ptr<SecretStore> preferred, std::shared_ptr<SecretStore> fallback);

    std::optional<std::string> read(const SecretQuery& query) override;
    SecretLookup lookup(const SecretQuery& query) override;
    void remove(const SecretQuery& query) override;
    int add(const SecretQuery& query, const std::string& data) override;

private:
    std::shared_ptr<SecretStore> preferred;
    std::shared_ptr<SecretStore> fallback;
};

} // namespace vokari
