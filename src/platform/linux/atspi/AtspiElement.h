#pragma once
// One AT-SPI accessible of another application. Title is the accessible name, description the description,
// value the text content (or the numeric value), role description the localised role name; extents are read in
// screen coordinates. Empty texts count as absent. Each read is a D-Bus call to the application. Main thread.
#include "command/AccessibleElement.h"

#include <optional>

typedef struct _AtspiAccessible AtspiAccessible;

namespace vokari::platform_linux {

class AtspiElement : public AccessibleElement {
public:
    // Takes over one reference to `accessible`.
    explicit AtspiElement(AtspiAccessible* accessible);
    ~AtspiElement() override;
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;

    std::optional<std::string> text(AccessibleText which) override;
    std::optional<ScreenPoint> position() override;
    std::optional<ScreenSize> size() override;
    std::vector<std::shared_ptr<AccessibleElement>> children() override;

private:
    struct Extents {
        ScreenPoint origin;
        ScreenSize size;
    };
    std::optional<Extents> extents();
    std::optional<std::string> value();

    AtspiAccessible* accessible;
    bool extentsRead = false;
    std::optional<Extents> cachedExtents;
};

} // namespace vokari::platform_linux
