#pragma once
// RAII handle for a registration (observer, subscriber): unregisters when reset or destroyed.
// Main thread only unless the issuer says otherwise. Owned by whoever registered.
#include <functional>
#include <utility>

namespace vokari {

class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancelFn(std::move(cancel)) {}
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    Subscription(Subscription&& other) noexcept : cancelFn(std::exchange(other.cancelFn, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancelFn = std::exchange(other.cancelFn, nullptr);
        }
        return *this;
    }
    ~Subscription() { reset(); }

    void reset() {
        if (auto fn = std::exchange(cancelFn, nullptr)) {
            fn();
        }
    }
    explicit operator bool() const { return static_cast<bool>(cancelFn); }

private:
    std::function<void()> cancelFn;
};

} // namespace vokari
