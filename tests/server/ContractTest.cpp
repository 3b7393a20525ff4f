// The HTTP contract the app relies on, over real loopback HTTP against an in-process server.
#include "TestServer.h"

#include "audio/WavReader.h"
#include "core/TimeFormat.h"
#include "update/ReleaseManifest.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <regex>
#include <thread>

using nlohmann::json;
using namespace vokari;
using namespace vokari::test;

namespace {

json body(const httplib::Result& r) {
    return json::parse(r->body, nullptr, false);
}

// Every error answer is JSON with an "error" string.
void expectError(const httplib::Result& r, int status, const std::string& message = "") {
    ASSERT_TRUE(r) << "no answer";
    EXPECT_EQ(r->status, status) << r->body;
    auto j = body(r);
    ASSERT_TRUE(j.is_object()) << r->body;
    ASSERT_TRUE(j.contains("error") && j["error"].is_string()) << r->body;
    if (!message.empty()) {
        EXPECT_EQ(j["error"], message);
    }
}

httplib::Headers device(const std::string& id) {
    return {{"x-device-id", id}};
}

} // namespace

TEST(ServerContract, ProcessAnswersRawRefinedAndStoresTheTranscript) {
    TestServer s;
    s.engine.text = "hello world comma this is vokari period";
    auto r = s.process("DEV-1", toneWav(1.0));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    auto j = body(r);
    EXPECT_EQ(j["raw"], "hello world comma this is vokari period");
    EXPECT_EQ(j["refined"], "Hello world, this is vokari.");
    EXPECT_TRUE(j["total_ms"].is_number_integer());
    EXPECT_EQ(s.engine.lastMode, SttMode::dictation);

    auto page = s.client().Get("/transcripts?limit=10", device("DEV-1"));
    ASSERT_EQ(page->status, 200);
    auto list = body(page)["transcripts"];
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["raw"], j["raw"]);
    EXPECT_EQ(list[0]["refined"], j["refined"]);
    EXPECT_EQ(list[0]["created_at"], "2026-12-06T00:00:00.000Z");
    EXPECT_EQ(body(page)["has_more"], false);
}

TEST(ServerContract, ProcessAcceptsTheAppsExactMultipartLayout) {
    TestServer s;
    s.engine.text = "kuber net ease is great";
    const std::string boundary = "5D2C3F4A-1B2C-4D5E-8F90-A1B2C3D4E5F6";
    std::string wav = toneWav(0.5);
    std::string payload = "--" + boundary +
                          "\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"recording.wav\"\r\n"
                          "Content-Type: audio/wav\r\n\r\n" +
                          wav + "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"vocab\"\r\n\r\n" +
                          "Kubernetes, GitHub" + "\r\n--" + boundary +
                          "\r\nContent-Disposition: form-data; name=\"source\"\r\n\r\ndictation" + "\r\n--" + boundary +
                          "--\r\n";
    auto r = s.client().Post("/process", device("DEV-1"), payload, "multipart/form-data; boundary=" + boundary);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(body(r)["refined"], "Kubernetes is great.");
    EXPECT_EQ(s.engine.lastVocabulary, (std::vector<std::string>{"Kubernetes", "GitHub"}));
}

TEST(ServerContract, BadAudioIsRejectedWithAClearErrorAndTheServerKeepsServing) {
    TestServer s;
    auto cli = s.client();
    // No audio part at all, and a body that is not multipart.
    expectError(cli.Post("/process", device("D"), httplib::MultipartFormDataItems{{"source", "dictation", "", ""}}),
                400, "missing audio");
    expectError(cli.Post("/process", device("D"), "{}", "application/json"), 400, "missing audio");

    std::string good = toneWav(1.0);
    std::string truncated = good.substr(0, good.size() - 1000);
    std::string wrongRate = toneWav(1.0, 44100);
    std::string stereo = toneWav(1.0, 16000, 2);
    std::string empty = encodeWav({});
    struct Case {
        std::string name, wav, needle;
    } cases[] = {
        {"truncated", truncated, "truncated"},
        {"wrong rate", wrongRate, "16000 Hz"},
        {"stereo", stereo, "mono"},
        {"no samples", empty, "empty audio"},
        {"zero bytes", "", "empty audio"},
        {"garbage", std::string(3000, 'x'), "not a WAV"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = s.process("D", c.wav);
        expectError(r, 400);
        EXPECT_NE(body(r)["error"].get<std::string>().find(c.needle), std::string::npos) << r->body;
    }
    EXPECT_EQ(s.engine.calls, 0);
    // Nothing was counted or stored for the rejected requests.
    EXPECT_EQ(s.db->usageOn("D", "2026-12-06").value(), 0);
    EXPECT_EQ(s.process("D", good)->status, 200);
}

TEST(ServerContract, OversizedBodyAndGarbageJsonGetJsonErrors) {
    TestServer s;
    auto cli = s.client();
    std::string huge(26 * 1024 * 1024, 'a');
    auto r = cli.Post("/logs", device("D"), huge, "application/json");
    // The server may close the connection before the whole body is sent; if it answered, it answered JSON.
    if (r) {
        expectError(r, 413);
    }
    for (const char* path : {"/register", "/profile", "/style", "/logs"}) {
        SCOPED_TRACE(path);
        expectError(cli.Post(path, device("D"), "{not json", "application/json"), 400);
        expectError(cli.Post(path, device("D"), "[1,2]", "application/json"), 400);
    }
    expectError(cli.Get("/no/such/path"), 404);
    EXPECT_EQ(cli.Get("/health")->status, 200);
}

TEST(ServerContract, EveryEndpointButRegisterAndUpdateCheckNeedsTheDeviceHeader) {
    TestServer s;
    auto cli = s.client();
    auto wavItems = httplib::MultipartFormDataItems{{"audio", toneWav(0.3), "recording.wav", "audio/wav"}};
    expectError(cli.Post("/process", wavItems), 400);
    expectError(cli.Post("/command", wavItems), 400);
    expectError(cli.Get("/profile"), 400);
    expectError(cli.Post("/profile", R"({"vocab":"x"})", "application/json"), 400);
    expectError(cli.Post("/style", R"({"style_preset":"casual"})", "application/json"), 400);
    expectError(cli.Get("/transcripts?limit=5"), 400);
    expectError(cli.Post("/logs", R"({"entries":[]})", "application/json"), 400);
    expectError(cli.Get("/profile", device("")), 400);
    EXPECT_EQ(
        cli.Post("/register", R"({"device_id":"A","device_name":"box","os_version":"12.0.0"})", "application/json")
            ->status,
        200);
    EXPECT_EQ(cli.Get("/update/check?v=1.0.0")->status, 200);
    EXPECT_EQ(s.engine.calls, 0);
}

TEST(ServerContract, EngineFailuresMapTo500And503AndStoreNothing) {
    TestServer s;
    s.engine.failure = SttError::Kind::failed;
    expectError(s.process("D", toneWav(0.5)), 500, "processing failed");
    s.engine.failure = SttError::Kind::unavailable;
    expectError(s.process("D", toneWav(0.5)), 503);
    EXPECT_EQ(s.db->usageOn("D", "2026-12-06").value(), 0);
    EXPECT_TRUE(s.db->transcripts("D", 10, std::nullopt)->rows.empty());

    TestServer noEngine(1000, false);
    expectError(noEngine.process("D", toneWav(0.5)), 503);
}

TEST(ServerContract, DailyLimitCountsPerDevicePerUtcDay) {
    TestServer s(2);
    s.clock.set(*parseIsoUtc("2026-12-06T23:59:58.000Z"));
    EXPECT_EQ(s.process("A", toneWav(0.3))->status, 200);
    EXPECT_EQ(s.process("A", toneWav(0.3))->status, 200);
    auto limited = s.process("A", toneWav(0.3));
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->status, 429);
    EXPECT_EQ(s.engine.calls, 2);                         // a device over its limit costs no decoding
    EXPECT_EQ(s.process("B", toneWav(0.3))->status, 200); // other devices are unaffected
    s.clock.set(*parseIsoUtc("2026-12-06T23:59:59.999Z"));
    EXPECT_EQ(s.process("A", toneWav(0.3))->status, 429);
    s.clock.set(*parseIsoUtc("2026-12-07T00:00:00.000Z"));
    EXPECT_EQ(s.process("A", toneWav(0.3))->status, 200);
    EXPECT_EQ(s.db->transcripts("A", 100, std::nullopt)->rows.size(), 3u);
}

TEST(ServerContract, ConcurrentRequestsNeverOvershootTheDailyLimit) {
    TestServer s(3);
    s.engine.holdMs = 200;
    std::string wav = toneWav(0.3);
    std::vector<std::thread> clients;
    std::mutex lock;
    std::map<int, int> statuses;
    for (int i = 0; i < 8; ++i) {
        clients.emplace_back([&] {
            auto r = s.process("A", wav);
            std::lock_guard<std::mutex> guard(lock);
            ++statuses[r ? r->status : -1];
        });
    }
    for (auto& c : clients) {
        c.join();
    }
    EXPECT_EQ(statuses[200], 3);
    EXPECT_EQ(statuses[429], 5);
    EXPECT_EQ(s.db->usageOn("A", "2026-12-06").value(), 3);
    EXPECT_EQ(s.db->transcripts("A", 100, std::nullopt)->rows.size(), 3u);
}

TEST(ServerContract, TranscriptsPageNewestFirstWithAfterAndHasMore) {
    TestServer s;
    for (int i = 1; i <= 5; ++i) {
        s.engine.text = "entry " + std::to_string(i);
        s.clock.advance(1234);
        ASSERT_EQ(s.process("A", toneWav(0.2))->status, 200);
    }
    s.engine.text = "someone else";
    s.process("B", toneWav(0.2));
    auto cli = s.client();
    auto first = body(cli.Get("/transcripts?limit=2", device("A")));
    ASSERT_EQ(first["transcripts"].size(), 2u);
    EXPECT_EQ(first["transcripts"][0]["raw"], "entry 5");
    EXPECT_EQ(first["transcripts"][1]["raw"], "entry 4");
    EXPECT_EQ(first["has_more"], true);
    EXPECT_TRUE(std::regex_match(first["transcripts"][0]["created_at"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
    int64_t last = first["transcripts"][1]["id"];
    auto second = body(cli.Get("/transcripts?limit=2&after=" + std::to_string(last), device("A")));
    EXPECT_EQ(second["transcripts"][0]["raw"], "entry 3");
    EXPECT_EQ(second["has_more"], true);
    auto third = body(
        cli.Get("/transcripts?limit=2&after=" + std::to_string(int64_t(second["transcripts"][1]["id"])), device("A")));
    ASSERT_EQ(third["transcripts"].size(), 1u);
    EXPECT_EQ(third["transcripts"][0]["raw"], "entry 1");
    EXPECT_EQ(third["has_more"], false);

    for (const char* q : {"", "?limit=0", "?limit=101", "?limit=abc", "?limit=5x", "?limit=-1", "?limit=5&after=x",
                          "?limit=5&after=0"}) {
        SCOPED_TRACE(q);
        expectError(cli.Get(std::string("/transcripts") + q, device("A")), 400);
    }
    EXPECT_EQ(body(cli.Get("/transcripts?limit=100", device("A")))["transcripts"].size(), 5u);
}

TEST(ServerContract, ProfileAndStyleRoundTripAndDriveRefinement) {
    TestServer s;
    auto cli = s.client();
    auto fresh = body(cli.Get("/profile", device("A")));
    EXPECT_EQ(fresh, (json{{"style_preset", "professional"}, {"custom_prompt", ""}, {"vocab", ""}}));

    EXPECT_EQ(cli.Post("/profile", device("A"), R"({"vocab":"Kubernetes, GitHub"})", "application/json")->status, 200);
    EXPECT_EQ(
        cli.Post("/style", device("A"), R"({"style_preset":"custom","custom_prompt":"Be brief."})", "application/json")
            ->status,
        200);
    // A preset without a prompt keeps the stored prompt for when the user returns to "custom".
    EXPECT_EQ(cli.Post("/style", device("A"), R"({"style_preset":"casual"})", "application/json")->status, 200);
    EXPECT_EQ(body(cli.Get("/profile", device("A"))),
              (json{{"style_preset", "casual"}, {"custom_prompt", "Be brief."}, {"vocab", "Kubernetes, GitHub"}}));
    expectError(cli.Post("/style", device("A"), R"({"style_preset":"shouty"})", "application/json"), 400);
    expectError(cli.Post("/profile", device("A"), R"({"vocab":5})", "application/json"), 400);

    // Without a vocab part the stored vocabulary applies; the casual preset lower-cases.
    s.engine.text = "I pushed it to git hub period";
    auto r = s.process("A", toneWav(0.3));
    EXPECT_EQ(body(r)["refined"], "i pushed it to GitHub");
    EXPECT_EQ(s.engine.lastVocabulary, (std::vector<std::string>{"Kubernetes", "GitHub"}));
}

TEST(ServerContract, LogsAreStoredAndBoundedPerDevice) {
    TestServer s;
    s.context->maxLogsPerDevice = 5;
    auto cli = s.client();
    json entries = json::array();
    for (int i = 0; i < 8; ++i) {
        entries.push_back({{"message", "line " + std::to_string(i)},
                           {"level", "info"},
                           {"source", "macos-app"},
                           {"ts", "2026-12-06T08:00:00Z"}});
    }
    auto r = cli.Post("/logs", device("A"), json{{"entries", entries}}.dump(), "application/json");
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(s.db->logCount("A").value(), 5);
    expectError(cli.Post("/logs", device("A"), R"({"entries":"nope"})", "application/json"), 400);
    EXPECT_EQ(s.db->logCount("B").value(), 0);
}

TEST(ServerContract, RegisterValidatesTheDeviceId) {
    TestServer s;
    auto cli = s.client();
    expectError(cli.Post("/register", R"({"device_name":"x"})", "application/json"), 400);
    expectError(cli.Post("/register", R"({"device_id":""})", "application/json"), 400);
    EXPECT_EQ(cli.Post("/register", R"({"device_id":"ABC","device_name":7})", "application/json")->status, 200);
}

TEST(ServerContract, UpdateCheckComparesWithTheManifestAndServesTheFile) {
    TestServer plain;
    auto upToDate = body(plain.client().Get("/update/check?v=1.0.0"));
    EXPECT_EQ(upToDate["update_available"], false);
    expectError(plain.client().Get("/update/check"), 400);

    auto releases = makeTempDir("vokari-releases");
    const std::string bytes(100000, 'Z');
    std::ofstream(releases / "Vokari-1.10.0.dmg", std::ios::binary) << bytes;
    auto sha = sha256File((releases / "Vokari-1.10.0.dmg").string());
    std::ofstream(releases / "manifest.json")
        << json{{"version", "1.10.0"}, {"file", "Vokari-1.10.0.dmg"}, {"sha256", *sha}}.dump();
    std::ofstream(releases / "secret.txt") << "not for download";
    auto manifest = ReleaseManifest::load(releases.string());
    ASSERT_TRUE(std::holds_alternative<ReleaseManifest>(manifest)) << std::get<std::string>(manifest);

    TestServer s(1000, true, std::get<ReleaseManifest>(manifest));
    auto cli = s.client();
    auto newer = body(cli.Get("/update/check?v=1.9.3"));
    EXPECT_EQ(newer["update_available"], true);
    EXPECT_EQ(newer["latest"], "1.10.0");
    std::string url = newer["download_url"];
    EXPECT_EQ(url, "http://127.0.0.1:" + std::to_string(s.port) + "/downloads/Vokari-1.10.0.dmg");
    EXPECT_EQ(body(cli.Get("/update/check?v=1.10.0"))["update_available"], false);
    EXPECT_EQ(body(cli.Get("/update/check?v=2.0"))["update_available"], false);

    auto file = cli.Get("/downloads/Vokari-1.10.0.dmg");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 200);
    EXPECT_EQ(file->body, bytes);
    expectError(cli.Get("/downloads/secret.txt"), 404);
    expectError(cli.Get("/downloads/..%2Fmanifest.json"), 404);
    std::filesystem::remove_all(releases);
}

TEST(ServerContract, CommandAnswersTranscriptTimingsAndActions) {
    TestServer s;
    s.engine.text = "open firefox and then press control c";
    httplib::MultipartFormDataItems items = {{"audio", toneWav(0.5), "command.wav", "audio/wav"},
                                             {"screenshot", "iVBORw0KGgo=", "", ""}};
    auto r = s.client().Post("/command", device("A"), items);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    auto j = body(r);
    EXPECT_EQ(s.engine.lastMode, SttMode::command);
    EXPECT_EQ(j["transcript"], "open firefox and then press control c");
    for (const char* key : {"whisper_ms", "plan_ms", "total_ms"}) {
        EXPECT_TRUE(j[key].is_number_integer()) << key;
    }
    EXPECT_EQ(j["actions"], json::parse(R"([{"type":"activate_app","app":"Firefox"},
        {"type":"keyboard_shortcut","key":"c","modifiers":["control"]}])"));
    expectError(s.client().Post("/command", device("A"), httplib::MultipartFormDataItems{{"screenshot", "x", "", ""}}),
                400, "missing audio");
    EXPECT_TRUE(s.db->transcripts("A", 10, std::nullopt)->rows.empty());
}
