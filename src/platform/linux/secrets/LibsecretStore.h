#pragma once
// SecretStore on the freedesktop Secret Service (gnome-keyring, KWallet) through libsecret. Items carry the
// attributes "service" and "account"; the legacy synchronizable item carries "synchronizable" = "true" as well,
// and a plain query never matches it. Blocking D-Bus calls: use from any thread except a UI thread that must
// not stall. Owned through shared_ptr by whoever configures the backend client.
#include "core/SecretStore.h"

#include <memory>

namespace vokari {

class LibsecretStore : public SecretStore {
public:
    // Connects to the session's Secret Service; nothing when none answers.
    static std::shared_ptr<LibsecretStore> open();
    ~LibsecretStore() override;

    std::optional<std::string> read(const SecretQuery& query) override;
    // Unavailable when the search fails or a matching item is locked (no unlock prompt is ever shown).
    SecretLookup lookup(const SecretQuery& query) override;
    void remove(const SecretQuery& query) override;
    int add(const SecretQuery& query, const std::string& data) override;

    struct Impl;

private:
    explicit LibsecretStore(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};

} // namespace vokari
