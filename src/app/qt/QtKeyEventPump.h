#pragma once
// Connects an X11KeyEventSource to the Qt event loop: a QSocketNotifier on the source's connection, re-armed
// whenever the connection changes, calls dispatchPending() when events arrive. Main thread; needs a Qt
// application object. Owned by the app next to the source, and destroyed before it.
#include "platform/linux/x11/X11KeyEventSource.h"

#include <memory>

namespace vokari::x11 {

class QtKeyEventPump {
public:
    explicit QtKeyEventPump(std::shared_ptr<X11KeyEventSource> source);
    ~QtKeyEventPump();
    QtKeyEventPump(const QtKeyEventPump&) = delete;
    QtKeyEventPump& operator=(const QtKeyEventPump&) = delete;

private:
    struct State;
    std::shared_ptr<State> state;
};

} // namespace vokari::x11
