#pragma once
// The per-user key-value store behind the settings: JSON booleans, integers and strings by key.
// Every method is safe from any thread. standard() is the process-wide file-backed store; tests use
// MemoryDefaultsStore. Absent keys read as nothing; typed reads of a value of another type read as nothing.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace vokari {

class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    virtual std::optional<nlohmann::json> object(const std::string& key) const = 0;
    virtual void set(const std::string& key, const nlohmann::json& value) = 0;
    virtual void remove(const std::string& key) = 0;

    std::optional<bool> boolValue(const std::string& key) const;
    std::optional<std::int64_t> integerValue(const std::string& key) const;
    std::optional<std::string> stringValue(const std::string& key) const;

    void setBool(const std::string& key, bool value) { set(key, value); }
    void setInteger(const std::string& key, std::int64_t value) { set(key, value); }
    void setString(const std::string& key, const std::string& value) { set(key, value); }

    // The user's store: $XDG_CONFIG_HOME/vokari/settings.json. Created on first use.
    static DefaultsStore& standard();
};

class MemoryDefaultsStore : public DefaultsStore {
public:
    std::optional<nlohmann::json> object(const std::string& key) const override;
    void set(const std::string& key, const nlohmann::json& value) override;
    void remove(const std::string& key) override;

private:
    mutable std::mutex mutex;
    nlohmann::json values = nlohmann::json::object();
};

} // namespace vokari
