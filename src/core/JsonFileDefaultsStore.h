#pragma once
// DefaultsStore kept in a JSON object file. Every change re-reads the file (so edits by other processes such as
// vokarictl are kept) and replaces it atomically. A missing or empty file reads as empty; a corrupt one reads as
// empty too, is reported through the log function, and is kept aside as "<name>.corrupt" before the first write
// replaces it, so nothing unreadable is silently destroyed. Any thread.
#include "core/DefaultsStore.h"

#include <filesystem>
#include <functional>
#include <vector>

namespace vokari {

class JsonFileDefaultsStore : public DefaultsStore {
public:
    using LogFn = std::function<void(const std::string&)>;
    explicit JsonFileDefaultsStore(std::filesystem::path path, LogFn log = nullptr);

    std::optional<nlohmann::json> object(const std::string& key) const override;

    const std::filesystem::path& path() const { return filePath; }
    static std::filesystem::path defaultPath();

protected:
    void write(const std::string& key, const nlohmann::json& value) override;
    void erase(const std::string& key) override;

private:
    struct Stamp {
        bool exists = false;
        std::filesystem::file_time_type mtime{};
        std::uintmax_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp currentStamp() const;
    // Reloads when the file changed on disk. Appends log lines instead of logging under the lock.
    void refreshLocked(std::vector<std::string>& logLines) const;
    void writeLocked(std::vector<std::string>& logLines);
    void logAll(const std::vector<std::string>& lines) const;

    std::filesystem::path filePath;
    LogFn log;
    mutable std::mutex mutex;
    mutable nlohmann::json values = nlohmann::json::object();
    mutable Stamp loadedStamp;
    mutable bool loadedOnce = false;
    mutable bool corrupt = false;
};

} // namespace vokari
