#include "ServerProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vokari::server::test {

std::filesystem::path uniquePath(const std::string& stem) {
    std::random_device rd;
    return std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(rd()) + std::to_string(rd()));
}

ServerProcess::ServerProcess(std::vector<std::string> args) : outPath_(uniquePath("vokari-server-out")) {
    std::vector<char*> argv;
    std::string binary = VOKARI_SERVER_BINARY;
    argv.push_back(binary.data());
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
        dup2(out, 1);
        dup2(out, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove(outPath_, ec);
}

void ServerProcess::kill() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        exited_ = true;
    }
}

bool ServerProcess::reaped() {
    int status = 0;
    if (!exited_ && waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exited_;
}

std::optional<int> ServerProcess::waitUntilListening(int timeoutMs) {
    static const std::regex line(R"(listening on http://[^ ]+:(\d+))");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (std::smatch m; std::chrono::steady_clock::now() < deadline && !reaped();) {
        std::string out = output();
        if (std::regex_search(out, m, line)) {
            return std::stoi(m[1]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

int ServerProcess::waitExit(int timeoutMs, bool terminate) {
    if (terminate && !exited_) {
        ::kill(pid_, SIGTERM);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reaped() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return exited_ ? exitCode_ : -1;
}

std::string ServerProcess::output() const {
    std::ifstream in(outPath_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string fliteWav(const std::string& text) {
    std::string quoted = text;
    std::replace(quoted.begin(), quoted.end(), '\'', ' ');
    FILE* pipe = popen(("flite -voice slt -t '" + quoted + "' -o /dev/stdout | sox -t wav - -r 16000 -c 1 -b 16 " +
                        "-e signed-integer -t wav -")
                           .c_str(),
                       "r");
    std::string bytes;
    char buffer[65536];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        bytes.append(buffer, n);
    }
    return pipe && pclose(pipe) == 0 ? bytes : std::string();
}

} // namespace vokari::server::test
