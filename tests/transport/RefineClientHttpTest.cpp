// RefineClient over the real curl transport against a recording server on loopback: request bytes, answer
// rules, transport failures and connection reuse.
#include "Await.h"
#include "FakeSecretStore.h"
#include "ProcessResultText.h"
#include "RecordingServer.h"
#include "RecordingSink.h"
#include "TestFiles.h"
#include "core/AtomicFile.h"
#include "core/JsonText.h"
#include "net/CurlTransport.h"
#include "transport/RefineClient.h"

#include <gtest/gtest.h>

#include <regex>

namespace vokari {
namespace {

using test::Reply;

using test::describe;
const std::string kWrong = "error(Something went wrong — try again)";

class RefineClientHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        debuglog::setSink(sink);
        secrets->items[{"ai.vokari", "deviceId", false}] = "DEV-1234-ID";
    }
    void TearDown() override { debuglog::setSink(nullptr); }

    std::shared_ptr<RefineClient> make(std::string origin, CurlTransport::Options options = {}) {
        transport = std::make_shared<CurlTransport>(options);
        RefineClientConfig config;
        config.secrets = secrets;
        config.defaults = &defaults;
        config.baseURL = origin;
        config.vocabPath = vocabPath;
        config.deviceName = "desk";
        config.osVersion = "1.2.3";
        return test::connectedClient(transport, config);
    }
    ProcessResult process(RefineClient& client, std::vector<std::uint8_t> audio = {'R', 'I', 'F', 'F'},
                          std::string source = "dictation") {
        test::Await<ProcessResult> done;
        client.process(std::move(audio), std::move(source), [&done](ProcessResult r) { done.set(std::move(r)); });
        auto r = done.get();
        EXPECT_NE(done.deliveredOn(), std::this_thread::get_id()) << "completions run on the worker thread";
        return r.value_or(ProcessError{"<no completion>"});
    }

    test::RecordingServer server;
    std::shared_ptr<test::RecordingSink> sink = std::make_shared<test::RecordingSink>();
    std::shared_ptr<test::FakeSecretStore> secrets = std::make_shared<test::FakeSecretStore>();
    MemoryDefaultsStore defaults;
    test::TempDir dir;
    std::filesystem::path vocabPath = dir / ".vokari-backend.json";
    std::shared_ptr<CurlTransport> transport;
};

TEST_F(RefineClientHttpTest, ProcessUploadsTheExactMultipartBody) {
    auto client = make(server.origin() + "/");
    std::string audio("RIFF\0\0\r\n\xff--", 11);
    const std::string file = "\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"recording.wav\"\r\n"
                             "Content-Type: audio/wav\r\n\r\n" +
                             audio + "\r\n--";
    std::string previous;
    // An empty vocabulary (or none) drops the vocab part; every request has its own boundary.
    for (const auto& [vocabFile, source, vocabPart] : std::vector<std::array<std::string, 3>>{
             {R"({"vocab":"Kubernetes, Grafana","other":1})", "dictation", "Kubernetes, Grafana"},
             {R"({"vocab":""})", "test-source", ""}}) {
        ASSERT_FALSE(writeFileAtomically(vocabPath, vocabFile));
        process(*client, {audio.begin(), audio.end()}, source);
        auto request = server.requests().back();
        EXPECT_EQ(request.method + " " + request.target + " " + request.header("x-device-id"),
                  "POST /process DEV-1234-ID");
        EXPECT_TRUE(request.header("expect").empty()) << "no 100-continue round trip";
        std::smatch m;
        std::string contentType = request.header("content-type");
        ASSERT_TRUE(std::regex_match(contentType, m,
                                     std::regex("multipart/form-data; boundary=([0-9A-F]{8}-[0-9A-F]{4}-"
                                                "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})")));
        std::string b = m[1];
        EXPECT_EQ(request.body, "--" + b + file +
                                    (vocabPart.empty() ? ""
                                                       : b +
                                                             "\r\nContent-Disposition: form-data; name=\"vocab\""
                                                             "\r\n\r\n" +
                                                             vocabPart + "\r\n--") +
                                    b + "\r\nContent-Disposition: form-data; name=\"source\"\r\n\r\n" + source +
                                    "\r\n--" + b + "--\r\n");
        EXPECT_NE(b, previous);
        previous = b;
    }
}

TEST_F(RefineClientHttpTest, EveryAnswerRuleOfTheProcessingRequest) {
    auto client = make(server.origin());
    std::string longText(100, 'a');
    const std::string a60(60, 'a'), failed = "error(Server error — try again)";
    const std::vector<std::tuple<Reply, std::string, std::string>> cases = {
        {{200, R"({"raw":"r","refined":"f","total_ms":12})"}, "success(r, f)", "✨ Processed in 12ms: f"},
        {{200, R"({"refined":")" + longText + R"("})"}, "success(-, " + longText + ")", "✨ Processed in 0ms: " + a60},
        {{200, R"({"raw":1,"refined":["x"],"total_ms":"9"})"}, "success(-, -)", "✨ Processed in 0ms: nil"},
        {{200, R"(["raw","refined"])"}, kWrong, ""},
        {{200, "<html>ok</html>", "text/html"}, kWrong, ""},
        {{200, ""}, kWrong, ""},
        {{200, "{\"refined\":\"\xff\xfe\"}"}, kWrong, ""},
        {{200, std::string(200'000, '[')}, kWrong, ""},
        {{429, R"({"error":"missing audio"})"}, "rateLimited", "⚠️ Daily limit reached"},
        {{400, R"({"error":"missing audio"})"}, "error(No audio captured)", "⚠️ Server error 400: missing audio"},
        {{400, R"j({"error":"Too long"})j"}, "error(Too long)", "⚠️ Server error 400: Too long"},
        {{500, R"({"error":"processing failed"})"},
         "error(Processing failed — try again)",
         "⚠️ Server error 500: processing failed"},
        {{500, R"({"error":"db down"})"}, failed, "⚠️ Server error 500: db down"},
        {{500, R"({"error":5})"}, failed, "⚠️ Server error 500"},
        {{503, ""}, "error(Server temporarily unavailable)", "⚠️ Server error 503"},
        {{503, R"({"error":"maintenance"})"},
         "error(Server temporarily unavailable)",
         "⚠️ Server error 503: maintenance"},
        {{502, R"({"error":"missing audio"})"}, failed, "⚠️ Server error 502: missing audio"},
        {{404, "<h1>Not Found</h1>", "text/html"}, failed, "⚠️ Server error 404"},
    };
    for (const auto& [reply, result, logLine] : cases) {
        SCOPED_TRACE(reply.body.substr(0, 60));
        sink->clear();
        server.answer("/process", reply);
        EXPECT_EQ(describe(process(*client)), result);
        EXPECT_EQ(sink->messages(), logLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{logLine});
    }
}

TEST_F(RefineClientHttpTest, TransportFailuresBecomeTheirMessages) {
    auto client = make(server.origin(), CurlTransport::Options{64 << 20, 0.3});
    server.answer("/process", Reply{.closeWithoutAnswer = true});
    sink->clear();
    EXPECT_EQ(describe(process(*client)), "error(Connection lost — try again)");
    ASSERT_EQ(sink->messages().size(), 1u);
    EXPECT_TRUE(sink->messages()[0].starts_with("⚠️ Process failed: ")) << sink->messages()[0];

    server.answer("/process", Reply{.delay = std::chrono::milliseconds(1500)});
    EXPECT_EQ(describe(process(*client)), "error(Request timed out — try again)");

    test::ClosedPort closedPort;
    auto offline = make(closedPort.origin());
    EXPECT_EQ(describe(process(*offline)), kWrong);

    // TLS spoken to a plain HTTP server fails as a secure-connection failure.
    auto tls = make("https://127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(describe(process(*tls)), "error(Connection failed — check your network)");
}

TEST_F(RefineClientHttpTest, RegistrationAndDictationShareOneConnection) {
    auto client = make(server.origin());
    auto registration = server.waitFor("/register");
    auto profile = server.waitFor("/profile");
    ASSERT_TRUE(registration && profile);
    EXPECT_EQ(registration->method + " " + registration->header("content-type") + " [" +
                  registration->header("x-device-id") + "]",
              "POST application/json []");
    EXPECT_EQ(*JsonText::parseObject(registration->body),
              nlohmann::json({{"device_id", "DEV-1234-ID"}, {"device_name", "desk"}, {"os_version", "1.2.3"}}));
    EXPECT_EQ(profile->method + " " + profile->header("x-device-id"), "GET DEV-1234-ID");

    // Registration and profile fetch run at once (HTTP/1.1: up to two connections); the dictation then finds
    // an idle pooled connection instead of opening another.
    int before = server.connectionsAccepted();
    process(*client);
    process(*client);
    EXPECT_EQ(server.connectionsAccepted(), before);
    EXPECT_EQ(transport->connectionsOpened(), static_cast<std::size_t>(before));
    auto requests = server.requests();
    EXPECT_EQ(requests.back().connection, requests[requests.size() - 2].connection);
}

TEST_F(RefineClientHttpTest, StyleAndVocabularyPushes) {
    auto client = make(server.origin());
    sink->clear();
    auto push = [&](auto&& start) {
        test::Await<bool> done;
        start([&done](std::optional<TransportError> error) { done.set(!error); });
        return done.get().value_or(false);
    };
    EXPECT_TRUE(push([&](auto done) { client->syncStyle("custom", "Be terse.\nNo emoji ✨", done); }));
    EXPECT_TRUE(push([&](auto done) { client->syncStyle("Custom", "ignored", done); }));
    EXPECT_TRUE(push([&](auto done) { client->syncVocab("", done); }));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    for (const auto& [i, target, body] : std::vector<std::tuple<int, std::string, std::string>>{
             {2, "/style", R"({"custom_prompt":"Be terse.\nNo emoji ✨","style_preset":"custom"})"},
             {3, "/style", R"({"style_preset":"Custom"})"},
             {4, "/profile", R"({"vocab":""})"}}) {
        EXPECT_EQ(requests[i].method + " " + requests[i].target, "POST " + target);
        EXPECT_EQ(requests[i].header("content-type") + " " + requests[i].header("x-device-id"),
                  "application/json DEV-1234-ID");
        EXPECT_EQ(*JsonText::parseObject(requests[i].body), nlohmann::json::parse(body));
    }
    for (const auto* line :
         {"☁️ Style synced: custom", "☁️ Style synced: Custom", "☁️ Vocab synced to server"}) {
        EXPECT_TRUE(sink->contains(line)) << line;
    }

    test::ClosedPort closedPort;
    auto offline = make(closedPort.origin());
    sink->clear();
    offline->syncStyle("casual", "");
    offline->syncVocab("a, b");
    transport->waitIdle(std::chrono::seconds(5));
    EXPECT_TRUE(sink->anyStartsWith("⚠️ Style sync failed: "));
    EXPECT_TRUE(sink->anyStartsWith("⚠️ Vocab sync failed: "));
}

TEST_F(RefineClientHttpTest, HistoryPagesAndTheirAnswerRules) {
    auto client = make(server.origin());
    auto fetch = [&](std::optional<std::int64_t> after, std::int64_t limit) {
        test::Await<std::pair<std::vector<Transcript>, bool>> page;
        client->fetchTranscripts(after, limit, [&](std::vector<Transcript> list, bool more) {
            page.set({std::move(list), more});
        });
        return page.get().value();
    };
    server.answer("/transcripts", Reply{200, R"({"transcripts":[
        {"id":7,"raw":"r7","refined":"f7","created_at":"2026-12-01 10:00:00"},
        {"id":"8","raw":"r8","refined":"f8","created_at":"x"},
        {"id":9,"raw":"r9","refined":null,"created_at":"x"},
        {"id":10,"raw":"r10","refined":"f10","created_at":"2026-12-01T09:00:00Z","extra":1}],"has_more":true})"});
    auto [list, more] = fetch(std::nullopt, 20);
    EXPECT_EQ(server.requests().back().target, "/transcripts?limit=20");
    EXPECT_EQ(server.requests().back().header("x-device-id"), "DEV-1234-ID");
    EXPECT_EQ(list, (std::vector<Transcript>{{7, "r7", "f7", "2026-12-01 10:00:00"},
                                             {10, "r10", "f10", "2026-12-01T09:00:00Z"}}));
    EXPECT_TRUE(more);

    server.answer("/transcripts", Reply{500, R"({"transcripts":[],"has_more":"true"})"});
    auto [empty, notMore] = fetch(512, 20);
    EXPECT_EQ(server.requests().back().target, "/transcripts?limit=20&after=512");
    EXPECT_TRUE(empty.empty() && !notMore);

    for (const std::string body :
         {R"({"transcripts":[{"id":1,"raw":"a","refined":"b","created_at":"c"},3],"has_more":true})",
          R"({"transcripts":{"id":1},"has_more":true})", "[]", "", "<html>"}) {
        SCOPED_TRACE(body);
        server.answer("/transcripts", Reply{200, body});
        auto [l, m] = fetch(std::nullopt, 50);
        EXPECT_TRUE(l.empty() && !m);
    }

    // The optional failure channel tells "backend down" and nonsense answers from an empty history.
    auto failure = [](RefineClient& c) {
        auto note = std::make_shared<std::string>("none");
        test::Await<std::string> told;
        c.fetchTranscripts(
            std::nullopt, 5, [&told, note](std::vector<Transcript>, bool) { told.set(*note); },
            [note](const std::string& message) { *note = message; });
        return told.get().value_or("no completion");
    };
    server.answer("/transcripts", Reply{200, R"({"transcripts":[],"has_more":false})"});
    EXPECT_EQ(failure(*client), "none");
    server.answer("/transcripts", Reply{200, "<html>"});
    EXPECT_EQ(failure(*client), "Something went wrong — try again");
    server.answer("/transcripts", Reply{502, "<html>"});
    EXPECT_EQ(failure(*client), "Server error — try again");
    test::ClosedPort closedPort;
    EXPECT_EQ(failure(*make(closedPort.origin())), "Something went wrong — try again");
}

} // namespace
} // namespace vokari
