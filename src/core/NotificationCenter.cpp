#include "core/NotificationCenter.h"

#include <algorithm>

namespace vokari {

NotificationCenter::NotificationCenter() : state(std::make_shared<State>()) {}

Subscription NotificationCenter::addObserver(std::string name, Observer fn, MainQueue* queue) {
    auto entry = std::make_shared<Entry>(
        Entry{std::move(name), std::move(fn), queue, std::make_shared<std::atomic<bool>>(true)});
    {
        std::lock_guard lock(state->mutex);
        state->entries.push_back(entry);
    }
    std::weak_ptr<State> weakState = state;
    std::weak_ptr<Entry> weakEntry = entry;
    return Subscription([weakState, weakEntry] {
        auto s = weakState.lock();
        auto e = weakEntry.lock();
        if (!s || !e) {
            return;
        }
        e->alive->store(false);
        std::lock_guard lock(s->mutex);
        std::erase(s->entries, e);
    });
}

void NotificationCenter::post(const std::string& name, std::any object) {
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(state->mutex);
        for (const auto& e : state->entries) {
            if (e->name == name) {
                matching.push_back(e);
            }
        }
    }
    for (const auto& e : matching) {
        if (e->queue) {
            // Removal before delivery wins: the flag is checked when the task runs.
            e->queue->post([fn = e->fn, alive = e->alive, object] {
                if (alive->load()) {
                    fn(object);
                }
            });
        } else if (e->alive->load()) {
            e->fn(object);
        }
    }
}

} // namespace vokari
