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
using namespace vokari::server;
using namespace vokari::server::test;

namespace {

json body(const httplib::Result& r) {
    return r ? json::parse(r->body, nullptr, false) : json();
}

// Every error answer is JSON with an "error" string containing `needle`.
void expectError(const httplib::Result& r, int status, const std::string& needle = "") {
    ASSERT_TRUE(r) << "no answer";
    EXPECT_EQ(r->status, status) << r->body;
    auto j = body(r);
    ASSERT_TRUE(j.is_object() && j.contains("error") && j["error"].is_string()) << r->body;
    EXPECT_NE(j["error"].get<std::string>().find(needle), std::string::npos) << r->body;
}

int status(const httplib::Result& r) {
    return r ? r->status : -1;
}

} // namespace

TEST(ServerContract, ProcessAnswersRawRefinedAndStoresTheTranscript) {
    TestServer s;
    s.engine.text = "hello world comma this is kuber net ease period";
    auto r = s.process("DEV-1", toneWav(1.0), "Kubernetes, GitHub");
    ASSERT_EQ(status(r), 200) << r->body;
    auto j = body(r);
    EXPECT_EQ(j["raw"], "hello world comma this is kuber net ease period");
    EXPECT_EQ(j["refined"], "Hello world, this is Kubernetes.");
    EXPECT_TRUE(j["total_ms"].is_number_integer());
    EXPECT_EQ(s.engine.lastMode, SttMode::dictation);
    EXPECT_EQ(s.engine.lastVocabulary, (std::vector<std::string>{"Kubernetes", "GitHub"}));

    auto page = body(s.get("/transcripts?limit=10", "DEV-1"));
    ASSERT_EQ(page["transcripts"].size(), 1u);
    EXPECT_EQ(page["transcripts"][0]["raw"], j["raw"]);
    EXPECT_EQ(page["transcripts"][0]["refined"], j["refined"]);
    EXPECT_EQ(page["transcripts"][0]["created_at"], "2026-12-06T00:00:00.000Z");
    EXPECT_EQ(page["has_more"], false);
    // Silence counts against the limit but leaves no empty history entry.
    s.engine.text = "";
    EXPECT_EQ(status(s.process("DEV-1", toneWav(1.0))), 200);
    EXPECT_EQ(s.db->usageOn("DEV-1", "2026-12-06").value(), 2);
    EXPECT_EQ(body(s.get("/transcripts?limit=10", "DEV-1"))["transcripts"].size(), 1u);
}

TEST(ServerContract, BadInputGetsA4xxJsonErrorAndTheServerKeepsServing) {
    TestServer s;
    auto cli = s.client();
    // No audio part at all, and a body that is not multipart.
    expectError(cli.Post("/process", {{"x-device-id", "D"}}, httplib::MultipartFormDataItems{{"source", "x", "", ""}}),
                400, "missing audio");
    expectError(s.postJson("/process", "{}", "D"), 400, "missing audio");
    const std::string good = toneWav(1.0);
    const std::pair<std::string, const char*> audio[] = {
        {good.substr(0, good.size() - 1000), "truncated"},
        {toneWav(1.0, 44100), "16000 Hz"},
        {toneWav(1.0, 16000, 2), "mono"},
        {encodeWav({}), "empty audio"},
        {"", "empty audio"},
        {std::string(3000, 'x'), "not a WAV"},
    };
    for (const auto& [wav, needle] : audio) {
        SCOPED_TRACE(needle);
        expectError(s.process("D", wav), 400, needle);
    }
    for (const char* path : {"/register", "/profile", "/style", "/logs"}) {
        SCOPED_TRACE(path);
        expectError(s.postJson(path, "{not json", "D"), 400);
        expectError(s.postJson(path, "[1,2]", "D"), 400);
    }
    expectError(s.postJson("/register", R"({"device_name":"x"})"), 400);
    expectError(s.postJson("/register", R"({"device_id":""})"), 400);
    expectError(s.get("/no/such/path"), 404);
    // The server may close the connection before the whole body is sent; if it answered, it answered JSON.
    if (auto huge = s.postJson("/logs", std::string(26 * 1024 * 1024, 'a'), "D")) {
        expectError(huge, 413);
    }
    // Nothing was decoded, counted or stored for the rejected requests, and the next good one succeeds.
    EXPECT_EQ(s.engine.calls, 0);
    EXPECT_EQ(s.db->usageOn("D", "2026-12-06").value(), 0);
    EXPECT_EQ(status(s.process("D", good)), 200);
    EXPECT_EQ(status(s.postJson("/register", R"({"device_id":"ABC","device_name":7})")), 200);
}

TEST(ServerContract, EveryEndpointButRegisterAndUpdateCheckNeedsTheDeviceHeader) {
    TestServer s;
    auto cli = s.client();
    auto wavItems = httplib::MultipartFormDataItems{{"audio", toneWav(0.3), "recording.wav", "audio/wav"}};
    expectError(cli.Post("/process", wavItems), 400);
    expectError(cli.Post("/command", wavItems), 400);
    expectError(s.get("/profile"), 400);
    expectError(s.get("/profile", ""), 400);
    expectError(s.get("/transcripts?limit=5"), 400);
    for (const auto& [path, payload] : {std::pair{"/profile", R"({"vocab":"x"})"},
                                        {"/style", R"({"style_preset":"casual"})"},
                                        {"/logs", R"({"entries":[]})"}}) {
        expectError(s.postJson(path, payload), 400);
    }
    EXPECT_EQ(status(s.postJson("/register", R"({"device_id":"A","device_name":"box","os_version":"12.0.0"})")), 200);
    EXPECT_EQ(status(s.get("/update/check?v=1.0.0")), 200);
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

TEST(ServerContract, DailyLimitHoldsUnderConcurrencyPerDeviceAndResetsAtUtcMidnight) {
    TestServer s(3);
    s.clock.set(*parseIsoUtc("2026-12-06T23:59:58.000Z"));
    s.engine.holdMs = 200; // keeps the requests overlapping
    const std::string wav = toneWav(0.3);
    std::mutex lock;
    std::map<int, int> statuses;
    std::vector<std::thread> clients;
    for (int i = 0; i < 8; ++i) {
        clients.emplace_back([&] {
            auto code = status(s.process("A", wav));
            std::lock_guard<std::mutex> guard(lock);
            ++statuses[code];
        });
    }
    for (auto& c : clients) {
        c.join();
    }
    s.engine.holdMs = 0;
    EXPECT_EQ(statuses[200], 3);
    EXPECT_EQ(statuses[429], 5);
    EXPECT_EQ(s.db->usageOn("A", "2026-12-06").value(), 3);
    EXPECT_EQ(status(s.process("B", wav)), 200); // other devices are unaffected
    s.clock.set(*parseIsoUtc("2026-12-06T23:59:59.999Z"));
    s.engine.calls = 0;
    expectError(s.process("A", wav), 429);
    EXPECT_EQ(s.engine.calls, 0); // a device over its limit costs no decoding
    s.clock.set(*parseIsoUtc("2026-12-07T00:00:00.000Z"));
    EXPECT_EQ(status(s.process("A", wav)), 200);
    EXPECT_EQ(s.db->transcripts("A", 100, std::nullopt)->rows.size(), 4u);

    TestServer unlimited(0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(status(unlimited.process("A", wav)), 200);
    }
}

TEST(ServerContract, TranscriptsPageNewestFirstWithAfterAndHasMore) {
    TestServer s;
    for (int i = 1; i <= 5; ++i) {
        s.engine.text = "entry " + std::to_string(i);
        s.clock.advance(1234);
        ASSERT_EQ(status(s.process("A", toneWav(0.2))), 200);
    }
    s.engine.text = "someone else";
    s.process("B", toneWav(0.2));
    // Walks the pages two at a time: (5, 4) (3, 2) (1).
    std::string after;
    for (const auto& expected : {std::vector<std::string>{"entry 5", "entry 4"}, {"entry 3", "entry 2"}, {"entry 1"}}) {
        auto page = body(s.get("/transcripts?limit=2" + after, "A"));
        ASSERT_EQ(page["transcripts"].size(), expected.size()) << page;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(page["transcripts"][i]["raw"], expected[i]);
            EXPECT_TRUE(std::regex_match(page["transcripts"][i]["created_at"].get<std::string>(),
                                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
        }
        EXPECT_EQ(page["has_more"], expected.size() == 2);
        after = "&after=" + std::to_string(page["transcripts"].back()["id"].get<int64_t>());
    }
    for (const char* q : {"", "?limit=0", "?limit=101", "?limit=abc", "?limit=5x", "?limit=-1", "?limit=5&after=x",
                          "?limit=5&after=0"}) {
        SCOPED_TRACE(q);
        expectError(s.get(std::string("/transcripts") + q, "A"), 400);
    }
    EXPECT_EQ(body(s.get("/transcripts?limit=100", "A"))["transcripts"].size(), 5u);
}

TEST(ServerContract, ProfileAndStyleRoundTripAndDriveRefinement) {
    TestServer s;
    EXPECT_EQ(body(s.get("/profile", "A")),
              (json{{"style_preset", "professional"}, {"custom_prompt", ""}, {"vocab", ""}}));
    EXPECT_EQ(status(s.postJson("/profile", R"({"vocab":"Kubernetes, GitHub"})", "A")), 200);
    EXPECT_EQ(status(s.postJson("/style", R"({"style_preset":"custom","custom_prompt":"Be brief."})", "A")), 200);
    // A preset without a prompt keeps the stored prompt for when the user returns to "custom".
    EXPECT_EQ(status(s.postJson("/style", R"({"style_preset":"casual"})", "A")), 200);
    EXPECT_EQ(body(s.get("/profile", "A")),
              (json{{"style_preset", "casual"}, {"custom_prompt", "Be brief."}, {"vocab", "Kubernetes, GitHub"}}));
    expectError(s.postJson("/style", R"({"style_preset":"shouty"})", "A"), 400);
    expectError(s.postJson("/profile", R"({"vocab":5})", "A"), 400);

    // Without a vocab part the stored vocabulary applies; the casual preset lower-cases.
    s.engine.text = "I pushed it to git hub period";
    EXPECT_EQ(body(s.process("A", toneWav(0.3)))["refined"], "i pushed it to GitHub");
    EXPECT_EQ(s.engine.lastVocabulary, (std::vector<std::string>{"Kubernetes", "GitHub"}));
}

TEST(ServerContract, LogsAreStoredAndBoundedPerDevice) {
    TestServer s;
    s.context->maxLogsPerDevice = 5;
    json entries = json::array();
    for (int i = 0; i < 8; ++i) {
        entries.push_back({{"message", "line"}, {"level", "info"}, {"source", "app"}, {"ts", "2026-12-06T08:00:00Z"}});
    }
    EXPECT_EQ(status(s.postJson("/logs", json{{"entries", entries}}.dump(), "A")), 200);
    EXPECT_EQ(s.db->logCount("A").value(), 5);
    expectError(s.postJson("/logs", R"({"entries":"nope"})", "A"), 400);
    EXPECT_EQ(s.db->logCount("B").value(), 0);
}

TEST(ServerContract, UpdateCheckComparesWithTheManifestAndServesTheFile) {
    TestServer plain;
    EXPECT_EQ(body(plain.get("/update/check?v=1.0.0"))["update_available"], false);
    expectError(plain.get("/update/check"), 400);

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
    auto newer = body(s.get("/update/check?v=1.9.3"));
    EXPECT_EQ(newer["update_available"], true);
    EXPECT_EQ(newer["latest"], "1.10.0");
    EXPECT_EQ(newer["download_url"], "http://127.0.0.1:" + std::to_string(s.port) + "/downloads/Vokari-1.10.0.dmg");
    // A forged Host header does not steer the download link; the configured public origin does.
    s.context->publicOrigin = "https://updates.example.org/vokari";
    auto forged = s.client().Get("/update/check?v=1.9.3", {{"Host", "attacker.example"}});
    EXPECT_EQ(body(forged)["download_url"], "https://updates.example.org/vokari/downloads/Vokari-1.10.0.dmg");
    EXPECT_EQ(body(s.get("/update/check?v=1.10.0"))["update_available"], false);
    EXPECT_EQ(body(s.get("/update/check?v=2.0"))["update_available"], false);
    auto file = s.get("/downloads/Vokari-1.10.0.dmg");
    EXPECT_EQ(status(file), 200);
    EXPECT_TRUE(file && file->body == bytes);
    expectError(s.get("/downloads/secret.txt"), 404);
    expectError(s.get("/downloads/..%2Fmanifest.json"), 404);
    std::filesystem::remove_all(releases);
}

TEST(ServerContract, CommandAnswersTranscriptTimingsAndActions) {
    TestServer s;
    s.engine.text = "open firefox and then press control c";
    auto r = s.client().Post("/command", {{"x-device-id", "A"}},
                             httplib::MultipartFormDataItems{{"audio", toneWav(0.5), "command.wav", "audio/wav"},
                                                             {"screenshot", "iVBORw0KGgo=", "", ""}});
    ASSERT_EQ(status(r), 200) << r->body;
    auto j = body(r);
    EXPECT_EQ(s.engine.lastMode, SttMode::command);
    EXPECT_EQ(j["transcript"], "open firefox and then press control c");
    for (const char* key : {"whisper_ms", "plan_ms", "total_ms"}) {
        EXPECT_TRUE(j[key].is_number_integer()) << key;
    }
    EXPECT_EQ(j["actions"], json::parse(R"([{"type":"activate_app","app":"Firefox"},
        {"type":"keyboard_shortcut","key":"c","modifiers":["control"]}])"));
    expectError(s.client().Post("/command", {{"x-device-id", "A"}},
                                httplib::MultipartFormDataItems{{"screenshot", "x", "", ""}}),
                400, "missing audio");
    EXPECT_TRUE(s.db->transcripts("A", 10, std::nullopt)->rows.empty());
}
