// RefineClient over the real curl transport against a recording server on loopback: request bytes, answer
// rules, transport failures and connection reuse.
#include "Await.h"
#include "FakeSecretStore.h"
#include "RecordingServer.h"
#include "RecordingSink.h"
#include "TestFiles.h"
#include "core/AtomicFile.h"
#include "net/CurlTransport.h"
#include "transport/JsonText.h"
#include "transport/RefineClient.h"

#include <gtest/gtest.h>

#include <regex>

namespace vokari {
namespace {

using test::Reply;

struct Expect {
    std::string label;
    Reply reply;
    ProcessResult result;
    std::string logLine;
};

std::string describe(const ProcessResult& r) {
    if (auto* s = std::get_if<ProcessSuccess>(&r)) {
        return "success(" + s->raw.value_or("<none>") + ", " + s->refined.value_or("<none>") + ")";
    }
    if (auto* e = std::get_if<ProcessError>(&r)) {
        return "error(" + e->message + ")";
    }
    return "rateLimited";
}

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
        config.transport = transport;
        config.secrets = secrets;
        config.defaults = &defaults;
        config.baseURL = origin;
        config.vocabPath = vocabPath;
        config.deviceName = "desk";
        config.osVersion = "1.2.3";
        auto client = RefineClient::create(config);
        transport->waitIdle(std::chrono::seconds(10)); // registration and profile fetch
        return client;
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
    ASSERT_FALSE(writeFileAtomically(vocabPath, R"({"vocab":"Kubernetes, Grafana","other":1})"));
    auto client = make(server.origin() + "/");
    std::vector<std::uint8_t> audio = {'R', 'I', 'F', 'F', 0, 0, '\r', '\n', 0xFF, '-', '-'};
    server.answer("/process", Reply{200, R"({"raw":"r","refined":"f","total_ms":3})"});
    process(*client, audio, "dictation");
    auto request = server.waitFor("/process");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->target, "/process");
    EXPECT_EQ(request->header("x-device-id"), "DEV-1234-ID");
    std::smatch m;
    std::string contentType = request->header("content-type");
    ASSERT_TRUE(std::regex_match(contentType, m,
                                 std::regex("multipart/form-data; boundary=([0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                            "[0-9A-F]{4}-[0-9A-F]{12})")));
    std::string b = m[1];
    std::string expected = "--" + b +
                           "\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"recording.wav\"\r\n"
                           "Content-Type: audio/wav\r\n\r\n" +
                           std::string(audio.begin(), audio.end()) + "\r\n--" + b +
                           "\r\nContent-Disposition: form-data; name=\"vocab\"\r\n\r\nKubernetes, Grafana\r\n--" + b +
                           "\r\nContent-Disposition: form-data; name=\"source\"\r\n\r\ndictation\r\n--" + b + "--\r\n";
    EXPECT_EQ(request->body, expected);
    EXPECT_TRUE(request->header("expect").empty()) << "no 100-continue round trip";

    // An empty vocabulary (or none) drops the vocab part; every request has its own boundary.
    ASSERT_FALSE(writeFileAtomically(vocabPath, R"({"vocab":""})"));
    process(*client, audio, "test-source");
    auto second = server.requests().back();
    std::string b2 = second.header("content-type").substr(std::string("multipart/form-data; boundary=").size());
    EXPECT_NE(b2, b);
    EXPECT_EQ(second.body, "--" + b2 +
                               "\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"recording.wav\"\r\n"
                               "Content-Type: audio/wav\r\n\r\n" +
                               std::string(audio.begin(), audio.end()) + "\r\n--" + b2 +
                               "\r\nContent-Disposition: form-data; name=\"source\"\r\n\r\ntest-source\r\n--" + b2 +
                               "--\r\n");
}

TEST_F(RefineClientHttpTest, EveryAnswerRuleOfTheProcessingRequest) {
    auto client = make(server.origin());
    std::string longText(100, 'a');
    const std::vector<Expect> cases = {
        {"full",
         {200, R"({"raw":"r","refined":"f","total_ms":12})"},
         ProcessSuccess{"r", "f"},
         "✨ Processed in 12ms: f"},
        {"only refined",
         {200, R"({"refined":")" + longText + R"("})"},
         ProcessSuccess{std::nullopt, longText},
         "✨ Processed in 0ms: " + std::string(60, 'a')},
        {"wrong types",
         {200, R"({"raw":1,"refined":["x"],"total_ms":"9"})"},
         ProcessSuccess{},
         "✨ Processed in 0ms: nil"},
        {"array", {200, R"(["raw","refined"])"}, ProcessError{"Something went wrong — try again"}, ""},
        {"html", {200, "<html>ok</html>", "text/html"}, ProcessError{"Something went wrong — try again"}, ""},
        {"empty", {200, ""}, ProcessError{"Something went wrong — try again"}, ""},
        {"invalid utf8", {200, "{\"refined\":\"\xff\xfe\"}"}, ProcessError{"Something went wrong — try again"}, ""},
        {"deep", {200, std::string(200'000, '[')}, ProcessError{"Something went wrong — try again"}, ""},
        {"429", {429, R"({"error":"missing audio"})"}, ProcessRateLimited{}, "⚠️ Daily limit reached"},
        {"400 missing audio",
         {400, R"({"error":"missing audio"})"},
         ProcessError{"No audio captured"},
         "⚠️ Server error 400: missing audio"},
        {"400 other",
         {400, R"j({"error":"Audio too long (max 300 s)"})j"},
         ProcessError{"Audio too long (max 300 s)"},
         "⚠️ Server error 400: Audio too long (max 300 s)"},
        {"500 processing failed",
         {500, R"({"error":"processing failed"})"},
         ProcessError{"Processing failed — try again"},
         "⚠️ Server error 500: processing failed"},
        {"500 other",
         {500, R"({"error":"db down"})"},
         ProcessError{"Server error — try again"},
         "⚠️ Server error 500: db down"},
        {"500 error not a string",
         {500, R"({"error":5})"},
         ProcessError{"Server error — try again"},
         "⚠️ Server error 500"},
        {"503 no body", {503, ""}, ProcessError{"Server temporarily unavailable"}, "⚠️ Server error 503"},
        {"503 text",
         {503, R"({"error":"maintenance"})"},
         ProcessError{"Server temporarily unavailable"},
         "⚠️ Server error 503: maintenance"},
        {"502 with error",
         {502, R"({"error":"missing audio"})"},
         ProcessError{"Server error — try again"},
         "⚠️ Server error 502: missing audio"},
        {"404 html",
         {404, "<h1>Not Found</h1>", "text/html"},
         ProcessError{"Server error — try again"},
         "⚠️ Server error 404"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sink->clear();
        server.answer("/process", c.reply);
        auto result = process(*client);
        EXPECT_EQ(describe(result), describe(c.result));
        if (c.logLine.empty()) {
            EXPECT_TRUE(sink->messages().empty());
        } else {
            EXPECT_EQ(sink->messages(), std::vector<std::string>{c.logLine});
        }
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
    auto offline = make("http://127.0.0.1:" + std::to_string(closedPort.port()));
    EXPECT_EQ(describe(process(*offline)), "error(Something went wrong — try again)");

    // TLS spoken to a plain HTTP server fails as a secure-connection failure.
    auto tls = make("https://127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(describe(process(*tls)), "error(Connection failed — check your network)");
}

TEST_F(RefineClientHttpTest, RegistrationAndDictationShareOneConnection) {
    auto client = make(server.origin());
    auto registration = server.waitFor("/register");
    ASSERT_TRUE(registration);
    EXPECT_EQ(registration->method, "POST");
    EXPECT_EQ(registration->header("x-device-id"), "");
    EXPECT_EQ(registration->header("content-type"), "application/json");
    EXPECT_EQ(*JsonText::parseObject(registration->body),
              nlohmann::json({{"device_id", "DEV-1234-ID"}, {"device_name", "desk"}, {"os_version", "1.2.3"}}));
    auto profile = server.waitFor("/profile");
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->method, "GET");
    EXPECT_EQ(profile->header("x-device-id"), "DEV-1234-ID");

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
    EXPECT_EQ(requests[2].target, "/style");
    EXPECT_EQ(requests[2].header("content-type"), "application/json");
    EXPECT_EQ(requests[2].header("x-device-id"), "DEV-1234-ID");
    EXPECT_EQ(*JsonText::parseObject(requests[2].body),
              nlohmann::json({{"style_preset", "custom"}, {"custom_prompt", "Be terse.\nNo emoji ✨"}}));
    EXPECT_EQ(*JsonText::parseObject(requests[3].body), nlohmann::json({{"style_preset", "Custom"}}));
    EXPECT_EQ(requests[4].method, "POST");
    EXPECT_EQ(requests[4].target, "/profile");
    EXPECT_EQ(requests[4].body, R"({"vocab":""})");
    EXPECT_TRUE(sink->contains("☁️ Style synced: custom"));
    EXPECT_TRUE(sink->contains("☁️ Style synced: Custom"));
    EXPECT_TRUE(sink->contains("☁️ Vocab synced to server"));

    test::ClosedPort closedPort;
    auto offline = make("http://127.0.0.1:" + std::to_string(closedPort.port()));
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
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(notMore);

    for (const std::string body :
         {R"({"transcripts":[{"id":1,"raw":"a","refined":"b","created_at":"c"},3],"has_more":true})",
          R"({"transcripts":{"id":1},"has_more":true})", "[]", "", "<html>"}) {
        SCOPED_TRACE(body);
        server.answer("/transcripts", Reply{200, body});
        auto [l, m] = fetch(std::nullopt, 50);
        EXPECT_TRUE(l.empty());
        EXPECT_FALSE(m);
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
