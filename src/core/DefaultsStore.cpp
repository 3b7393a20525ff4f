#include "core/DefaultsStore.h"

namespace vokari {

void DefaultsStore::set(const std::string& key, const nlohmann::json& value) {
    write(key, value);
    notify(key);
}

void DefaultsStore::remove(const std::string& key) {
    erase(key);
    notify(key);
}

Subscription DefaultsStore::observeChanges(std::function<void(const std::string& key)> fn) {
    std::lock_guard lock(observers->mutex);
    const auto id = observers->nextId++;
    observers->list.emplace_back(id, std::make_shared<std::function<void(const std::string&)>>(std::move(fn)));
    return Subscription([weak = std::weak_ptr<Observers>(observers), id] {
        if (auto o = weak.lock()) {
            std::lock_guard lock(o->mutex);
            std::erase_if(o->list, [id](const auto& entry) { return entry.first == id; });
        }
    });
}

void DefaultsStore::notify(const std::string& key) {
    std::vector<std::shared_ptr<std::function<void(const std::string&)>>> targets;
    {
        std::lock_guard lock(observers->mutex);
        for (const auto& entry : observers->list) {
            targets.push_back(entry.second);
        }
    }
    // Called outside the lock, so an observer may read or write settings.
    for (const auto& fn : targets) {
        (*fn)(key);
    }
}

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

void MemoryDefaultsStore::write(const std::string& key, const nlohmann::json& value) {
    std::lock_guard lock(mutex);
    values[key] = value;
}

void MemoryDefaultsStore::erase(const std::string& key) {
    std::lock_guard lock(mutex);
    values.erase(key);
}

} // namespace vokari
