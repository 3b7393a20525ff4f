// vokari-server entry point: parse options, start, serve until SIGINT/SIGTERM, then let requests finish.
#include "ServerApp.h"
#include "core/ServerOptions.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

int main(int argc, char** argv) {
    using namespace vokari::server;
    std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = parseServerOptions(args);
    if (auto* err = std::get_if<OptionsError>(&parsed)) {
        std::fprintf(stderr, "vokari-server: %s\n", err->message.c_str());
        return 2;
    }
    ServerOptions options = std::get<ServerOptions>(parsed);
    if (options.showHelp) {
        std::fputs(serverUsage().c_str(), stdout);
        return 0;
    }

    // Block the stop signals in every thread; one thread waits for them and stops the server cleanly.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    ServerApp app(options);
    if (auto err = app.start()) {
        std::fprintf(stderr, "vokari-server: %s\n", err->c_str());
        return 1;
    }
    std::printf("vokari-server listening on http://%s:%d (data %s, stt %s, refiner %s)\n", options.host.c_str(),
                app.port(), options.dataDir.c_str(), options.stt.c_str(), options.refiner.c_str());
    std::fflush(stdout);

    std::atomic<bool> signalled{false};
    std::thread signalWaiter([&app, &signalled, stopSignals] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        signalled = true;
        std::fprintf(stderr, "vokari-server: received %s, finishing requests in flight\n",
                     sig == SIGINT ? "SIGINT" : "SIGTERM");
        app.stop();
    });
    bool ok = app.run();
    if (!signalled) {
        // The server ended on its own (a socket failure): wake the waiting thread so it can be joined.
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
        ok = false;
    }
    signalWaiter.join();
    std::fprintf(stderr, "vokari-server: stopped\n");
    return ok ? 0 : 1;
}
