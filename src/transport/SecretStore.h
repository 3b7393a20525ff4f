#pragma once
// The secure store that holds the device identifier: generic-password items named by service and account,
// optionally the legacy "synchronizable" variant of the same item. Implementations: the Secret Service
// (platform/linux/secrets), a private 0600 file (FileSecretStore), a fake in tests. Any thread; failures are
// values: a read that fails finds nothing, a failed add returns a non-zero status.
#include <optional>
#include <string>

namespace vokari {

struct SecretQuery {
    std::string service;
    std::string account;
    bool synchronizable = false;
};

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The item's data, or nothing when there is none or the store cannot be read.
    virtual std::optional<std::string> read(const SecretQuery& query) = 0;
    // Deletes every item matching the query exactly (a plain query never touches the synchronizable item).
    virtual void remove(const SecretQuery& query) = 0;
    // Adds an item; 0 on success, otherwise the store's own non-zero status.
    virtual int add(const SecretQuery& query, const std::string& data) = 0;
};

} // namespace vokari
