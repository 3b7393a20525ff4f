// CommandClient over the curl transport against a recording server: the upload's exact bytes and every
// answer rule of the command request.
#include "Await.h"
#include "RecordingServer.h"
#include "RecordingSink.h"
#include "command/CommandClient.h"
#include "net/CurlTransport.h"

#include <gtest/gtest.h>

#include <regex>

namespace vokari {
namespace {

using test::Reply;

class CommandClientHttpTest : public ::testing::Test {
protected:
    void SetUp() override { debuglog::setSink(sink); }
    void TearDown() override { debuglog::setSink(nullptr); }
    CommandResult send(CommandClient& client, std::vector<std::uint8_t> audio = {'R', 'I', 'F', 'F'},
                       std::string shot = "aGVsbG8=") {
        test::Await<CommandResult> done;
        client.sendCommand(std::move(audio), std::move(shot), [&done](CommandResult r) { done.set(std::move(r)); });
        auto r = done.get();
        EXPECT_NE(done.deliveredOn(), std::this_thread::get_id());
        return r.value_or(CommandError{"<no completion>"});
    }
    static std::string errorOf(const CommandResult& r) {
        auto* e = std::get_if<CommandError>(&r);
        return e ? e->message : "<success>";
    }

    test::RecordingServer server;
    std::shared_ptr<test::RecordingSink> sink = std::make_shared<test::RecordingSink>();
    std::shared_ptr<CurlTransport> transport = std::make_shared<CurlTransport>();
    CommandClient client{transport, server.origin(), "DEV-9"};
};

TEST_F(CommandClientHttpTest, UploadsAudioAndScreenshotInTheSharedLayout) {
    std::vector<std::uint8_t> audio = {'R', 'I', 'F', 'F', 0, '\r', '\n', 0xFE};
    send(client, audio, "");
    auto request = server.waitFor("/command");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method + " " + request->header("x-device-id"), "POST DEV-9");
    std::smatch m;
    std::string contentType = request->header("content-type");
    ASSERT_TRUE(std::regex_match(contentType, m, std::regex("multipart/form-data; boundary=([0-9A-F-]{36})")));
    std::string b = m[1];
    EXPECT_EQ(request->body, "--" + b +
                                 "\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"command.wav\"\r\n"
                                 "Content-Type: audio/wav\r\n\r\n" +
                                 std::string(audio.begin(), audio.end()) + "\r\n--" + b +
                                 "\r\nContent-Disposition: form-data; name=\"screenshot\"\r\n\r\n\r\n--" + b + "--\r\n")
        << "the screenshot part is sent even when empty";
}

TEST_F(CommandClientHttpTest, PlanAnswers) {
    std::string transcript(100, 't');
    server.answer("/command", Reply{200, R"({"transcript":")" + transcript + R"(","whisper_ms":"12","plan_ms":30,
        "total_ms":45,"actions":[{"type":"activate_app","app":"Mail"},{"type":"Scroll"},{"type":"delay"}]})"});
    auto r = send(client);
    ASSERT_TRUE(std::holds_alternative<CommandSuccess>(r));
    const auto& plan = std::get<CommandSuccess>(r).response;
    EXPECT_EQ(plan.transcript, transcript);
    EXPECT_EQ(std::vector<std::int64_t>({plan.whisperMs, plan.planMs, plan.totalMs}),
              std::vector<std::int64_t>({0, 30, 45}));
    CommandAction activate, wait; // type delay by default
    activate.type = ActionType::activate_app;
    activate.app = "Mail";
    EXPECT_EQ(plan.actions, (std::vector<CommandAction>{activate, wait}));
    EXPECT_EQ(sink->messages(),
              std::vector<std::string>{"🎯 Command response: \"" + std::string(60, 't') + "\" → 2 actions in 45ms"});

    sink->clear();
    server.answer("/command", Reply{200, R"({"transcript":"open mail"})"});
    r = send(client);
    ASSERT_TRUE(std::holds_alternative<CommandSuccess>(r));
    EXPECT_TRUE(std::get<CommandSuccess>(r).response.actions.empty());
    EXPECT_EQ(sink->messages(), std::vector<std::string>{"🎯 Command response: \"open mail\" → 0 actions in 0ms"});

    // "actions" that is not a list of objects reads as no actions.
    server.answer("/command", Reply{200, R"({"actions":[{"type":"delay"},"press_key"]})"});
    r = send(client);
    EXPECT_TRUE(std::get<CommandSuccess>(r).response.actions.empty());
}

TEST_F(CommandClientHttpTest, ErrorAnswers) {
    const std::vector<std::tuple<Reply, std::string, std::string>> cases = {
        {Reply{500, R"({"error":"planner crashed"})"}, "planner crashed", "⚠️ Command error 500: planner crashed"},
        {Reply{500, "<html>oops</html>", "text/html"}, "Server error", "⚠️ Command error 500: Server error"},
        {Reply{429, R"({"error":"Daily limit reached"})"}, "Daily limit reached",
         "⚠️ Command error 429: Daily limit reached"},
        {Reply{400, R"({"error":["x"]})"}, "Server error", "⚠️ Command error 400: Server error"},
        {Reply{200, "[1,2]"}, "Invalid response", ""},
        {Reply{200, ""}, "Invalid response", ""},
        {Reply{200, "{\"transcript\":\"\xff\"}"}, "Invalid response", ""},
        {Reply{200, std::string(100'000, '{')}, "Invalid response", ""},
    };
    for (const auto& [reply, message, log] : cases) {
        SCOPED_TRACE(message);
        sink->clear();
        server.answer("/command", reply);
        EXPECT_EQ(errorOf(send(client)), message);
        EXPECT_EQ(sink->messages(), log.empty() ? std::vector<std::string>{} : std::vector<std::string>{log});
    }
}

TEST_F(CommandClientHttpTest, TransportFailuresAndUnformableOrigins) {
    server.answer("/command", Reply{.closeWithoutAnswer = true});
    EXPECT_EQ(errorOf(send(client)), "Network error — try again");
    ASSERT_EQ(sink->messages().size(), 1u);
    EXPECT_TRUE(sink->messages()[0].starts_with("⚠️ Command request failed: "));

    test::ClosedPort closedPort;
    CommandClient offline{transport, closedPort.origin(), "D"};
    EXPECT_EQ(errorOf(send(offline)), "Network error — try again");

    CommandClient bad{transport, "127.0.0.1:8790", "D"};
    std::optional<CommandResult> now;
    bad.sendCommand({}, "", [&now](CommandResult r) { now = r; });
    ASSERT_TRUE(now) << "completes before sendCommand returns";
    EXPECT_EQ(errorOf(*now), "Invalid server URL");
}

} // namespace
} // namespace vokari
