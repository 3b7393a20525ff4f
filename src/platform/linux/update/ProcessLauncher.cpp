#include "platform/linux/update/ProcessLauncher.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vokari {

namespace {

// posix_spawn attributes and file actions, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attr{};
    posix_spawn_file_actions_t actions{};
    SpawnSetup(short extraFlags) {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        // The app ignores SIGPIPE and routes SIGINT/SIGTERM/SIGHUP through its own handler; a child must not
        // inherit an ignored signal.
        sigset_t defaults;
        sigfillset(&defaults);
        sigdelset(&defaults, SIGKILL);
        sigdelset(&defaults, SIGSTOP);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | extraFlags);
    }
    // Descriptors this process opened without close-on-exec (a library's socket, say) stay here.
    void closeInheritedFiles() {
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

std::vector<char*> argvOf(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    for (const auto& a : argv) {
        out.push_back(const_cast<char*>(a.c_str()));
    }
    out.push_back(nullptr);
    return out;
}

} // namespace

ProcessLauncher::Captured ProcessLauncher::capture(const std::vector<std::string>& argv,
                                                   std::chrono::milliseconds timeout) {
    Captured result;
    if (argv.empty()) {
        result.problem = "nothing to run";
        return result;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.problem = std::strerror(errno);
        return result;
    }
    SpawnSetup setup(0);
    posix_spawn_file_actions_adddup2(&setup.actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    setup.closeInheritedFiles();
    auto args = argvOf(argv);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0].c_str(), &setup.actions, &setup.attr, args.data(), environ);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        result.problem = std::strerror(rc);
        return result;
    }
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool open = true;
    while (open) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char buf[4096];
        ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        if (n > 0) {
            result.output.append(buf, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            open = false;
        }
    }
    ::close(pipeFds[0]);

    int status = 0;
    pid_t done = 0;
    while (std::chrono::steady_clock::now() < deadline && (done = ::waitpid(pid, &status, WNOHANG)) == 0) {
        ::usleep(10 * 1000);
    }
    if (done != pid) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.problem = "did not finish in time";
        return result;
    }
    result.exitedOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!result.exitedOk) {
        result.problem = WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                           : "ended by signal " + std::to_string(WTERMSIG(status));
    }
    return result;
}

bool ProcessLauncher::startDetached(const std::vector<std::string>& argv, std::string& problem) {
    if (argv.empty()) {
        problem = "nothing to run";
        return false;
    }
    SpawnSetup setup(POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    setup.closeInheritedFiles();
    auto args = argvOf(argv);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0].c_str(), &setup.actions, &setup.attr, args.data(), environ);
    if (rc != 0) {
        problem = std::strerror(rc);
        return false;
    }
    return true;
}

} // namespace vokari
