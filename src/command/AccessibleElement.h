#pragma once
// One node of another application's accessibility tree, read on demand. Reads that fail yield nothing.
// Main thread. The platform implements it (AT-SPI on Linux); tests build trees by hand.
#include "command/ScreenGeometry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

// The texts an element is searched by, in search order. On AT-SPI: name, description, text or value, and the
// localised role name.
enum class AccessibleText { title, description, value, roleDescription };

class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;
    virtual std::optional<std::string> text(AccessibleText which) = 0;
    virtual std::optional<ScreenPoint> position() = 0;
    virtual std::optional<ScreenSize> size() = 0;
    virtual std::vector<std::shared_ptr<AccessibleElement>> children() = 0;
};

} // namespace vokari
