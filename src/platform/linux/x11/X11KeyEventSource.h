#pragma once
// The system-wide key stream on X11: XInput2 raw key events from every master device, read from a connection
// of its own, translated to virtual key codes and flags. Listen-only: nothing is grabbed, every key still
// reaches the focused window. Raw events repeat releases and carry no repeat flag, so key state is tracked here.
// Main thread: the app's event loop watches fd() and calls dispatchPending() when it is readable (see
// QtKeyEventPump). Owned by the app, shared with GlobalHotkey.
#include "desktop/KeyEventSource.h"

#include <array>
#include <bitset>
#include <functional>
#include <string>

struct _XDisplay;

namespace vokari::x11 {

class X11KeyEventSource : public KeyEventSource {
public:
    // Empty name: $DISPLAY.
    explicit X11KeyEventSource(std::string displayName = {});
    ~X11KeyEventSource() override;

    // "Trusted" on X11 means a display connection could be opened; the connection is kept.
    bool isTrusted() override;
    void requestTrust() override {}
    // Selects raw key presses and releases on the root window (XInput 2.2 needed). Pending events are
    // dispatched before it returns.
    bool install(Handler handler) override;
    void remove() override;

    // The connection's file descriptor, -1 while there is none. It changes when a connection is opened or
    // lost; onConnectionChanged reports every change so the event loop can re-arm its watcher.
    int fd() const;
    std::function<void(int fd)> onConnectionChanged;
    // The X server went away while the stream was installed: nothing more will arrive on this connection.
    // The app restarts the hotkey from here (stop() + start()), which polls until a display is back.
    std::function<void()> onConnectionLost;
    // Reads every event queued on the connection and calls the handler for each key event. Call it when fd()
    // is readable; it never blocks.
    void dispatchPending();

private:
    bool open();
    void close();
    void handleRaw(int evtype, int keycode);
    void deliver(KeyEventType type, std::uint16_t code);

    std::string name;
    _XDisplay* dpy = nullptr;
    bool lost = false;
    int xiOpcode = -1;
    Handler handler;
    std::bitset<256> down;
    std::array<std::uint64_t, 256> heldFlag{}; // the modifier bit each held key contributes
};

} // namespace vokari::x11
