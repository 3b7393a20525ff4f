// Command-line options and the date formats used on the wire.
#include "core/AccessLog.h"
#include "core/ServerOptions.h"
#include "core/TimeFormat.h"

#include <gtest/gtest.h>

using namespace vokari::server;

namespace {

std::optional<std::string> fakeEnv(const char* name) {
    if (std::string(name) == "HOME") {
        return std::string("/home/u");
    }
    return std::nullopt;
}

} // namespace

TEST(ServerOptions, DefaultsAndEveryOption) {
    auto d = std::get<ServerOptions>(parseServerOptions({}, fakeEnv));
    EXPECT_EQ(d.host + ":" + std::to_string(d.port) + " " + d.dataDir,
              "127.0.0.1:8790 /home/u/.local/share/vokari-server");
    EXPECT_EQ(d.dailyLimit, 1000);
    EXPECT_EQ(d.stt + "/" + d.refiner, "pocketsphinx/rules");

    auto o = std::get<ServerOptions>(parseServerOptions(
        {"--listen", "0.0.0.0:9000", "--data=/tmp/x", "--daily-limit", "0", "--releases", "/r", "--threads", "3",
         "--stt", "openai", "--stt-url", "http://h:1", "--refiner", "openai", "--llm-url", "http://h:2"},
        fakeEnv));
    EXPECT_EQ(o.host + ":" + std::to_string(o.port) + " " + o.dataDir + " " + o.releasesDir, "0.0.0.0:9000 /tmp/x /r");
    EXPECT_EQ(o.dailyLimit, 0);
    EXPECT_EQ(o.threads, 3);
    EXPECT_TRUE(o.streaming);
    EXPECT_FALSE(std::get<ServerOptions>(parseServerOptions({"--no-stream"}, fakeEnv)).streaming);
    EXPECT_EQ(std::get<ServerOptions>(parseServerOptions({"--listen", "[::1]:80"}, fakeEnv)).host, "::1");

    // Download links: the listen address with the bound port by default, else --public-url without trailing '/'.
    EXPECT_EQ(publicOrigin(d, 8790), "http://127.0.0.1:8790");
    EXPECT_EQ(publicOrigin(std::get<ServerOptions>(parseServerOptions({"--listen", "[::1]:0"}, fakeEnv)), 4321),
              "http://[::1]:4321");
    auto pub = std::get<ServerOptions>(parseServerOptions({"--public-url", "https://vk.example.org/app/"}, fakeEnv));
    EXPECT_EQ(publicOrigin(pub, 8790), "https://vk.example.org/app");

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--listen", "host:99999"},
                                                {"--public-url", "ftp://h"},
                                                {"--public-url", "https:///path"},
                                                {"--public-url", "http://h/?x=1"},
                                                {"--daily-limit", "-1"},
                                                {"--daily-limit"},
                                                {"--stt", "whisper"},
                                                {"--stt", "openai"},
                                                {"--bogus"},
                                                {"--threads", "0"}}) {
        auto r = parseServerOptions(bad, fakeEnv);
        ASSERT_TRUE(std::holds_alternative<OptionsError>(r)) << bad[0];
        EXPECT_FALSE(std::get<OptionsError>(r).message.empty());
    }
    // --help names every option the parser knows.
    for (const char* opt : {"--listen", "--data", "--daily-limit", "--stt", "--stt-url", "--stt-model", "--refiner",
                            "--llm-url", "--llm-model", "--releases", "--public-url", "--threads", "--decoders",
                            "--model-dir", "--api-key-env", "--help"}) {
        EXPECT_NE(serverUsage().find(opt), std::string::npos) << opt;
    }
}

TEST(ServerTimeFormat, IsoWithMillisecondsAndUtcDays) {
    EXPECT_EQ(isoUtcMs(1'796'515'199'999), "2026-12-05T23:59:59.999Z");
    EXPECT_EQ(utcDay(1'796'515'199'999), "2026-12-05");
    EXPECT_EQ(isoUtcMs(951'782'400'042), "2000-02-29T00:00:00.042Z");

    AccessRecord r{0, "127.0.0.1", "POST", "/process", 429, 12.34, 100, "ABCDEFGH-1234"};
    EXPECT_EQ(formatAccessLine(r), "1970-01-01T00:00:00.000Z 127.0.0.1 POST /process 429 12.3ms 100B device=ABCDEFGH");
}
