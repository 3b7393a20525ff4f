// The real executable: start-up line, port conflicts, access log, graceful SIGTERM and a restart that keeps data.
#include "ServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <future>
#include <random>

using namespace vokari::test;
using nlohmann::json;

namespace {

std::filesystem::path tempDataDir() {
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("vokari-server-it-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    return dir;
}

httplib::Result postAudio(int port, const std::string& wav) {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(std::chrono::seconds(120));
    return c.Post(
        "/process", httplib::Headers{{"x-device-id", "IT-DEVICE"}},
        httplib::MultipartFormDataItems{{"audio", wav, "recording.wav", "audio/wav"}, {"source", "dictation", "", ""}});
}

} // namespace

TEST(ServerProcessIntegration, HelpListsOptionsAndBadOptionsFail) {
    ServerProcess help({"--help"});
    EXPECT_EQ(help.waitExit(), 0);
    EXPECT_NE(help.stdoutText().find("--daily-limit"), std::string::npos);
    ServerProcess bad({"--listen", "nowhere:99999"});
    EXPECT_EQ(bad.waitExit(), 2);
    EXPECT_NE(bad.stderrText().find("--listen"), std::string::npos);
}

TEST(ServerProcessIntegration, ServesFinishesInFlightWorkOnSigtermAndKeepsDataAcrossRestart) {
    auto data = tempDataDir();
    std::string speech = fliteWav("the quick brown fox jumps over the lazy dog and runs far away into the forest");
    ASSERT_FALSE(speech.empty()) << "flite or sox failed";
    int port = 0;
    {
        ServerProcess server({"--listen", "127.0.0.1:0", "--data", data.string(), "--decoders", "1"});
        auto p = server.waitUntilListening();
        ASSERT_TRUE(p) << server.stderrText();
        port = *p;

        // A second server on the same port fails at once with one clear line and exit code 1.
        ServerProcess clash({"--listen", "127.0.0.1:" + std::to_string(port), "--data", data.string()});
        EXPECT_EQ(clash.waitExit(), 1);
        std::string clashErr = clash.stderrText();
        EXPECT_NE(clashErr.find("already in use"), std::string::npos) << clashErr;
        EXPECT_EQ(std::count(clashErr.begin(), clashErr.end(), '\n'), 1) << clashErr;

        httplib::Client c("127.0.0.1", port);
        ASSERT_EQ(c.Post("/style", httplib::Headers{{"x-device-id", "IT-DEVICE"}}, R"({"style_preset":"casual"})",
                         "application/json")
                      ->status,
                  200);

        // SIGTERM while a transcription is running: it still completes.
        auto inFlight = std::async(std::launch::async, [&] { return postAudio(port, speech); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(server.terminate(), 0);
        auto r = inFlight.get();
        ASSERT_TRUE(r) << "request in flight was dropped";
        ASSERT_EQ(r->status, 200) << r->body;
        auto j = json::parse(r->body);
        EXPECT_NE(j["raw"].get<std::string>().find("fox"), std::string::npos) << r->body;

        std::string log = server.stderrText();
        EXPECT_NE(log.find("POST /style 200"), std::string::npos) << log;
        EXPECT_NE(log.find("POST /process 200"), std::string::npos) << log;
    }
    {
        ServerProcess again({"--listen", "127.0.0.1:0", "--data", data.string(), "--decoders", "1"});
        auto p = again.waitUntilListening();
        ASSERT_TRUE(p) << again.stderrText();
        httplib::Client c("127.0.0.1", *p);
        auto profile = json::parse(c.Get("/profile", httplib::Headers{{"x-device-id", "IT-DEVICE"}})->body);
        EXPECT_EQ(profile["style_preset"], "casual");
        auto page = json::parse(c.Get("/transcripts?limit=5", httplib::Headers{{"x-device-id", "IT-DEVICE"}})->body);
        ASSERT_EQ(page["transcripts"].size(), 1u);
        EXPECT_EQ(again.terminate(), 0);
    }
    std::filesystem::remove_all(data);
}

TEST(ServerProcessIntegration, MissingModelStartsButAnswers503) {
    auto data = tempDataDir();
    ServerProcess server({"--listen", "127.0.0.1:0", "--data", data.string(), "--model-dir", "/nonexistent"});
    auto p = server.waitUntilListening();
    ASSERT_TRUE(p) << server.stderrText();
    std::vector<int16_t> silence(16000, 0);
    std::string wav = fliteWav("hello");
    auto r = postAudio(*p, wav);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 503);
    EXPECT_TRUE(json::parse(r->body)["error"].is_string());
    EXPECT_EQ(server.terminate(), 0);
    std::filesystem::remove_all(data);
}
