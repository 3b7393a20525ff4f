#pragma once
// The secure store that holds the device identifier: generic-password items named by service and account,
// optionally the legacy "synchronizable" variant of the same item. Implementations: the Secret Service
// (platform/linux/secrets), a private 0600 file (FileSecretStore), a fake in tests. Any thread; failures are
// values and no exception leaves a store.
#include <optional>
#include <string>

namespace vokari {

struct SecretQuery {
    std::string service;
    std::string account;
    bool synchronizable = false;
};

// What a lookup found. `unavailable` means an item may exist but cannot be read now (a locked keyring, a failed
// search): callers must not take it for "no identifier yet".
struct SecretLookup {
    enum class Status { found, absent, unavailable };
    Status status = Status::absent;
    std::string data; // only for found

    static SecretLookup found(std::string value) { return {Status::found, std::move(value)}; }
    static SecretLookup absent() { return {Status::absent, {}}; }
    static SecretLookup unavailable() { return {Status::unavailable, {}}; }
    bool isFound() const { return status == Status::found; }
    bool isUnavailable() const { return status == Status::unavailable; }
    std::optional<std::string> value() const { return isFound() ? std::optional<std::string>(data) : std::nullopt; }
};

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The item's data, or nothing when there is none or it cannot be read.
    virtual std::optional<std::string> read(const SecretQuery& query) = 0;
    // The three-way form of read(); stores that can tell "locked" from "missing" override it.
    virtual SecretLookup lookup(const SecretQuery& query) {
        auto value = read(query);
        return value ? SecretLookup::found(std::move(*value)) : SecretLookup::absent();
    }
    // Deletes every item matching the query exactly (a plain query never touches the synchronizable item).
    virtual void remove(const SecretQuery& query) = 0;
    // Adds an item; 0 on success, otherwise the store's own non-zero status.
    virtual int add(const SecretQuery& query, const std::string& data) = 0;
};

} // namespace vokari
