#pragma once
// Entry to the accessibility trees of other applications. Main thread. The platform implements it.
#include "command/AccessibleElement.h"

#include <cstdint>
#include <memory>

namespace vokari {

class AccessibilityTree {
public:
    virtual ~AccessibilityTree() = default;
    // The root element of the application with that process id; null when it exposes none.
    virtual std::shared_ptr<AccessibleElement> applicationElement(std::int64_t pid) = 0;
};

} // namespace vokari
