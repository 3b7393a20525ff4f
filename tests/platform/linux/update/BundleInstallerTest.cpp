// Installs of real bundles made from this build's programs (version A, and B from the same build with the next
// version) into temporary applications folders: first install, an update that never leaves a moment without a
// runnable copy, and failures at each step that leave A installed and running. Also the restart and the check for a
// copy owned by the Debian package.
#include "platform/linux/update/BundleInstaller.h"
#include "ChildProcess.h"
#include "TestArchive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace vokari;
using namespace vokari::testing;
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::string versionOf(const fs::path& program) {
    auto out = runCommand({program.string(), "--version"});
    return out ? *out : "(did not run)";
}

// The build's programs without their debug sections: a tenth of the size, so bundles are quick to pack and unpack.
struct Programs {
    TempDir dir{"vokari-programs"};
    fs::path a = dir.path / "vokari-a";
    fs::path b = dir.path / "vokari-b";
    Programs() {
        EXPECT_TRUE(runCommand({"strip", "-o", a.string(), VOKARI_APP}));
        EXPECT_TRUE(runCommand({"strip", "-o", b.string(), VOKARI_NEXT_APP}));
    }
};

const Programs& programs() {
    static Programs p;
    return p;
}

class BundleInstallerTest : public ::testing::Test {
protected:
    const fs::path appA = programs().a;
    const fs::path appB = programs().b;
    TempDir dir{"vokari-install"};
    fs::path apps = dir.path / "apps";
    fs::path staging = dir.path / "staging";
    fs::path entries = dir.path / "share/applications";
    std::string versionA = versionOf(appA);
    std::string versionB = versionOf(appB);

    BundleInstaller::Paths paths() const {
        BundleInstaller::Paths p;
        p.userApplications = apps;
        p.stagingRoot = staging;
        p.desktopEntries = entries;
        p.runningProgram = VOKARI_APP;
        p.packageLists = dir.path / "dpkg";
        p.websiteDomain = "vokari.example.com";
        return p;
    }

    fs::path archive(const std::string& name, const std::vector<ArchiveEntry>& contents) const {
        auto path = dir.path / name;
        EXPECT_TRUE(writeArchive(path, contents));
        return path;
    }

    // Installs A and checks it runs from the applications folder.
    void installA() {
        BundleInstaller installer(paths());
        auto outcome = installer.install(archive("a.tar.gz", bundleEntries(appA)).string());
        ASSERT_TRUE(outcome.ok) << outcome.errorMessage;
        ASSERT_EQ(outcome.installedProgram, (apps / "Vokari/bin/vokari").string());
        ASSERT_EQ(versionOf(outcome.installedProgram), versionA);
    }

    // A is still installed, runs, and nothing of the failed attempt is left.
    void expectOnlyA() {
        EXPECT_EQ(versionOf(apps / "Vokari/bin/vokari"), versionA);
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(apps)) {
            names.push_back(e.path().filename().string());
        }
        EXPECT_THAT(names, ::testing::ElementsAre("Vokari"));
        EXPECT_TRUE(fs::is_empty(staging)) << "the staging directory is removed";
    }
};

} // namespace

TEST_F(BundleInstallerTest, InstallsAThenUpdatesToBWithARunnableCopyAtEveryMoment) {
    ASSERT_NE(versionA, versionB);
    ASSERT_THAT(versionB, StartsWith("Vokari "));
    installA();
    std::ifstream entryA(entries / "vokari.desktop");
    std::string text((std::istreambuf_iterator<char>(entryA)), {});
    EXPECT_THAT(text, HasSubstr("Exec=\"" + (apps / "Vokari/bin/vokari").string() + "\"\n"));
    EXPECT_THAT(text, HasSubstr("Icon=" + (apps / "Vokari/share/icons/hicolor/scalable/apps/vokari.svg").string()));
    EXPECT_THAT(text, HasSubstr("Name=Vokari\n"));

    // While B goes in, the installed program is watched: it must never be missing.
    std::atomic<bool> done{false};
    std::atomic<int> looks{0}, misses{0};
    std::thread watcher([&] {
        const auto program = apps / "Vokari/bin/vokari";
        while (!done) {
            struct stat st {};
            if (::stat(program.c_str(), &st) != 0 || !(st.st_mode & S_IXUSR)) {
                ++misses;
            }
            ++looks;
        }
    });
    // An earlier attempt that was cut short left its copy beside the target.
    fs::create_directories(apps / ".Vokari-new-a1b2c3/bin");
    BundleInstaller installer(paths());
    auto outcome = installer.install(archive("b.tar.gz", bundleEntries(appB)).string());
    done = true;
    watcher.join();
    ASSERT_TRUE(outcome.ok) << outcome.errorMessage;
    EXPECT_GT(looks.load(), 0);
    EXPECT_EQ(misses.load(), 0) << "the installed copy was missing during the update";
    EXPECT_EQ(outcome.installedProgram, (apps / "Vokari/bin/vokari").string());
    EXPECT_EQ(versionOf(outcome.installedProgram), versionB);
    struct stat st {};
    ASSERT_EQ(::stat((apps / "Vokari").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u) << "other users can run a copy in a shared folder";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(apps)) {
        names.push_back(e.path().filename().string());
    }
    EXPECT_THAT(names, ::testing::ElementsAre("Vokari")) << "the old copy and the leftover are removed";
    EXPECT_TRUE(fs::is_empty(staging));
}

TEST_F(BundleInstallerTest, DamagedMissingOrEmptyArchivesLeaveAInstalled) {
    installA();
    BundleInstaller installer(paths());
    const auto good = fileBytes(archive("b.tar.gz", bundleEntries(appB)));
    const auto truncated = dir.path / "truncated.tar.gz";
    std::ofstream(truncated, std::ios::binary) << good.substr(0, good.size() * 2 / 3);

    auto cut = installer.install(truncated.string());
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.errorMessage, "Failed to unpack update archive. Please download manually from vokari.example.com");
    EXPECT_THAT(cut.logLine, StartsWith("unpack failed: "));
    expectOnlyA();

    auto missing = installer.install((dir.path / "nowhere.tar.gz").string());
    EXPECT_EQ(missing.errorMessage, "Failed to unpack archive: No such file or directory");
    expectOnlyA();

    // The bundle is the first top-level directory holding bin/vokari; one without it is no app.
    auto noApp =
        installer.install(archive("noapp.tar.gz", {{"Vokari/share/readme", ArchiveEntry::Kind::file, "x"},
                                                   {"Other/bin/vokarictl", ArchiveEntry::Kind::file, "x", 0755}})
                              .string());
    EXPECT_FALSE(noApp.ok);
    EXPECT_EQ(noApp.errorMessage, "No app found in update archive.");
    expectOnlyA();

    auto hostile = installer.install(
        archive("hostile.tar.gz", {{"Vokari/bin/vokari", ArchiveEntry::Kind::file, "x", 0755},
                                   {"Vokari/share/key", ArchiveEntry::Kind::symlink, "../../../../.ssh/id_rsa"}})
            .string());
    EXPECT_FALSE(hostile.ok);
    EXPECT_THAT(hostile.logLine, HasSubstr("link points outside"));
    expectOnlyA();
}

TEST_F(BundleInstallerTest, ANewCopyThatDoesNotRunIsNeverSwappedIn) {
    installA();
    auto entries = bundleEntries(appB);
    entries[2].content = "#!/bin/sh\nexit 3\n"; // bin/vokari
    BundleInstaller installer(paths());
    auto outcome = installer.install(archive("broken.tar.gz", entries).string());
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.errorMessage, "Failed to install: the new version does not start (exited with status 3)");
    expectOnlyA();
}

TEST_F(BundleInstallerTest, PrefersTheSystemFolderAndFallsBackToTheUsersOwn) {
    auto p = paths();
    fs::create_directories(dir.path / "opt");
    p.systemApplications = dir.path / "opt/vokari";
    BundleInstaller system(p);
    auto outcome = system.install(archive("a.tar.gz", bundleEntries(appA)).string());
    ASSERT_TRUE(outcome.ok) << outcome.errorMessage;
    EXPECT_EQ(outcome.installedProgram, (p.systemApplications / "Vokari/bin/vokari").string());
    EXPECT_FALSE(fs::exists(apps / "Vokari"));

    // A system folder that cannot be created (its parent is a file): the user's folder takes the copy, and that is
    // the copy to restart.
    std::ofstream(dir.path / "blocked");
    p.systemApplications = dir.path / "blocked/vokari";
    BundleInstaller fallback(p);
    outcome = fallback.install(archive("b.tar.gz", bundleEntries(appB)).string());
    ASSERT_TRUE(outcome.ok) << outcome.errorMessage;
    EXPECT_EQ(outcome.installedProgram, (apps / "Vokari/bin/vokari").string());
    EXPECT_EQ(versionOf(outcome.installedProgram), versionB);
}

TEST_F(BundleInstallerTest, OnlyACopyListedByTheDebianPackageIsPackageManaged) {
    fs::create_directories(dir.path / "dpkg");
    std::ofstream(dir.path / "dpkg/vokari.list") << "/.\n/usr\n/usr/bin\n/usr/bin/vokari\n";
    auto p = paths();
    p.runningProgram = "/usr/bin/vokari";
    EXPECT_TRUE(BundleInstaller(p).isPackageManaged());
    p.runningProgram = "/usr/local/bin/vokari";
    EXPECT_FALSE(BundleInstaller(p).isPackageManaged()) << "not in the package's file list";
    p.runningProgram = apps / "Vokari/bin/vokari";
    EXPECT_FALSE(BundleInstaller(p).isPackageManaged()) << "a bundle install";
    fs::remove(dir.path / "dpkg/vokari.list");
    p.runningProgram = "/usr/bin/vokari";
    EXPECT_FALSE(BundleInstaller(p).isPackageManaged()) << "no package installed";
}

// The restart runs the program in a session of its own, marked as a restart, with default signal handling and no
// inherited descriptors, even though this process ignores and blocks signals and holds a descriptor open.
TEST_F(BundleInstallerTest, RelaunchStartsTheProgramDetachedAndMarked) {
    const auto report = dir.path / "report";
    const auto program = dir.path / "fake-vokari";
    // It names itself and its arguments, then becomes a process whose state the test reads from /proc.
    std::ofstream(program) << "#!/bin/sh\necho \"$$ $*\" >" << report << ".part && mv " << report << ".part " << report
                           << "\nexec sleep 30\n";
    fs::permissions(program, fs::perms::owner_all);
    auto previous = std::signal(SIGTERM, SIG_IGN);
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    const int leaked = ::open("/dev/null", O_RDONLY); // without close-on-exec

    BundleInstaller installer(paths());
    EXPECT_TRUE(installer.relaunch(program.string()));
    ::close(leaked);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    std::signal(SIGTERM, previous);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(report); }, std::chrono::seconds(10)));
    std::istringstream words(fileBytes(report));
    pid_t pid = 0;
    std::string args;
    words >> pid >> args;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(args, "--restarted");
    // Wait until the shell has become sleep, then read its state.
    ASSERT_TRUE(waitUntil([&] { return fileBytes("/proc/" + std::to_string(pid) + "/comm") == "sleep\n"; },
                          std::chrono::seconds(10)));
    std::istringstream stat(fileBytes("/proc/" + std::to_string(pid) + "/stat"));
    std::string field;
    for (int i = 0; i < 6 && stat >> field; ++i) {
    }
    EXPECT_EQ(field, std::to_string(pid)) << "its own session";
    std::vector<std::string> fds;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        fds.push_back(e.path().filename().string());
    }
    std::sort(fds.begin(), fds.end());
    EXPECT_THAT(fds, ::testing::ElementsAre("0", "1", "2"));
    const auto status = fileBytes("/proc/" + std::to_string(pid) + "/status");
    // Bit n-1 stands for signal n; the C library's own real-time signals may stay as they are.
    const unsigned long long ours =
        (1ull << (SIGHUP - 1)) | (1ull << (SIGINT - 1)) | (1ull << (SIGPIPE - 1)) | (1ull << (SIGTERM - 1));
    for (const char* name : {"SigIgn:\t", "SigBlk:\t"}) {
        auto at = status.find(name);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_EQ(std::stoull(status.substr(at + 8), nullptr, 16) & ours, 0u) << name << status;
    }
    ::kill(pid, SIGKILL);

    EXPECT_FALSE(installer.relaunch((dir.path / "missing").string()));
}
