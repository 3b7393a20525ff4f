#pragma once
// The system-wide keyboard stream the global hotkey watches, listen-only: every key still reaches the focused
// application. Events carry core's virtual key codes and event-flag bits (desktop/VirtualKeys.h).
// Main thread: the handler is called on the main thread. Owned by whoever wires the hotkey (shared).
#include <cstdint>
#include <functional>

namespace vokari {

enum class KeyEventType : int { keyDown = 10, keyUp = 11, flagsChanged = 12 };

struct KeyEvent {
    KeyEventType type = KeyEventType::keyDown;
    std::uint16_t keyCode = 0;
    // The modifier bits held after this event (a modifier's own bit is set on its press, clear on its release).
    std::uint64_t flags = 0;
};

class KeyEventSource {
public:
    using Handler = std::function<void(const KeyEvent&)>;
    virtual ~KeyEventSource() = default;

    // Whether the process may watch the keyboard now (X11: a display connection can be opened).
    virtual bool isTrusted() = 0;
    // Asks the user for the permission where the platform has a prompt; X11 has none.
    virtual void requestTrust() = 0;
    // Starts delivering every key event to handler; false when the stream cannot be watched.
    virtual bool install(Handler handler) = 0;
    // Stops delivery; the handler is dropped. Idempotent.
    virtual void remove() = 0;
};

} // namespace vokari
