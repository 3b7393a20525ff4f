#pragma once
// The X11 CLIPBOARD through Qt: the app's QGuiApplication owns the selection and answers paste requests from
// its event loop for as long as it runs. Main thread; needs a QGuiApplication. Owned by the app.
#include "desktop/Pasteboard.h"

namespace vokari::x11 {

class QtPasteboard : public Pasteboard {
public:
    void setString(const std::string& text) override;

private:
    bool reportedMissingApp = false;
};

} // namespace vokari::x11
