#include "ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vokari::testing {

bool ChildProcess::start(const std::vector<std::string>& argv, int pipeFd, const std::filesystem::path& log) {
    stop();
    int fds[2] = {-1, -1};
    if (pipeFd >= 0 && ::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const std::string output = log.empty() ? "/dev/null" : log.string();
    const bool redirect = !log.empty() || !std::getenv("VOKARI_TEST_VERBOSE");
    const pid_t parent = ::getpid();
    exitedOk = false;
    childPid = ::fork();
    if (childPid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        int out = redirect ? ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600) : -1;
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (pipeFd >= 0) {
            ::dup2(fds[1], pipeFd); // dup2 clears close-on-exec on the copy
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (pipeFd >= 0) {
        ::close(fds[1]);
        readFd = fds[0];
    }
    return childPid > 0;
}

std::optional<std::string> ChildProcess::read(std::chrono::milliseconds timeout, bool wholeOutput) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (readFd >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{readFd, POLLIN, 0};
        if (left.count() <= 0) {
            return std::nullopt;
        }
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char c;
        if (::read(readFd, &c, 1) != 1) {
            return wholeOutput ? std::optional(text) : std::nullopt;
        }
        if (c == '\n' && !wholeOutput) {
            return text;
        }
        text.push_back(c);
    }
    return std::nullopt;
}

bool ChildProcess::running() {
    int status = 0;
    if (childPid > 0 && ::waitpid(childPid, &status, WNOHANG) == childPid) {
        childPid = -1;
        exitedOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return childPid > 0;
}

void ChildProcess::stop() {
    if (readFd >= 0) {
        ::close(readFd);
        readFd = -1;
    }
    if (!running()) {
        return;
    }
    ::kill(childPid, SIGTERM);
    if (!waitUntil([this] { return !running(); }, std::chrono::seconds(3))) {
        ::kill(childPid, SIGKILL);
        ::waitpid(childPid, nullptr, 0);
        childPid = -1;
    }
}

std::optional<std::string> runCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    ChildProcess child;
    if (!child.start(argv, 1)) {
        return std::nullopt;
    }
    auto output = child.read(timeout, true);
    if (!output || !waitUntil([&] { return !child.running(); }, std::chrono::seconds(2)) || !child.succeeded()) {
        return std::nullopt;
    }
    return output;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& step) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        if (step) {
            step();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return done();
}

TempDir::TempDir(const std::string& prefix) {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(tmpl.data())) {
        path = tmpl;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path.empty()) {
        std::filesystem::remove_all(path, ec);
    }
}

} // namespace vokari::testing
