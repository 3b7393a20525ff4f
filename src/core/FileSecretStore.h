#pragma once
// SecretStore in a private file ($XDG_DATA_HOME/vokari/secrets.json, mode 0600 in a 0700 directory), for
// machines where no Secret Service answers. Every change rewrites the file atomically. Any thread (one lock).
#include "core/SecretStore.h"

#include <filesystem>
#include <mutex>

namespace vokari {

class FileSecretStore : public SecretStore {
public:
    explicit FileSecretStore(std::filesystem::path path = defaultPath());

    std::optional<std::string> read(const SecretQuery& query) override;
    SecretLookup lookup(const SecretQuery& query) override;
    void remove(const SecretQuery& query) override;
    int add(const SecretQuery& query, const std::string& data) override;

    static std::filesystem::path defaultPath();

private:
    std::filesystem::path path;
    std::mutex mutex;
};

} // namespace vokari
