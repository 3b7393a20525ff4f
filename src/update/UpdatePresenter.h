#pragma once
// What the updater shows: modal alerts and the progress window of a download and installation. Implemented by the
// views (ui/QtUpdatePresenter); tests use a recording fake. Main thread only.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vokari {

struct UpdateAlert {
    enum class Style { warning, informational };
    std::string messageText;
    std::string informativeText;
    Style style = Style::informational;
    std::vector<std::string> buttons; // the first is the default; Escape or closing the alert picks the last

    bool operator==(const UpdateAlert&) const = default;
};

class UpdatePresenter {
public:
    virtual ~UpdatePresenter() = default;

    // Shows a modal alert without blocking the event loop; `chosen` runs once, on the main thread, with the index
    // of the button that dismissed it.
    virtual void showAlert(UpdateAlert alert, std::function<void(std::size_t)> chosen) = 0;

    // Shows the progress window for an update to `version`, its status "Downloading update...". Escape or closing
    // the window calls `cancel`; the window closes only when that returns true.
    virtual void showProgress(const std::string& version, std::function<bool()> cancel) = 0;
    // Replaces the status line of the window on show (nothing when none is).
    virtual void updateStatus(const std::string& status) = 0;
    // Closes the window on show, without calling its cancel.
    virtual void closeProgress() = 0;
};

} // namespace vokari
