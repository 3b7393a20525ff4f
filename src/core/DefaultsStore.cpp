#include "core/DefaultsStore.h"

namespace vokari {

std::optional<bool> DefaultsStore::boolValue(const std::string& key) const {
    auto v = object(key);
    if (!v) {
        return std::nullopt;
    }
    if (v->is_boolean()) {
        return v->get<bool>();
    }
    // Hand-edited files sometimes hold 0/1; read them as the booleans they mean.
    if (v->is_number_integer()) {
        return v->get<std::int64_t>() != 0;
    }
    return std::nullopt;
}

std::optional<std::int64_t> DefaultsStore::integerValue(const std::string& key) const {
    auto v = object(key);
    if (v && v->is_number_integer()) {
        return v->get<std::int64_t>();
    }
    return std::nullopt;
}

std::optional<std::string> DefaultsStore::stringValue(const std::string& key) const {
    auto v = object(key);
    if (v && v->is_string()) {
        return v->get<std::string>();
    }
    return std::nullopt;
}

std::optional<nlohmann::json> MemoryDefaultsStore::object(const std::string& key) const {
    std::lock_guard lock(mutex);
    auto it = values.find(key);
    if (it == values.end()) {
        return std::nullopt;
    }
    return *it;
}

void MemoryDefaultsStore::set(const std::string& key, const nlohmann::json& value) {
    std::lock_guard lock(mutex);
    values[key] = value;
}

void MemoryDefaultsStore::remove(const std::string& key) {
    std::lock_guard lock(mutex);
    values.erase(key);
}

} // namespace vokari
