#include "platform/linux/update/BundleInstaller.h"

#include "platform/linux/update/ArchiveUnpacker.h"
#include "platform/linux/update/BundleDesktopEntry.h"
#include "platform/linux/update/ProcessLauncher.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VOKARI_WEBSITE_URL
#define VOKARI_WEBSITE_URL ""
#endif

namespace vokari {

namespace fs = std::filesystem;

namespace {

fs::path absoluteDirFromEnv(const char* name) {
    const char* value = std::getenv(name);
    std::error_code ec;
    if (value && value[0] == '/' && fs::is_directory(value, ec)) {
        return value;
    }
    return {};
}

// "https://vokari.example.com/x" -> "vokari.example.com".
std::string domainOf(std::string url) {
    auto scheme = url.find("://");
    if (scheme != std::string::npos) {
        url.erase(0, scheme + 3);
    }
    return url.substr(0, url.find('/'));
}

// A directory made with mkdtemp, removed with everything in it when the object goes.
class TemporaryDir {
public:
    explicit TemporaryDir(const fs::path& pattern) {
        std::string buffer = pattern.string();
        if (::mkdtemp(buffer.data())) {
            dir = buffer;
        } else {
            problem = std::strerror(errno);
        }
    }
    ~TemporaryDir() {
        if (!dir.empty()) {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }
    TemporaryDir(const TemporaryDir&) = delete;
    TemporaryDir& operator=(const TemporaryDir&) = delete;
    // After a successful swap the directory holds the old copy; it stays to be removed here.
    fs::path dir;
    std::string problem;
};

bool isExecutableFile(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

// Swaps two directory entries in one step where the file system can; otherwise moves the old one aside, moves the
// new one in and puts the old one back if that fails. Afterwards `fresh` names the old copy.
std::optional<std::string> swapInto(const fs::path& fresh, const fs::path& target) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) {
        if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            // `fresh` is gone; recreate the name so the caller's clean-up has nothing to remove.
            ::mkdir(fresh.c_str(), 0700);
            return std::nullopt;
        }
        return "cannot move the new copy into place: " + std::string(std::strerror(errno));
    }
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        return std::nullopt;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return "cannot swap in the new copy: " + std::string(std::strerror(errno));
    }
    const auto aside = fs::path(fresh.string() + "-old");
    if (::rename(target.c_str(), aside.c_str()) != 0) {
        return "cannot move the old copy aside: " + std::string(std::strerror(errno));
    }
    if (::rename(fresh.c_str(), target.c_str()) != 0) {
        auto problem = "cannot move the new copy into place: " + std::string(std::strerror(errno));
        ::rename(aside.c_str(), target.c_str());
        return problem;
    }
    ::rename(aside.c_str(), fresh.c_str());
    return std::nullopt;
}

} // namespace

BundleInstaller::Paths BundleInstaller::defaultPaths() {
    Paths p;
    const char* home = std::getenv("HOME");
    const fs::path homeDir = home && home[0] == '/' ? fs::path(home) : fs::path("/");
    const char* forced = std::getenv("VOKARI_UPDATE_DIR");
    if (forced && forced[0] == '/') {
        p.userApplications = forced;
    } else {
        p.systemApplications = "/opt/vokari";
        p.userApplications = homeDir / ".local/opt/vokari";
    }
    p.stagingRoot = absoluteDirFromEnv("XDG_RUNTIME_DIR");
    if (p.stagingRoot.empty()) {
        p.stagingRoot = absoluteDirFromEnv("TMPDIR");
    }
    if (p.stagingRoot.empty()) {
        p.stagingRoot = "/tmp";
    }
    const char* data = std::getenv("XDG_DATA_HOME");
    p.desktopEntries = (data && data[0] == '/' ? fs::path(data) : homeDir / ".local/share") / "applications";
    std::error_code ec;
    p.runningProgram = fs::read_symlink("/proc/self/exe", ec);
    p.packageLists = "/var/lib/dpkg/info";
    p.websiteDomain = domainOf(VOKARI_WEBSITE_URL);
    return p;
}

BundleInstaller::BundleInstaller() : BundleInstaller(defaultPaths()) {}

BundleInstaller::BundleInstaller(Paths p) : paths(std::move(p)) {}

bool BundleInstaller::isPackageManaged() const {
    std::error_code ec;
    const auto program = fs::weakly_canonical(paths.runningProgram, ec);
    if (ec || program.string().rfind("/usr/", 0) != 0) {
        return false;
    }
    for (const char* list : {"vokari.list", "vokari:amd64.list"}) {
        std::ifstream in(paths.packageLists / list);
        std::string line;
        while (std::getline(in, line)) {
            if (line == program.string()) {
                return true;
            }
        }
    }
    return false;
}

bool BundleInstaller::systemFolderUsable() const {
    if (paths.systemApplications.empty()) {
        return false;
    }
    std::error_code ec;
    if (fs::is_directory(paths.systemApplications, ec)) {
        return ::access(paths.systemApplications.c_str(), W_OK | X_OK) == 0;
    }
    const auto parent = paths.systemApplications.parent_path();
    return fs::is_directory(parent, ec) && ::access(parent.c_str(), W_OK | X_OK) == 0;
}

std::optional<std::string> BundleInstaller::installInto(const fs::path& folder, const fs::path& source,
                                                        const std::string& name) const {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return "cannot create " + folder.string() + ": " + ec.message();
    }
    // What an attempt cut short (power loss, a kill) left beside the target; only one instance ever installs.
    const std::string leftover = "." + name + "-new-";
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().filename().string().rfind(leftover, 0) == 0) {
            fs::remove_all(entry.path(), ec);
        }
    }
    // Beside the target, on the same file system, so the swap is one rename.
    TemporaryDir fresh(folder / (leftover + "XXXXXX"));
    if (fresh.dir.empty()) {
        return "cannot write to " + folder.string() + ": " + fresh.problem;
    }
    fs::copy(source, fresh.dir, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        return "cannot copy the new version: " + ec.message();
    }
    fs::permissions(fresh.dir,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                        fs::perms::others_exec,
                    ec);
    // The copy must be a program that runs here before it replaces one that does.
    const auto program = fresh.dir / "bin/vokari";
    auto check = ProcessLauncher::capture({program.string(), "--version"}, std::chrono::seconds(20));
    if (!check.exitedOk || check.output.rfind("Vokari ", 0) != 0) {
        return "the new version does not start (" + (check.problem.empty() ? "no version" : check.problem) + ")";
    }
    return swapInto(fresh.dir, folder / name);
}

InstallOutcome BundleInstaller::install(const std::string& archivePath) {
    InstallOutcome outcome;
    std::error_code ec;
    fs::create_directories(paths.stagingRoot, ec);
    TemporaryDir staging(paths.stagingRoot / "vokari-update-XXXXXX");
    if (staging.dir.empty()) {
        outcome.errorMessage = "Failed to unpack archive: " + staging.problem;
        return outcome;
    }
    auto unpacked = ArchiveUnpacker::unpack(archivePath, staging.dir);
    if (unpacked.status == ArchiveUnpacker::Status::unreadable) {
        outcome.errorMessage = "Failed to unpack archive: " + unpacked.detail;
        return outcome;
    }
    if (unpacked.status == ArchiveUnpacker::Status::refused) {
        outcome.errorMessage = "Failed to unpack update archive. Please download manually from " + paths.websiteDomain;
        outcome.logLine = "unpack failed: " + unpacked.detail;
        return outcome;
    }
    std::string bundleName;
    for (const auto& top : unpacked.topLevel) {
        if (fs::is_directory(fs::symlink_status(staging.dir / top, ec)) &&
            isExecutableFile(staging.dir / top / "bin/vokari")) {
            bundleName = top;
            break;
        }
    }
    if (bundleName.empty()) {
        outcome.errorMessage = "No app found in update archive.";
        return outcome;
    }

    const auto source = staging.dir / bundleName;
    std::optional<std::string> problem;
    fs::path folder;
    if (systemFolderUsable()) {
        folder = paths.systemApplications;
        problem = installInto(folder, source, bundleName);
    }
    if (folder.empty() || problem) {
        folder = paths.userApplications;
        problem = installInto(folder, source, bundleName);
    }
    if (problem) {
        outcome.errorMessage = "Failed to install: " + *problem;
        return outcome;
    }
    const auto bundle = folder / bundleName;
    if (auto entryProblem = BundleDesktopEntry::write(bundle, paths.desktopEntries)) {
        std::printf("[update] desktop entry not updated: %s\n", entryProblem->c_str());
        std::fflush(stdout);
    }
    outcome.ok = true;
    outcome.installedProgram = (bundle / "bin/vokari").string();
    return outcome;
}

bool BundleInstaller::relaunch(const std::string& installedProgram) {
    std::string problem;
    if (ProcessLauncher::startDetached({installedProgram, restartArgument}, problem)) {
        return true;
    }
    std::printf("[update] relaunch failed: %s\n", problem.c_str());
    std::fflush(stdout);
    return false;
}

} // namespace vokari
