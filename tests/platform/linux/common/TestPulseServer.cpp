#include "TestPulseServer.h"

#include <cstdlib>
#include <fstream>
#include <thread>

namespace vokari::testing {

TestPulseServer::TestPulseServer(const std::string& modules, std::string readySource, std::vector<std::string> drained)
    : readySource(std::move(readySource)), drained(std::move(drained)) {
    std::ofstream(dir.path / "server.pa")
        << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << (dir.path / "native").string() << "\n"
        << modules;
}

std::string TestPulseServer::start() {
    stop();
    ::setenv("XDG_RUNTIME_DIR", dir.path.c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + (dir.path / "native").string()).c_str(), 1);
    if (!daemon.start({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-n", "-F",
                       (dir.path / "server.pa").string(), "--log-target=stderr"},
                      -1, dir.path / "daemon.log")) {
        return "cannot start pulseaudio";
    }
    if (!waitUntil(
            [&] {
                auto sources = runCommand({"pactl", "list", "short", "sources"}, std::chrono::seconds(2));
                return !daemon.running() || (sources && sources->find(readySource) != std::string::npos);
            },
            std::chrono::seconds(15)) ||
        !daemon.running()) {
        return "pulseaudio did not come up; see " + (dir.path / "daemon.log").string();
    }
    // The readers help only once data flows through them: the null sinks start out with long blocks.
    for (const auto& monitor : drained) {
        const auto file = dir.path / (monitor + ".raw");
        std::filesystem::remove(file);
        readers.push_back(std::make_unique<ChildProcess>());
        readers.back()->start({"parec", "--latency-msec=20", "-d", monitor}, -1, file);
        if (!waitUntil([&] { return std::filesystem::exists(file) && std::filesystem::file_size(file) > 0; },
                       std::chrono::seconds(10))) {
            return "the reader of " + monitor + " receives nothing";
        }
    }
    return {};
}

void TestPulseServer::stop() {
    readers.clear();
    daemon.stop();
}

} // namespace vokari::testing
