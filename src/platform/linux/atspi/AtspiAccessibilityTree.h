#pragma once
// Finds an application's AT-SPI root by process id among the applications registered on the accessibility bus.
// Applications register only while accessibility is on (GTK and Qt do when the desktop enables the bus, see
// the README). Without a D-Bus session bus there is no tree (nothing is found). Main thread. Owned by the app.
#include "command/AccessibilityTree.h"

namespace vokari::platform_linux {

class AtspiAccessibilityTree : public AccessibilityTree {
public:
    std::shared_ptr<AccessibleElement> applicationElement(std::int64_t pid) override;

private:
    bool initialised = false;
};

} // namespace vokari::platform_linux
