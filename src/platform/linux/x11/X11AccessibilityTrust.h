#pragma once
// On X11 any client may post synthetic input: the process counts as trusted when it reaches a display that has
// the XTest extension. Main thread. Owned by the app.
#include "desktop/AccessibilityTrust.h"
#include "platform/linux/x11/X11Connection.h"

#include <memory>

namespace vokari::x11 {

class X11AccessibilityTrust : public AccessibilityTrust {
public:
    explicit X11AccessibilityTrust(std::shared_ptr<X11Connection> connection) : connection(std::move(connection)) {}
    bool isProcessTrusted() override { return connection && connection->hasXTest(); }

private:
    std::shared_ptr<X11Connection> connection;
};

} // namespace vokari::x11
