#pragma once
// A list of callbacks fired synchronously on emit. Subscribers may unsubscribe (or subscribe) during an emit;
// a callback removed during an emit is not called afterwards. Main thread only. Owned by the publishing object.
#include "core/Subscription.h"

#include <functional>
#include <memory>
#include <vector>

namespace vokari {

template <class... Args> class Signal {
public:
    using Slot = std::function<void(const Args&...)>;

    Signal() : slots(std::make_shared<std::vector<std::shared_ptr<Entry>>>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Subscription subscribe(Slot slot) {
        auto entry = std::make_shared<Entry>(Entry{std::move(slot), true});
        slots->push_back(entry);
        std::weak_ptr<std::vector<std::shared_ptr<Entry>>> weakSlots = slots;
        std::weak_ptr<Entry> weakEntry = entry;
        return Subscription([weakSlots, weakEntry] {
            auto list = weakSlots.lock();
            auto e = weakEntry.lock();
            if (!list || !e) {
                return;
            }
            e->alive = false;
            std::erase(*list, e);
        });
    }

    void emit(const Args&... args) const {
        auto snapshot = *slots;
        for (const auto& entry : snapshot) {
            if (entry->alive) {
                entry->fn(args...);
            }
        }
    }

    std::size_t subscriberCount() const { return slots->size(); }

private:
    struct Entry {
        Slot fn;
        bool alive;
    };
    std::shared_ptr<std::vector<std::shared_ptr<Entry>>> slots;
};

} // namespace vokari
