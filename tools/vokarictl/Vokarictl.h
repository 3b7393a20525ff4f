#pragma once
// The vokarictl command line: parses the arguments, wires the shared backend client as the app does (curl
// transport, system secret store, the user's settings, log shipper), runs one command, waits for every request
// it started (15 s at most) and prints only its JSON result on stdout. Runs on the process's main thread.
#include <string>
#include <vector>

namespace vokari {

class Vokarictl {
public:
    static constexpr int exitSuccess = 0;
    static constexpr int exitFailure = 1;
    static constexpr int exitUsage = 2;
    static constexpr int exitRateLimited = 3;

    // args without the program name. Returns the exit status; output goes to stdout, logs to stderr.
    static int run(const std::vector<std::string>& args);
    static std::string usage();
};

} // namespace vokari
