#pragma once
// A published property: subscribers get the current value at once, then every assigned value, including
// re-assignments of the same value (no de-duplication). Delivery is synchronous, inside the assignment.
// Main thread only. Owned by the object that publishes it (e.g. AppState).
#include "core/Signal.h"

#include <functional>
#include <utility>

namespace vokari {

template <class T> class Observable {
public:
    explicit Observable(T initial = T{}, std::function<void()> willChange = nullptr)
        : current(std::move(initial)), willChangeHook(std::move(willChange)) {}

    const T& get() const { return current; }
    const T& operator()() const { return current; }

    void set(T value) {
        if (willChangeHook) {
            willChangeHook();
        }
        current = std::move(value);
        changed.emit(current);
    }
    Observable& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> fn) {
        fn(current);
        return changed.subscribe(std::move(fn));
    }

private:
    T current;
    std::function<void()> willChangeHook;
    Signal<T> changed;
};

} // namespace vokari
