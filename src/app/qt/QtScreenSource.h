#pragma once
// The primary screen at full resolution through Qt (on X11 a copy of the root window's area of the primary
// monitor). Main thread. Owned by the app.
#include "command/ScreenImage.h"

namespace vokari {

class QtScreenSource : public ScreenSource {
public:
    std::unique_ptr<ScreenImage> capturePrimaryScreen() override;
};

} // namespace vokari
