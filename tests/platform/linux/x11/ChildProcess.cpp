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

namespace {
pid_t spawn(const std::vector<std::string>& argv, int fd3) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        if (fd3 >= 0) {
            ::dup2(fd3, 3);
        }
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0 && !std::getenv("VOKARI_TEST_VERBOSE")) {
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}
} // namespace

bool ChildProcess::start(const std::vector<std::string>& argv, bool lineOnFd3) {
    int fds[2] = {-1, -1};
    if (lineOnFd3 && ::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    childPid = spawn(argv, lineOnFd3 ? fds[1] : -1);
    if (lineOnFd3) {
        ::close(fds[1]);
        readFd = fds[0];
    }
    return childPid > 0;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (readFd >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd p{readFd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char c;
        if (::read(readFd, &c, 1) != 1) {
            return std::nullopt;
        }
        if (c == '\n') {
            return line;
        }
        line.push_back(c);
    }
    return std::nullopt;
}

bool ChildProcess::running() {
    if (childPid <= 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(childPid, &status, WNOHANG) == childPid) {
        childPid = -1;
        return false;
    }
    return true;
}

void ChildProcess::stop() {
    if (readFd >= 0) {
        ::close(readFd);
        readFd = -1;
    }
    if (childPid <= 0) {
        return;
    }
    ::kill(childPid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        int status = 0;
        if (::waitpid(childPid, &status, WNOHANG) == childPid) {
            childPid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(childPid, SIGKILL);
    ::waitpid(childPid, nullptr, 0);
    childPid = -1;
}

bool runCommand(const std::vector<std::string>& argv) {
    pid_t pid = spawn(argv, -1);
    if (pid <= 0) {
        return false;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace vokari::testing
