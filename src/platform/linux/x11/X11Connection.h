#pragma once
// One Xlib connection for the desktop calls of the main thread (workspace, XTest, trust check). Opened on
// first use and re-tried on later uses while no display is reachable; protocol errors (a window that vanished)
// are swallowed and the loss of the server leaves it closed instead of ending the process.
// Main thread only. Shared (shared_ptr) by the objects that use it.
#include <cstdint>
#include <string>
#include <unordered_map>

struct _XDisplay;

namespace vokari::x11 {

class X11Connection {
public:
    // Empty name: $DISPLAY.
    explicit X11Connection(std::string displayName = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // The open display, opening it if needed; nullptr when no X server can be reached.
    _XDisplay* display();
    std::uint64_t rootWindow();
    std::uint64_t atom(const char* name);
    bool hasXTest();

    // Installs the process's Xlib error handlers (idempotent). Every Xlib connection of ours needs them: Xlib's
    // defaults end the process on a BadWindow from a window that closed a moment ago, and on a lost server
    // even when the display has an exit handler of its own. Other connections still exit on a lost server.
    static void installErrorHandler();
    // Makes the loss of the server on dpy set *lostFlag instead of exiting the process.
    static void watchForLoss(_XDisplay* dpy, bool* lostFlag);

private:
    std::string name;
    _XDisplay* dpy = nullptr;
    bool lost = false;
    int xtest = -1; // -1 unknown, 0 absent, 1 present
    std::unordered_map<std::string, std::uint64_t> atoms;
};

} // namespace vokari::x11
