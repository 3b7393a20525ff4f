#pragma once
// An in-memory SecretStore for tests: items keyed by (service, account, synchronizable), with switches that
// make lookups or adds fail the way a locked or missing keyring does, and a count of every write.
#include "core/SecretStore.h"

#include <map>
#include <mutex>
#include <tuple>

namespace vokari::test {

class FakeSecretStore : public SecretStore {
public:
    using Key = std::tuple<std::string, std::string, bool>;
    std::optional<std::string> read(const SecretQuery& q) override { return lookup(q).value(); }
    SecretLookup lookup(const SecretQuery& q) override {
        std::lock_guard lock(mutex);
        ++reads;
        auto it = items.find(key(q));
        if (failReads || (locked && it != items.end())) {
            return SecretLookup::unavailable();
        }
        return it == items.end() ? SecretLookup::absent() : SecretLookup::found(it->second);
    }
    void remove(const SecretQuery& q) override {
        std::lock_guard lock(mutex);
        ++writes;
        items.erase(key(q));
    }
    int add(const SecretQuery& q, const std::string& data) override {
        std::lock_guard lock(mutex);
        ++writes;
        if (addStatus != 0) {
            return addStatus;
        }
        items[key(q)] = data;
        return 0;
    }
    static Key key(const SecretQuery& q) { return {q.service, q.account, q.synchronizable}; }

    std::map<Key, std::string> items;
    bool failReads = false; // the search itself fails
    bool locked = false;    // items are there but their secrets cannot be loaded
    int addStatus = 0;
    int reads = 0;
    int writes = 0;

private:
    std::mutex mutex;
};

} // namespace vokari::test
