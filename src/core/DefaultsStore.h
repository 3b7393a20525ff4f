#pragma once
// The per-user key-value store behind the settings: JSON booleans, integers and strings by key.
// Every method is safe from any thread. The app owns a JsonFileDefaultsStore; tests use MemoryDefaultsStore. Absent
// keys read as nothing; typed reads of a value of another type read as nothing.
#include "core/Subscription.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vokari {

class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    virtual std::optional<nlohmann::json> object(const std::string& key) const = 0;
    // Writes (or removes) the key, then tells every change observer.
    void set(const std::string& key, const nlohmann::json& value);
    void remove(const std::string& key);

    // fn(key) runs on the writing thread after each set or remove made through this object (not for edits other
    // processes make to the file: those are read at the next use). Until the subscription goes.
    [[nodiscard]] Subscription observeChanges(std::function<void(const std::string& key)> fn);

    std::optional<bool> boolValue(const std::string& key) const;
    std::optional<std::int64_t> integerValue(const std::string& key) const;
    std::optional<std::string> stringValue(const std::string& key) const;

    void setBool(const std::string& key, bool value) { set(key, value); }
    void setInteger(const std::string& key, std::int64_t value) { set(key, value); }
    void setString(const std::string& key, const std::string& value) { set(key, value); }

protected:
    virtual void write(const std::string& key, const nlohmann::json& value) = 0;
    virtual void erase(const std::string& key) = 0;

private:
    void notify(const std::string& key);

    struct Observers {
        std::mutex mutex;
        std::uint64_t nextId = 0;
        std::vector<std::pair<std::uint64_t, std::shared_ptr<std::function<void(const std::string&)>>>> list;
    };
    std::shared_ptr<Observers> observers = std::make_shared<Observers>();
};

class MemoryDefaultsStore : public DefaultsStore {
public:
    std::optional<nlohmann::json> object(const std::string& key) const override;

protected:
    void write(const std::string& key, const nlohmann::json& value) override;
    void erase(const std::string& key) override;

private:
    mutable std::mutex mutex;
    nlohmann::json values = nlohmann::json::object();
};

} // namespace vokari
