#include "core/FallbackSecretStore.h"

namespace vokari {

FallbackSecretStore::FallbackSecretStore(std::shared_ptr<SecretStore> preferred, std::shared_ptr<SecretStore> fallback)
    : preferred(std::move(preferred)), fallback(std::move(fallback)) {}

std::optional<std::string> FallbackSecretStore::read(const SecretQuery& query) {
    return lookup(query).value();
}

SecretLookup FallbackSecretStore::lookup(const SecretQuery& query) {
    auto first = preferred->lookup(query);
    auto mirror = fallback->lookup(query);
    if (first.isFound()) {
        // Copies made before the mirror existed (or a stale one) are brought in line, so a later launch with a
        // locked keyring still finds the same identifier. The legacy item is only ever migrated away, not kept.
        if (!query.synchronizable && (!mirror.isFound() || mirror.data != first.data)) {
            fallback->remove(query);
            (void)fallback->add(query, first.data);
        }
        return first;
    }
    if (mirror.isFound()) {
        return mirror;
    }
    // Nothing readable anywhere: "unavailable" from either side wins over "absent".
    return first.isUnavailable() || mirror.isUnavailable() ? SecretLookup::unavailable() : SecretLookup::absent();
}

void FallbackSecretStore::remove(const SecretQuery& query) {
    preferred->remove(query);
    fallback->remove(query);
}

int FallbackSecretStore::add(const SecretQuery& query, const std::string& data) {
    int status = preferred->add(query, data);
    int mirrored = fallback->add(query, data);
    // Report the preferred store's refusal only when the mirror cannot keep the value either.
    return status == 0 || mirrored == 0 ? 0 : status;
}

} // namespace vokari
