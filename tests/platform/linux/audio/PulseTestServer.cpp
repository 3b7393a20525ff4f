#include "PulseTestServer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vokari::testing {

namespace {

bool waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

PulseTestServer::PulseTestServer() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vokari-pulse-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) {
        dir = tmpl;
        std::filesystem::create_directories(dir / "run");
        ::chmod((dir / "run").c_str(), 0700);
        std::ofstream pa(dir / "server.pa");
        pa << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << (dir / "native").string() << "\n"
           << "load-module module-null-sink sink_name=spk\n"
           << "load-module module-null-sink sink_name=micsink rate=48000 channels=2\n"
           << "load-module module-remap-source source_name=vmic master=micsink.monitor "
              "source_properties=\"device.description='Virtual Microphone'\"\n"
           << "load-module module-null-sink sink_name=micsink2 rate=44100 channels=1\n"
           << "load-module module-remap-source source_name=vmic2 master=micsink2.monitor "
              "source_properties=\"device.description='Second Microphone'\"\n"
           << "set-default-sink spk\n"
           << "set-default-source vmic\n";
    }
}

PulseTestServer::~PulseTestServer() {
    stop();
    std::error_code ec;
    if (!dir.empty()) {
        std::filesystem::remove_all(dir, ec);
    }
}

std::string PulseTestServer::serverAddress() const {
    return "unix:" + (dir / "native").string();
}

std::vector<std::string> PulseTestServer::environment() const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
            entry.rfind("PULSE_SERVER=", 0) != 0) {
            env.push_back(entry);
        }
    }
    env.push_back("HOME=" + dir.string());
    env.push_back("XDG_RUNTIME_DIR=" + (dir / "run").string());
    env.push_back("PULSE_SERVER=" + serverAddress());
    return env;
}

pid_t PulseTestServer::spawnWithOutput(const std::vector<std::string>& argv, const std::filesystem::path& output) {
    std::vector<char*> args;
    for (auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    auto envStrings = environment();
    std::vector<char*> env;
    for (auto& e : envStrings) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / "children.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

pid_t PulseTestServer::spawn(const std::vector<std::string>& argv) {
    return spawnWithOutput(argv, dir / "children.log");
}

std::optional<std::string> PulseTestServer::run(const std::vector<std::string>& argv,
                                                std::chrono::milliseconds timeout) {
    static int counter = 0;
    auto output = dir / ("out-" + std::to_string(++counter) + ".txt");
    pid_t pid = spawnWithOutput(argv, output);
    if (pid < 0) {
        return std::nullopt;
    }
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            terminate(pid);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return readFile(output);
}

void PulseTestServer::terminate(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    if (!waitForExit(pid, std::chrono::seconds(3))) {
        ::kill(pid, SIGKILL);
        waitForExit(pid, std::chrono::seconds(3));
    }
}

bool PulseTestServer::hasExited(pid_t pid) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
}

bool PulseTestServer::start() {
    stop();
    if (dir.empty()) {
        lastError = "no temporary directory";
        return false;
    }
    std::error_code ec;
    std::filesystem::remove(dir / "native", ec);
    daemon = spawnWithOutput({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-n", "-F",
                              (dir / "server.pa").string(), "--log-target=stderr"},
                             dir / "daemon.log");
    if (daemon < 0) {
        lastError = "cannot start pulseaudio";
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        if (hasExited(daemon)) {
            lastError = "pulseaudio exited: " + readFile(dir / "children.log");
            daemon = -1;
            return false;
        }
        auto info = run({"pactl", "list", "short", "sources"}, std::chrono::seconds(2));
        if (info && info->find("vmic2") != std::string::npos) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            lastError = "pulseaudio did not come up";
            stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The readers help only once data flows through them: the null sinks start out with long blocks.
    std::vector<std::filesystem::path> streams;
    for (const char* monitor : {"micsink.monitor", "micsink2.monitor"}) {
        streams.push_back(dir / (std::string(monitor) + ".raw"));
        std::filesystem::remove(streams.back(), ec);
        readers.push_back(spawnWithOutput({"parec", "--latency-msec=20", "-d", monitor}, streams.back()));
    }
    while (!std::all_of(streams.begin(), streams.end(), [](const std::filesystem::path& p) {
        std::error_code sizeError;
        auto size = std::filesystem::file_size(p, sizeError);
        return !sizeError && size > 0;
    })) {
        if (std::chrono::steady_clock::now() > deadline) {
            lastError = "the monitor readers receive nothing";
            stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void PulseTestServer::stop() {
    for (pid_t reader : readers) {
        terminate(reader);
    }
    readers.clear();
    if (daemon > 0) {
        terminate(daemon);
        daemon = -1;
    }
}

} // namespace vokari::testing
