#pragma once
// Child processes without a shell: a short run whose output is read (the new copy's --version check), and a
// detached start in a new session (the restart). Signals start in their default state with nothing blocked,
// whatever this process does with them. Blocking; any thread.
#include <chrono>
#include <string>
#include <vector>

namespace vokari {

class ProcessLauncher {
public:
    struct Captured {
        bool started = false;
        bool exitedOk = false; // ended by itself with status 0 within the time allowed
        std::string output;    // its standard output
        std::string problem;   // why it did not start, or how it ended
    };

    // Runs argv[0] (an absolute path) and waits at most `timeout`, then kills it.
    static Captured capture(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

    // Starts argv[0] in its own session and does not wait for it. False (with `problem`) if it could not start.
    static bool startDetached(const std::vector<std::string>& argv, std::string& problem);
};

} // namespace vokari
