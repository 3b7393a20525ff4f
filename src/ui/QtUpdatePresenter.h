#pragma once
// The updater's alerts and progress window in Qt Widgets. Alerts are application-modal message boxes shown without
// blocking the event loop; the message text is also the box's window title, and each button's accessible name is
// its title, so the desktop's assistive technology (and the end-to-end tests) find "Update Now", "Later", "OK" and
// "Restart" by name. Main thread; needs a QApplication. Owned by the app's wiring and handed to the updater.
#include "ui/UpdateProgressWindow.h"
#include "update/UpdatePresenter.h"

#include <QPointer>

class QMessageBox;

namespace vokari {

class QtUpdatePresenter : public UpdatePresenter {
public:
    QtUpdatePresenter() = default;
    ~QtUpdatePresenter() override;
    QtUpdatePresenter(const QtUpdatePresenter&) = delete;
    QtUpdatePresenter& operator=(const QtUpdatePresenter&) = delete;

    void showAlert(UpdateAlert alert, std::function<void(std::size_t)> chosen) override;
    void showProgress(const std::string& version, std::function<bool()> cancel) override;
    void updateStatus(const std::string& status) override;
    void closeProgress() override;

    // Builds the box showAlert shows, without showing it (screenshots and tests).
    static QMessageBox* makeAlertBox(const UpdateAlert& alert, std::function<void(std::size_t)> chosen);
    UpdateProgressWindow* progressWindow() const { return progress; }

private:
    QPointer<UpdateProgressWindow> progress;
};

} // namespace vokari
