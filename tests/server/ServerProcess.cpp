#include "ServerProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vokari::test {
namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::filesystem::path uniquePath(const std::string& stem) {
    std::random_device rd;
    return std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(rd()) + std::to_string(rd()));
}

} // namespace

ServerProcess::ServerProcess(std::vector<std::string> args)
    : outPath_(uniquePath("vokari-server-out")), errPath_(uniquePath("vokari-server-err")) {
    std::vector<char*> argv;
    std::string binary = VOKARI_SERVER_BINARY;
    argv.push_back(binary.data());
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove(outPath_, ec);
    std::filesystem::remove(errPath_, ec);
}

std::optional<int> ServerProcess::waitUntilListening(int timeoutMs) {
    static const std::regex line(R"(listening on http://[^ ]+:(\d+))");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        std::smatch m;
        std::string out = readFile(outPath_);
        if (std::regex_search(out, m, line)) {
            return std::stoi(m[1]);
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

int ServerProcess::waitExit(int timeoutMs) {
    if (exited_) {
        return exitCode_;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return exitCode_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

int ServerProcess::terminate(int timeoutMs) {
    if (!exited_) {
        kill(pid_, SIGTERM);
    }
    return waitExit(timeoutMs);
}

std::string ServerProcess::stdoutText() const {
    return readFile(outPath_);
}

std::string ServerProcess::stderrText() const {
    return readFile(errPath_);
}

bool runCommand(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string fliteWav(const std::string& text) {
    auto raw = uniquePath("vokari-flite") += ".wav";
    auto wav = uniquePath("vokari-speech") += ".wav";
    std::string quoted = text;
    for (char& c : quoted) {
        if (c == '\'') {
            c = ' ';
        }
    }
    bool ok = runCommand("flite -voice slt -t '" + quoted + "' -o " + raw.string()) &&
              runCommand("sox " + raw.string() + " -r 16000 -c 1 -b 16 -e signed-integer " + wav.string());
    std::string bytes = ok ? readFile(wav) : std::string();
    std::error_code ec;
    std::filesystem::remove(raw, ec);
    std::filesystem::remove(wav, ec);
    return bytes;
}

} // namespace vokari::test
