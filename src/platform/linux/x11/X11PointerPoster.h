#pragma once
// Left-button presses and releases at a screen point through XTest. Main thread. Owned by the app.
#include "command/PointerPoster.h"
#include "platform/linux/x11/X11Connection.h"

#include <memory>

namespace vokari::x11 {

class X11PointerPoster : public PointerPoster {
public:
    explicit X11PointerPoster(std::shared_ptr<X11Connection> connection);
    void press(ScreenPoint point) override;
    void release(ScreenPoint point) override;

private:
    void button(ScreenPoint point, bool down);
    std::shared_ptr<X11Connection> connection;
};

} // namespace vokari::x11
