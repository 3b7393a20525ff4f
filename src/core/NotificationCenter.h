#pragma once
// In-process notifications by name ("vokari.…") with an optional object. post() may be called from any thread;
// an observer registered with a queue is called through that queue, one registered without a queue is called
// synchronously on the posting thread. Observers are removed when their Subscription goes.
// The app's wiring owns the one centre of the app; tests create their own.
#include "core/MainQueue.h"
#include "core/Subscription.h"

#include <any>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vokari {

class NotificationCenter {
public:
    using Observer = std::function<void(const std::any& object)>;

    NotificationCenter();

    [[nodiscard]] Subscription addObserver(std::string name, Observer fn, MainQueue* queue = nullptr);
    void post(const std::string& name, std::any object = {});

    // Typed observation: fn gets the object when it is a T, else a null pointer (no object, or one of another
    // type), so observers never unpack payloads by hand.
    template <class T>
    [[nodiscard]] Subscription observe(std::string name, std::function<void(const T*)> fn, MainQueue* queue = nullptr) {
        return addObserver(
            std::move(name), [fn = std::move(fn)](const std::any& object) { fn(std::any_cast<T>(&object)); }, queue);
    }

private:
    struct Entry {
        std::string name;
        Observer fn;
        MainQueue* queue;
        std::shared_ptr<std::atomic<bool>> alive;
    };
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    std::shared_ptr<State> state;
};

namespace notifications {
inline constexpr const char* startDictation = "vokari.startDictation";
inline constexpr const char* cancelDictation = "vokari.cancelDictation";
inline constexpr const char* hotkeyChanged = "vokari.hotkeyChanged";
inline constexpr const char* micNameChanged = "vokari.micNameChanged";
inline constexpr const char* capsuleSizeChanged = "vokari.capsuleSizeChanged";
inline constexpr const char* showHotkeySettings = "vokari.showHotkeySettings";
} // namespace notifications

} // namespace vokari
