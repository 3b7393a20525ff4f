#include "transport/FallbackSecretStore.h"

namespace vokari {

FallbackSecretStore::FallbackSecretStore(std::shared_ptr<SecretStore> preferred, std::shared_ptr<SecretStore> fallback)
    : preferred(std::move(preferred)), fallback(std::move(fallback)) {}

std::optional<std::string> FallbackSecretStore::read(const SecretQuery& query) {
    if (auto value = preferred->read(query)) {
        return value;
    }
    return fallback->read(query);
}

void FallbackSecretStore::remove(const SecretQuery& query) {
    preferred->remove(query);
    fallback->remove(query);
}

int FallbackSecretStore::add(const SecretQuery& query, const std::string& data) {
    int status = preferred->add(query, data);
    if (status == 0) {
        return 0;
    }
    // Report the preferred store's refusal only when the fallback cannot keep the value either.
    return fallback->add(query, data) == 0 ? 0 : status;
}

} // namespace vokari
