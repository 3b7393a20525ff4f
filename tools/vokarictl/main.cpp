// vokarictl entry point: runs one command and leaves without tearing down the process-wide clients, whose
// worker thread may still be inside a completion (everything that matters is already flushed).
#include "Vokarictl.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int code = vokari::Vokarictl::run(args);
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}
