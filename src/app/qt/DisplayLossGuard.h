#pragma once
// Turns the toolkit's reaction to a lost X server (a warning, then exit(1) from inside the event loop, with worker
// threads still running) into an orderly end: one log line, the application's own clean-up, then exit status 1
// without running destructors that would talk to the dead display. Other messages pass to the previous handler.
// Install once on the main thread after the QApplication exists; the clean-up must stay valid until exit.
#include <functional>

namespace vokari {

class DisplayLossGuard {
public:
    static void install(std::function<void()> cleanUp);
    // Whether a toolkit message reports the X connection as broken.
    static bool reportsLostDisplay(const char* message);
};

} // namespace vokari
