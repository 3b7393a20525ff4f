#pragma once
// Shows the controller's alerts (the daily limit) as an informational QMessageBox with one "OK" button, without
// blocking the event loop: onDismiss runs once the box is closed. Main thread; needs a QApplication.
// Owned by the application delegate and shared with the dictation controller.
#include "app/DesktopServices.h"

namespace vokari {

class QtAlertPresenter : public AlertPresenter {
public:
    void showAlert(const std::string& title, const std::string& message, std::function<void()> onDismiss) override;
};

} // namespace vokari
