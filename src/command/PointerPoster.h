#pragma once
// Synthetic left-button events at a screen point, for clicks the command executor paces. Main thread. The
// platform implements it (XTest on X11).
#include "command/ScreenGeometry.h"

namespace vokari {

class PointerPoster {
public:
    virtual ~PointerPoster() = default;
    // Moves the pointer to the point and presses the left button there.
    virtual void press(ScreenPoint point) = 0;
    virtual void release(ScreenPoint point) = 0;
};

} // namespace vokari
