#pragma once
// An in-memory SecretStore for tests: items keyed by (service, account, synchronizable), with switches that
// make reads or adds fail the way a locked or missing keyring does.
#include "transport/SecretStore.h"

#include <map>
#include <mutex>
#include <tuple>

namespace vokari::test {

class FakeSecretStore : public SecretStore {
public:
    using Key = std::tuple<std::string, std::string, bool>;
    std::optional<std::string> read(const SecretQuery& q) override {
        std::lock_guard lock(mutex);
        ++reads;
        if (failReads) {
            return std::nullopt;
        }
        auto it = items.find(key(q));
        return it == items.end() ? std::nullopt : std::optional(it->second);
    }
    void remove(const SecretQuery& q) override {
        std::lock_guard lock(mutex);
        items.erase(key(q));
    }
    int add(const SecretQuery& q, const std::string& data) override {
        std::lock_guard lock(mutex);
        if (addStatus != 0) {
            return addStatus;
        }
        items[key(q)] = data;
        return 0;
    }
    static Key key(const SecretQuery& q) { return {q.service, q.account, q.synchronizable}; }

    std::map<Key, std::string> items;
    bool failReads = false;
    int addStatus = 0;
    int reads = 0;

private:
    std::mutex mutex;
};

} // namespace vokari::test
