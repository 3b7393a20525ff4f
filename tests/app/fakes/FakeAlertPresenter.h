#pragma once
// Test double of the modal alert: records each alert; the test plays the user and dismisses it. Owned by the test.
#include "app/DesktopServices.h"
#include "core/MainQueue.h"

#include <utility>
#include <vector>

namespace vokari::fakes {

class FakeAlertPresenter : public AlertPresenter {
public:
    struct Alert {
        double at;
        std::string title;
        std::string message;
        std::function<void()> onDismiss;
    };

    explicit FakeAlertPresenter(const MainQueue& clock) : clock(clock) {}
    std::vector<Alert> alerts;

    void showAlert(const std::string& title, const std::string& message, std::function<void()> onDismiss) override {
        alerts.push_back({clock.now(), title, message, std::move(onDismiss)});
    }

    void dismissLast() {
        if (auto fn = std::exchange(alerts.back().onDismiss, nullptr)) {
            fn();
        }
    }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
