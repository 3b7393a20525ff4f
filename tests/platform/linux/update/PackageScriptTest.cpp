// scripts/package.sh's bundle of this build: its layout, that it runs from wherever it is unpacked, its manifest
// entry, and the reference server serving it under --releases to a client that downloads and installs it over an
// installed older bundle.
#include "ChildProcess.h"
#include "platform/linux/update/BundleInstaller.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vokari;
using namespace vokari::testing;
namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Runs a command to completion; its output, with standard error kept in `log` for the failure message.
std::optional<std::string> run(const std::vector<std::string>& argv, const fs::path& log,
                               std::chrono::seconds timeout = std::chrono::seconds(120)) {
    ChildProcess child;
    if (!child.start(argv, 1, log)) {
        return std::nullopt;
    }
    auto out = child.read(timeout, true);
    if (!out || !waitUntil([&] { return !child.running(); }, std::chrono::seconds(5)) || !child.succeeded()) {
        return std::nullopt;
    }
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        out.push_back(line);
    }
    return out;
}

int freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

} // namespace

TEST(PackageScriptTest, BundleRunsAnywhereAndIsServedAndInstalledAsAnUpdate) {
    TempDir dir("vokari-package");
    const auto log = dir.path / "commands.log";
    const std::string script = VOKARI_SOURCE_DIR "/scripts/package.sh";
    auto fail = [&] {
        std::string text(1, '\n');
        text += readAll(log);
        return text;
    };

    // Version A: the build as it is. Version B: the same build with the next version's app.
    ASSERT_TRUE(
        run({"bash", script, "--no-build", "--build-dir", VOKARI_BUILD_DIR, "--out", (dir.path / "a").string()}, log))
        << fail();
    ASSERT_TRUE(run({"bash", script, "--no-build", "--build-dir", VOKARI_BUILD_DIR, "--app", VOKARI_NEXT_APP, "--out",
                     (dir.path / "b").string()},
                    log))
        << fail();
    const auto manifestA = nlohmann::json::parse(readAll(dir.path / "a/manifest.json"));
    const auto manifestB = nlohmann::json::parse(readAll(dir.path / "b/manifest.json"));
    const std::string versionA = manifestA.at("version");
    const std::string versionB = manifestB.at("version");
    ASSERT_NE(versionA, versionB);
    const auto tarA = dir.path / "a" / manifestA.at("file").get<std::string>();
    const auto tarB = dir.path / "b" / manifestB.at("file").get<std::string>();
    EXPECT_EQ(tarA.filename(), "Vokari-" + versionA + "-linux-x86_64.tar.gz");
    auto sum = run({"sha256sum", tarB.string()}, log);
    ASSERT_TRUE(sum);
    EXPECT_EQ(sum->substr(0, 64), manifestB.at("sha256").get<std::string>());

    // One top-level directory, Vokari/, with the launcher, the three programs and what the desktop needs.
    auto listing = run({"tar", "-tzf", tarA.string()}, log);
    ASSERT_TRUE(listing) << fail();
    const auto names = lines(*listing);
    EXPECT_THAT(names, Each(StartsWith("Vokari/")));
    for (const char* expected :
         {"Vokari/vokari", "Vokari/bin/vokari", "Vokari/bin/vokari-server", "Vokari/bin/vokarictl",
          "Vokari/share/applications/vokari.desktop", "Vokari/share/icons/hicolor/scalable/apps/vokari.svg",
          "Vokari/share/vokari/fonts/Figtree-Regular.woff", "Vokari/share/vokari/fonts/Figtree-OFL.txt"}) {
        EXPECT_THAT(names, Contains(expected));
    }

    // Unpacked anywhere, it runs on the system's libraries alone: nothing points back into the build tree.
    const auto anywhere = dir.path / "some where";
    fs::create_directories(anywhere);
    ASSERT_TRUE(run({"tar", "-xzf", tarA.string(), "-C", anywhere.string()}, log)) << fail();
    EXPECT_EQ(run({(anywhere / "Vokari/vokari").string(), "--version"}, log), "Vokari " + versionA + "\n") << fail();
    for (const char* program : {"vokari", "vokari-server", "vokarictl"}) {
        auto dynamic = run({"readelf", "-d", (anywhere / "Vokari/bin" / program).string()}, log);
        ASSERT_TRUE(dynamic);
        EXPECT_THAT(*dynamic, ::testing::Not(HasSubstr(VOKARI_BUILD_DIR))) << program;
        auto libraries = run({"ldd", (anywhere / "Vokari/bin" / program).string()}, log);
        ASSERT_TRUE(libraries);
        EXPECT_THAT(*libraries, ::testing::Not(HasSubstr("not found"))) << program;
    }
    // The launcher adds this copy to the user's menu.
    auto home = dir.path / "home";
    ASSERT_TRUE(
        run({"env", "HOME=" + home.string(), "XDG_DATA_HOME=", (anywhere / "Vokari/vokari").string(), "--add-to-menu"},
            log))
        << fail();
    EXPECT_THAT(readAll(home / ".local/share/applications/vokari.desktop"),
                HasSubstr("Exec=\"" + (anywhere / "Vokari/bin/vokari").string() + "\"\n"));

    // The reference server offers B to A and serves the very file.
    const int port = freePort();
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    ChildProcess server;
    ASSERT_TRUE(server.start({VOKARI_SERVER, "--listen", "127.0.0.1:" + std::to_string(port), "--data",
                              (dir.path / "data").string(), "--releases", (dir.path / "b").string()},
                             -1, dir.path / "server.log"));
    ASSERT_TRUE(waitUntil(
        [&] {
            return run({"curl", "-sf", origin + "/health"}, log).has_value();
        },
        std::chrono::seconds(30)))
        << readAll(dir.path / "server.log");
    auto check = run({"curl", "-sf", origin + "/update/check?v=" + versionA}, log);
    ASSERT_TRUE(check);
    const auto answer = nlohmann::json::parse(*check);
    EXPECT_EQ(answer.at("update_available"), true);
    EXPECT_EQ(answer.at("latest"), versionB);
    EXPECT_EQ(answer.at("sha256"), manifestB.at("sha256"));
    const std::string url = answer.at("download_url");
    EXPECT_EQ(url, origin + "/downloads/" + tarB.filename().string());
    const auto downloaded = dir.path / "download.tar.gz";
    ASSERT_TRUE(run({"curl", "-sf", "-o", downloaded.string(), url}, log));
    EXPECT_EQ(readAll(downloaded), readAll(tarB));
    auto upToDate = run({"curl", "-sf", origin + "/update/check?v=" + versionB}, log);
    ASSERT_TRUE(upToDate);
    EXPECT_EQ(nlohmann::json::parse(*upToDate).at("update_available"), false);
    server.stop();

    // A installed from its bundle, then the downloaded B over it.
    BundleInstaller::Paths paths;
    paths.userApplications = dir.path / "apps";
    paths.stagingRoot = dir.path / "staging";
    paths.desktopEntries = home / ".local/share/applications";
    paths.runningProgram = "/nowhere";
    paths.websiteDomain = "vokari.example.com";
    BundleInstaller installer(paths);
    auto first = installer.install(tarA.string());
    ASSERT_TRUE(first.ok) << first.errorMessage;
    auto update = installer.install(downloaded.string());
    ASSERT_TRUE(update.ok) << update.errorMessage;
    EXPECT_EQ(run({(dir.path / "apps/Vokari/vokari").string(), "--version"}, log), "Vokari " + versionB + "\n");
    EXPECT_EQ(run({(dir.path / "apps/Vokari/bin/vokari-server").string(), "--help"}, log).has_value(), true)
        << "the whole bundle was replaced, server included";
}
