#pragma once
// A secret store that prefers one store and falls back on another: reads try the preferred store first, an add
// the preferred store refuses goes to the fallback, removes go to both. Lets the device identifier survive a
// Secret Service that answers but cannot store (locked keyring, no prompter). Any thread.
#include "transport/SecretStore.h"

#include <memory>

namespace vokari {

class FallbackSecretStore : public SecretStore {
public:
    FallbackSecretStore(std::shared_ptr<SecretStore> preferred, std::shared_ptr<SecretStore> fallback);

    std::optional<std::string> read(const SecretQuery& query) override;
    void remove(const SecretQuery& query) override;
    int add(const SecretQuery& query, const std::string& data) override;

private:
    std::shared_ptr<SecretStore> preferred;
    std::shared_ptr<SecretStore> fallback;
};

} // namespace vokari
