// The real executable: start-up line, port conflicts, access log, graceful SIGTERM and a restart that keeps data.
#include "ServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <future>

using namespace vokari::server::test;
using nlohmann::json;

namespace {

const httplib::Headers kDevice{{"x-device-id", "IT-DEVICE"}};

httplib::Result postAudio(int port, const std::string& wav) {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(std::chrono::seconds(120));
    return c.Post("/process", kDevice, httplib::MultipartFormDataItems{{"audio", wav, "recording.wav", "audio/wav"}});
}

} // namespace

TEST(ServerProcessIntegration, HelpBadOptionsAndAMissingModel) {
    ServerProcess help({"--help"});
    EXPECT_EQ(help.waitExit(), 0);
    EXPECT_NE(help.output().find("--daily-limit"), std::string::npos);
    ServerProcess bad({"--listen", "nowhere:99999"});
    EXPECT_EQ(bad.waitExit(), 2);
    EXPECT_NE(bad.output().find("--listen"), std::string::npos);

    // Without its model the server still starts, and answers 503 with a JSON error.
    auto data = uniquePath("vokari-server-it");
    ServerProcess server({"--listen", "127.0.0.1:0", "--data", data.string(), "--model-dir", "/nonexistent"});
    auto p = server.waitUntilListening();
    ASSERT_TRUE(p) << server.output();
    auto r = postAudio(*p, fliteWav("hello"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 503);
    EXPECT_TRUE(json::parse(r->body)["error"].is_string());
    EXPECT_EQ(server.terminate(), 0);
    std::filesystem::remove_all(data);
}

TEST(ServerProcessIntegration, ServesFinishesInFlightWorkOnSigtermAndKeepsDataAcrossRestart) {
    auto data = uniquePath("vokari-server-it");
    const std::vector<std::string> args = {"--listen", "127.0.0.1:0", "--data", data.string(), "--decoders", "1"};
    std::string speech = fliteWav("the quick brown fox jumps over the lazy dog and runs far away into the forest");
    ASSERT_FALSE(speech.empty()) << "flite or sox failed";
    {
        ServerProcess server(args);
        auto port = server.waitUntilListening();
        ASSERT_TRUE(port) << server.output();

        // A second server on the same port fails at once with one clear line and exit code 1.
        ServerProcess clash({"--listen", "127.0.0.1:" + std::to_string(*port), "--data", data.string()});
        EXPECT_EQ(clash.waitExit(), 1);
        std::string clashErr = clash.output();
        EXPECT_NE(clashErr.find("already in use"), std::string::npos) << clashErr;
        EXPECT_EQ(std::count(clashErr.begin(), clashErr.end(), '\n'), 1) << clashErr;

        httplib::Client c("127.0.0.1", *port);
        ASSERT_EQ(c.Post("/style", kDevice, R"({"style_preset":"casual"})", "application/json")->status, 200);

        // SIGTERM while a transcription is running: it still completes.
        auto inFlight = std::async(std::launch::async, [&] { return postAudio(*port, speech); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(server.terminate(), 0);
        auto r = inFlight.get();
        ASSERT_TRUE(r) << "request in flight was dropped";
        ASSERT_EQ(r->status, 200) << r->body;
        EXPECT_NE(json::parse(r->body)["raw"].get<std::string>().find("fox"), std::string::npos) << r->body;

        std::string log = server.output();
        EXPECT_NE(log.find("POST /style 200"), std::string::npos) << log;
        EXPECT_NE(log.find("POST /process 200"), std::string::npos) << log;
    }
    ServerProcess again(args);
    auto port = again.waitUntilListening();
    ASSERT_TRUE(port) << again.output();
    httplib::Client c("127.0.0.1", *port);
    EXPECT_EQ(json::parse(c.Get("/profile", kDevice)->body)["style_preset"], "casual");
    EXPECT_EQ(json::parse(c.Get("/transcripts?limit=5", kDevice)->body)["transcripts"].size(), 1u);
    EXPECT_EQ(again.terminate(), 0);
    std::filesystem::remove_all(data);
}
