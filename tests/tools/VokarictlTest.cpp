// Runs the vokarictl binary against the recording server: exact stdout, exit codes, what reached the server
// and what was stored.
#include "RecordingServer.h"
#include "TestFiles.h"
#include "app/DictationSession.h"
#include "app/UnsentRecordings.h"
#include "core/AtomicFile.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

namespace vokari {
namespace {

using test::Reply;
const std::string kWrong = "{\"result\":\"error\",\"message\":\"Something went wrong — try again\"}\n";

struct ToolRun {
    int exitCode;
    std::string out, err;
};

class VokarictlTest : public ::testing::Test {
protected:
    // Runs vokarictl with a private HOME, XDG directories and TMPDIR (its logs stay here), no session bus, and
    // `timeout` killing it by pid after 30 s. Arguments never hold a quote.
    ToolRun run(const std::vector<std::string>& args, std::string origin = "") {
        mark = backend.requests().size();
        std::string h = home.path().string(), cmd = "mkdir -p " + h +
                                                    "/run && env -u DISPLAY -u "
                                                    "DBUS_SESSION_BUS_ADDRESS HOME=" +
                                                    h;
        cmd += " XDG_CONFIG_HOME=" + h + "/config XDG_DATA_HOME=" + h + "/data XDG_RUNTIME_DIR=" + h +
               "/run TMPDIR=" + h + " VOKARI_BACKEND_URL=" + (origin.empty() ? backend.origin() + "/" : origin) +
               " timeout -s KILL 30 " VOKARICTL_PATH;
        for (const auto& a : args) {
            cmd += " '" + a + "'";
        }
        int status = std::system((cmd + " >" + h + "/stdout 2>" + h + "/stderr").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, *readWholeFile(home / "stdout"),
                *readWholeFile(home / "stderr")};
    }
    // The last request to `target` (path, optionally with query) made by the latest run.
    test::RecordedRequest sent(const std::string& method, const std::string& target) {
        auto all = backend.requests();
        for (auto i = all.size(); i > mark; --i) {
            if (all[i - 1].method == method && all[i - 1].target.starts_with(target)) {
                return all[i - 1];
            }
        }
        ADD_FAILURE() << "no " << method << " " << target;
        return {};
    }
    std::string write(const std::string& name, const std::string& bytes) {
        EXPECT_FALSE(writeFileAtomically(home / name, bytes));
        return (home / name).string();
    }
    nlohmann::json json(const std::filesystem::path& file) { return nlohmann::json::parse(*readWholeFile(file)); }
    nlohmann::json settings() { return json(home / "config" / "vokari" / "settings.json"); }

    test::RecordingServer backend;
    test::TempDir home;
    std::size_t mark = 0;
};

TEST_F(VokarictlTest, ProcessPrintsTheResultAndExitsByItsKind) {
    std::string wav = "RIFF\x24\0\0\0WAVEfmt data\r\n--x";
    auto file = write("a.wav", wav);
    backend.answer("/process", Reply{200, R"({"raw":"hello","refined":"Hello ✨","total_ms":41})"});
    auto r = run({"process", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"raw\":\"hello\",\"refined\":\"Hello ✨\"}\n");
    EXPECT_NE(r.err.find("✨ Processed in 41ms: Hello ✨\n"), std::string::npos) << r.err;
    auto reg = sent("POST", "/register"); // the shared client registers and fetches the profile as the app does
    EXPECT_EQ(sent("GET", "/profile").header("x-device-id"), nlohmann::json::parse(reg.body).at("device_id"));
    auto p = sent("POST", "/process");
    EXPECT_EQ(p.header("x-device-id"), nlohmann::json::parse(reg.body).at("device_id"));
    EXPECT_NE(
        p.body.find("name=\"audio\"; filename=\"recording.wav\"\r\nContent-Type: audio/wav\r\n\r\n" + wav + "\r\n--"),
        std::string::npos);
    EXPECT_NE(p.body.find("name=\"source\"\r\n\r\ndictation\r\n"), std::string::npos);
    EXPECT_EQ(p.body.find("name=\"vocab\""), std::string::npos);

    backend.answer("/process", Reply{200, R"({"refined":null})"});
    EXPECT_EQ(run({"process", file, "--source", "cli"}).out,
              "{\"result\":\"success\",\"raw\":null,\"refined\":null}\n");
    EXPECT_NE(sent("POST", "/process").body.find("name=\"source\"\r\n\r\ncli\r\n"), std::string::npos);

    test::ClosedPort closed;
    for (const auto& [reply, origin, code, out] : std::vector<std::tuple<Reply, std::string, int, std::string>>{
             {{429, "{}"}, "", 3, "{\"result\":\"rateLimited\"}\n"},
             {{500, R"({"error":"processing failed"})"},
              "",
              1,
              "{\"result\":\"error\",\"message\":\"Processing failed — try again\"}\n"},
             {{}, closed.origin() + "/", 1, kWrong}}) {
        backend.answer("/process", reply);
        r = run({"process", file}, origin);
        EXPECT_EQ(r.exitCode, code) << out;
        EXPECT_EQ(r.out, out);
    }
    r = run({"process", (home / "missing.wav").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.starts_with("{\"result\":\"error\""));
    EXPECT_TRUE(std::filesystem::exists(home / "vk-debug.log") && std::filesystem::exists(home / ".vokari.log"));
}

// retry sends the newest kept recording (or FILE) as process does; only a success removes it.
TEST_F(VokarictlTest, RetrySendsTheNewestKeptRecordingAndRemovesItOnlyOnSuccess) {
    auto r = run({"retry"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"No unsent recordings in " + (home / "data").string() +
                         "/vokari/unsent\"}\n");
    UnsentRecordings unsent(home / "data" / "vokari" / "unsent");
    const auto t = std::chrono::system_clock::now();
    const auto older = DictationSession::encodeWAV(std::vector<float>(8000, 0.1f));
    const auto newer = DictationSession::encodeWAV(std::vector<float>(4800, 0.2f));
    unsent.keep(older, 0.5, "Server error — try again", t - std::chrono::seconds(5));
    const std::string newest = unsent.keep(newer, 0.3, "Request timed out — try again", t).kept->id;

    backend.answer("/process", Reply{500, R"({"error":"processing failed"})"});
    r = run({"retry"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"Processing failed — try again\"}\n");
    EXPECT_EQ(unsent.list().recordings.size(), 2u) << "a failed retry keeps it";

    backend.answer("/process", Reply{200, R"({"raw":"later","refined":"Later."})"});
    r = run({"retry"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"raw\":\"later\",\"refined\":\"Later.\"}\n");
    EXPECT_NE(sent("POST", "/process").body.find(std::string(newer.begin(), newer.end())), std::string::npos);
    auto left = unsent.list().recordings;
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left.front().id, newest);

    r = run({"retry", left.front().wavPath.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(unsent.list().recordings.empty());
    EXPECT_EQ(run({"retry", "a", "b"}).exitCode, 2);
}

TEST_F(VokarictlTest, CommandSendsTheScreenshotAsBase64AndPrintsKeyedActions) {
    auto wav = write("c.wav", "RIFFcmd");
    auto jpg = write("s.jpg", std::string("\xff\xd8\xff\xe0JFIF", 8));
    backend.answer("/command", Reply{200, R"({"transcript":"open mail","whisper_ms":5,"plan_ms":"x","total_ms":9,
                      "actions":[{"type":"activate_app","app":"Mail"},{"type":"nope"},
                                 {"type":"press_key","key":"n","modifiers":["cmd"]},{"type":"delay","ms":1e0}]})"});
    auto r = run({"command", wav, jpg});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"transcript\":\"open mail\",\"actions\":[{\"type\":\"activate_app\","
                     "\"app\":\"Mail\"},{\"type\":\"press_key\",\"key\":\"n\",\"modifiers\":[\"cmd\"]},"
                     "{\"type\":\"delay\",\"ms\":1}],\"whisper_ms\":5,\"plan_ms\":0,\"total_ms\":9}\n");
    auto body = sent("POST", "/command").body;
    EXPECT_NE(body.find("filename=\"command.wav\"\r\nContent-Type: audio/wav\r\n\r\nRIFFcmd\r\n"), std::string::npos);
    EXPECT_NE(body.find("name=\"screenshot\"\r\n\r\n/9j/4EpGSUY=\r\n"), std::string::npos);

    backend.answer("/command", Reply{500, R"({"error":"no plan"})"});
    r = run({"command", wav, jpg});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"no plan\"}\n");
}

TEST_F(VokarictlTest, HistoryAndItsFailures) {
    backend.answer("/transcripts", Reply{200, R"({"transcripts":[{"id":3,"raw":"r","refined":"f",
        "created_at":"2026-12-06 07:00:00"},{"id":"x"}],"has_more":true})"});
    auto r = run({"history", "--limit", "2", "--after", "9"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"transcripts\":[{\"id\":3,\"raw\":\"r\",\"refined\":\"f\",\"created_at\":\"2026-12-06 "
                     "07:00:00\"}],\"has_more\":true}\n");
    EXPECT_EQ(sent("GET", "/transcripts").target, "/transcripts?limit=2&after=9");
    run({"history"});
    EXPECT_EQ(sent("GET", "/transcripts").target, "/transcripts?limit=50");
    // An empty history is a result; a backend that is down or answers nonsense is an error.
    test::ClosedPort closed;
    for (const auto& [reply, origin, code, out] : std::vector<std::tuple<Reply, std::string, int, std::string>>{
             {{200, R"({"transcripts":[],"has_more":false})"}, "", 0, "{\"transcripts\":[],\"has_more\":false}\n"},
             {{200, "<html>"}, "", 1, kWrong},
             {{503, ""}, "", 1, "{\"result\":\"error\",\"message\":\"Server temporarily unavailable\"}\n"},
             {{}, closed.origin(), 1, kWrong}}) {
        backend.answer("/transcripts", reply);
        r = run({"history"}, origin);
        EXPECT_EQ(r.exitCode, code) << out;
        EXPECT_EQ(r.out, out);
    }
}

TEST_F(VokarictlTest, StyleVocabAndDeviceIdStoreAndPush) {
    const nlohmann::json custom = {{"style_preset", "custom"}, {"custom_prompt", "Short sentences."}};
    auto r = run({"style", "custom", "Short sentences."});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"result\":\"success\"}\n");
    EXPECT_EQ(nlohmann::json::parse(sent("POST", "/style").body), custom);
    run({"style", "custom"}); // no PROMPT: the stored one is pushed and kept
    EXPECT_EQ(nlohmann::json::parse(sent("POST", "/style").body), custom);
    EXPECT_EQ(settings().at("customPrompt"), "Short sentences.");
    run({"style", "casual"});
    EXPECT_EQ(nlohmann::json::parse(sent("POST", "/style").body), nlohmann::json({{"style_preset", "casual"}}));
    EXPECT_EQ(settings().at("stylePreset"), "casual");

    EXPECT_EQ(run({"vocab", "Kubernetes, Grafana"}).out, "{\"result\":\"success\"}\n");
    EXPECT_EQ(sent("POST", "/profile").body, R"({"vocab":"Kubernetes, Grafana"})");
    EXPECT_EQ(json(home / ".vokari-backend.json").at("vocab"), "Kubernetes, Grafana");

    auto first = run({"device-id"});
    EXPECT_EQ(first.out, run({"device-id"}).out);
    EXPECT_EQ(nlohmann::json::parse(first.out).at("device_id").get<std::string>().size(), 36u);
    EXPECT_TRUE(std::filesystem::exists(home / "data" / "vokari" / "secrets.json"));

    test::ClosedPort closed;
    r = run({"style", "casual"}, closed.origin());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, kWrong);
}

TEST_F(VokarictlTest, StartUpMergesTheServerProfile) {
    backend.answer("/profile", Reply{200, R"({"style_preset":"professional","vocab":"K8s"})"});
    EXPECT_EQ(run({"device-id"}).exitCode, 0);
    EXPECT_EQ(settings().at("stylePreset"), "professional");
    EXPECT_EQ(json(home / ".vokari-backend.json").at("vocab"), "K8s");
}

TEST_F(VokarictlTest, WavEncodesFloatSamplesAsADictationDoes) {
    std::vector<float> samples = {0.5f, -0.5f, 1.0f, -1.0f, 2.0f, std::nanf("")};
    auto in = write("in.f32", std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 4));
    auto r = run({"wav", in, (home / "out.wav").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"samples\":6,\"bytes\":56}\n");
    auto wav = DictationSession::encodeWAV(samples);
    EXPECT_EQ(readWholeFile(home / "out.wav"), std::string(wav.begin(), wav.end()));
    EXPECT_EQ(run({"wav", write("odd.f32", "abcde"), (home / "x.wav").string()}).exitCode, 1);
    EXPECT_TRUE(backend.requests().empty()) << "encoding needs no backend";
}

TEST_F(VokarictlTest, UsageErrorsPrintHelpAndExitTwo) {
    for (const auto* line : {"", "frobnicate", "process", "process a --src x", "history --limit x", "history --after",
                             "command a.wav", "wav in", "device-id extra", "vocab"}) {
        std::istringstream words(line);
        auto r = run({std::istream_iterator<std::string>(words), {}});
        EXPECT_EQ(r.exitCode, 2) << line;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage: vokarictl"), std::string::npos);
    }
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace vokari
