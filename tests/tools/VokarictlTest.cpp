// Runs the vokarictl binary against a cpp-httplib fake backend: exact stdout, exit codes, what reached the
// server (multipart parts as an independent parser reads them, JSON bodies, paths) and what was stored.
#include "RecordingServer.h"
#include "app/DictationSession.h"
#include "core/AtomicFile.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vokari {
namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

struct Seen {
    std::string method;
    std::string path;
    std::string query; // "limit=2&after=9"
    std::string body;
    httplib::MultipartFormDataMap files;
    std::string deviceId;
};

class FakeBackend {
public:
    FakeBackend() {
        auto record = [this](const httplib::Request& req, httplib::Response& res) {
            Seen s{req.method, req.path, "", req.body, req.files, req.get_header_value("x-device-id")};
            for (const auto& [k, v] : req.params) {
                s.query += (s.query.empty() ? "" : "&") + k + "=" + v;
            }
            std::lock_guard lock(mutex);
            seen.push_back(s);
            auto it = replies.find(req.method + " " + req.path);
            if (it != replies.end()) {
                res.status = it->second.first;
                res.set_content(it->second.second, "application/json");
            } else {
                res.set_content("{}", "application/json");
            }
        };
        server.Get(".*", record);
        server.Post(".*", record);
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~FakeBackend() {
        server.stop();
        thread.join();
    }
    void reply(const std::string& route, int status, std::string body) {
        std::lock_guard lock(mutex);
        replies[route] = {status, std::move(body)};
    }
    std::vector<Seen> requests() {
        std::lock_guard lock(mutex);
        return seen;
    }
    std::optional<Seen> find(const std::string& method, const std::string& path) {
        for (const auto& s : requests()) {
            if (s.method == method && s.path == path) {
                return s;
            }
        }
        return std::nullopt;
    }
    std::optional<Seen> last(const std::string& method, const std::string& path) {
        auto all = requests();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->method == method && it->path == path) {
                return *it;
            }
        }
        return std::nullopt;
    }
    void clear() {
        std::lock_guard lock(mutex);
        seen.clear();
    }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

private:
    httplib::Server server;
    int port = 0;
    std::thread thread;
    std::mutex mutex;
    std::vector<Seen> seen;
    std::map<std::string, std::pair<int, std::string>> replies;
};

class VokarictlTest : public ::testing::Test {
protected:
    VokarictlTest() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vokarictl-test-XXXXXX").string();
        home = ::mkdtemp(tmpl.data());
    }
    ~VokarictlTest() override {
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }

    // Runs vokarictl with a private HOME, XDG directories, TMPDIR (so its temporary log stays here too) and no
    // session bus; kills it by pid after 30 s. The environment is built before fork(): only async-signal-safe
    // calls run in the child of this threaded process.
    ToolRun run(std::vector<std::string> args, std::string origin = "") {
        if (origin.empty()) {
            origin = backend.origin();
        }
        auto outPath = home / "stdout", errPath = home / "stderr";
        std::vector<std::string> env;
        const std::vector<std::string> replaced = {
            "HOME=",   "XDG_CONFIG_HOME=",    "XDG_DATA_HOME=", "XDG_RUNTIME_DIR=",
            "TMPDIR=", "VOKARI_BACKEND_URL=", "DISPLAY=",       "DBUS_SESSION_BUS_ADDRESS="};
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (std::none_of(replaced.begin(), replaced.end(), [&](const auto& p) { return entry.starts_with(p); })) {
                env.push_back(entry);
            }
        }
        std::filesystem::create_directories(home / "run");
        env.push_back("HOME=" + home.string());
        env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
        env.push_back("XDG_DATA_HOME=" + (home / "data").string());
        env.push_back("XDG_RUNTIME_DIR=" + (home / "run").string());
        env.push_back("TMPDIR=" + home.string());
        env.push_back("VOKARI_BACKEND_URL=" + origin);
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        std::vector<char*> argv{const_cast<char*>(VOKARICTL_PATH)};
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::execve(VOKARICTL_PATH, argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out);
        ::close(err);
        ToolRun r;
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readWholeFile(outPath).value_or("");
        r.err = readWholeFile(errPath).value_or("");
        return r;
    }
    std::filesystem::path write(const std::string& name, const std::string& bytes) {
        auto p = home / name;
        EXPECT_FALSE(writeFileAtomically(p, bytes));
        return p;
    }
    nlohmann::json settings() {
        return nlohmann::json::parse(readWholeFile(home / "config" / "vokari" / "settings.json").value_or("{}"));
    }

    FakeBackend backend;
    std::filesystem::path home;
};

TEST_F(VokarictlTest, ProcessPrintsTheResultAndExitsByItsKind) {
    std::string wav = "RIFF\x24\0\0\0WAVEfmt data\r\n--x";
    auto file = write("a.wav", wav);
    backend.reply("POST /process", 200, R"({"raw":"hello","refined":"Hello ✨","total_ms":41})");
    auto r = run({"process", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"raw\":\"hello\",\"refined\":\"Hello ✨\"}\n");
    EXPECT_NE(r.err.find("✨ Processed in 41ms: Hello ✨\n"), std::string::npos) << r.err;
    auto reg = backend.find("POST", "/register");
    ASSERT_TRUE(reg) << "the shared client registers as the app does";
    EXPECT_TRUE(backend.find("GET", "/profile"));
    auto p = backend.find("POST", "/process");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->deviceId, nlohmann::json::parse(reg->body).at("device_id"));
    ASSERT_TRUE(p->files.count("audio") && p->files.count("source"));
    EXPECT_EQ(p->files.find("audio")->second.content, wav);
    EXPECT_EQ(p->files.find("audio")->second.filename, "recording.wav");
    EXPECT_EQ(p->files.find("audio")->second.content_type, "audio/wav");
    EXPECT_EQ(p->files.find("source")->second.content, "dictation");
    EXPECT_FALSE(p->files.count("vocab"));

    backend.reply("POST /process", 200, R"({"refined":null})");
    r = run({"process", file, "--source", "cli"});
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"raw\":null,\"refined\":null}\n");
    // Registration, profile fetch and dictation run at once: find the dictation by its path.
    auto withSource = backend.last("POST", "/process");
    ASSERT_TRUE(withSource && withSource->files.count("source"));
    EXPECT_EQ(withSource->files.find("source")->second.content, "cli");

    backend.reply("POST /process", 429, "{}");
    r = run({"process", file});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "{\"result\":\"rateLimited\"}\n");

    backend.reply("POST /process", 500, R"({"error":"processing failed"})");
    r = run({"process", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"Processing failed — try again\"}\n");

    test::ClosedPort closed;
    r = run({"process", file}, closed.origin() + "/");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"Something went wrong — try again\"}\n");

    r = run({"process", (home / "missing.wav").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\"result\":\"error\""), std::string::npos);
    // Both log files stay inside the test's own directories.
    EXPECT_TRUE(std::filesystem::exists(home / "vk-debug.log"));
    EXPECT_TRUE(std::filesystem::exists(home / ".vokari.log"));
}

TEST_F(VokarictlTest, CommandSendsTheScreenshotAsBase64AndPrintsKeyedActions) {
    auto wav = write("c.wav", "RIFFcmd");
    auto jpg = write("s.jpg", std::string("\xff\xd8\xff\xe0JFIF", 8));
    backend.reply("POST /command", 200,
                  R"({"transcript":"open mail","whisper_ms":5,"plan_ms":"x","total_ms":9,
                      "actions":[{"type":"activate_app","app":"Mail"},{"type":"nope"},
                                 {"type":"press_key","key":"n","modifiers":["cmd"]},{"type":"delay","ms":1e0}]})");
    auto r = run({"command", wav, jpg});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"transcript\":\"open mail\",\"actions\":[{\"type\":\"activate_app\","
                     "\"app\":\"Mail\"},{\"type\":\"press_key\",\"key\":\"n\",\"modifiers\":[\"cmd\"]},"
                     "{\"type\":\"delay\",\"ms\":1}],\"whisper_ms\":5,\"plan_ms\":0,\"total_ms\":9}\n");
    auto c = backend.find("POST", "/command");
    ASSERT_TRUE(c && c->files.count("audio") && c->files.count("screenshot"));
    EXPECT_EQ(c->files.find("audio")->second.filename, "command.wav");
    EXPECT_EQ(c->files.find("screenshot")->second.content, "/9j/4EpGSUY=");

    backend.reply("POST /command", 500, R"({"error":"no plan"})");
    r = run({"command", wav, jpg});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"no plan\"}\n");
}

TEST_F(VokarictlTest, HistoryStyleVocabAndDeviceId) {
    backend.reply("GET /transcripts", 200,
                  R"({"transcripts":[{"id":3,"raw":"r","refined":"f","created_at":"2026-12-06 07:00:00"},{"id":"x"}],
                      "has_more":true})");
    auto r = run({"history", "--limit", "2", "--after", "9"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"transcripts\":[{\"id\":3,\"raw\":\"r\",\"refined\":\"f\",\"created_at\":\"2026-12-06 "
                     "07:00:00\"}],\"has_more\":true}\n");
    EXPECT_EQ(backend.find("GET", "/transcripts").value().query, "after=9&limit=2"); // httplib sorts parameters
    backend.clear();
    run({"history"});
    EXPECT_EQ(backend.find("GET", "/transcripts").value().query, "limit=50");
    // An empty history is a result; a backend that is down or answers nonsense is an error.
    backend.reply("GET /transcripts", 200, R"({"transcripts":[],"has_more":false})");
    r = run({"history"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"transcripts\":[],\"has_more\":false}\n");
    backend.reply("GET /transcripts", 200, "<html>");
    r = run({"history"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"Something went wrong — try again\"}\n");
    backend.reply("GET /transcripts", 503, "");
    EXPECT_EQ(run({"history"}).out, "{\"result\":\"error\",\"message\":\"Server temporarily unavailable\"}\n");
    test::ClosedPort closed;
    r = run({"history"}, closed.origin());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"Something went wrong — try again\"}\n");

    r = run({"style", "custom", "Short sentences."});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"result\":\"success\"}\n");
    EXPECT_EQ(nlohmann::json::parse(backend.find("POST", "/style").value().body),
              nlohmann::json({{"style_preset", "custom"}, {"custom_prompt", "Short sentences."}}));
    EXPECT_EQ(settings().at("stylePreset"), "custom");
    EXPECT_EQ(settings().at("customPrompt"), "Short sentences.");
    backend.clear();
    run({"style", "custom"}); // no PROMPT: the stored one is pushed and kept
    EXPECT_EQ(nlohmann::json::parse(backend.find("POST", "/style").value().body),
              nlohmann::json({{"style_preset", "custom"}, {"custom_prompt", "Short sentences."}}));
    EXPECT_EQ(settings().at("customPrompt"), "Short sentences.");
    backend.clear();
    run({"style", "casual"});
    EXPECT_EQ(nlohmann::json::parse(backend.find("POST", "/style").value().body),
              nlohmann::json({{"style_preset", "casual"}}));
    EXPECT_EQ(settings().at("stylePreset"), "casual");

    r = run({"vocab", "Kubernetes, Grafana"});
    EXPECT_EQ(r.out, "{\"result\":\"success\"}\n");
    EXPECT_EQ(nlohmann::json::parse(backend.find("POST", "/profile").value().body),
              nlohmann::json({{"vocab", "Kubernetes, Grafana"}}));
    EXPECT_EQ(nlohmann::json::parse(*readWholeFile(home / ".vokari-backend.json")).at("vocab"), "Kubernetes, Grafana");

    auto first = run({"device-id"});
    auto second = run({"device-id"});
    EXPECT_EQ(first.out, second.out);
    auto id = nlohmann::json::parse(first.out).at("device_id").get<std::string>();
    EXPECT_EQ(id.size(), 36u);
    EXPECT_TRUE(std::filesystem::exists(home / "data" / "vokari" / "secrets.json"));

    r = run({"style", "casual"}, closed.origin());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"result\":\"error\",\"message\":\"Something went wrong — try again\"}\n");
}

TEST_F(VokarictlTest, StartUpMergesTheServerProfile) {
    backend.reply("GET /profile", 200, R"({"style_preset":"professional","vocab":"K8s"})");
    auto r = run({"device-id"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(settings().at("stylePreset"), "professional");
    EXPECT_EQ(nlohmann::json::parse(*readWholeFile(home / ".vokari-backend.json")).at("vocab"), "K8s");
}

TEST_F(VokarictlTest, WavEncodesFloatSamplesAsADictationDoes) {
    std::vector<float> samples = {0.5f, -0.5f, 1.0f, -1.0f, 2.0f, std::nanf("")};
    std::string raw(reinterpret_cast<const char*>(samples.data()), samples.size() * 4);
    auto in = write("in.f32", raw);
    auto r = run({"wav", in, (home / "out.wav").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"result\":\"success\",\"samples\":6,\"bytes\":56}\n");
    auto wav = DictationSession::encodeWAV(samples);
    EXPECT_EQ(readWholeFile(home / "out.wav"), std::string(wav.begin(), wav.end()));
    EXPECT_TRUE(backend.requests().empty()) << "encoding needs no backend";

    auto odd = write("odd.f32", "abcde");
    EXPECT_EQ(run({"wav", odd, (home / "x.wav").string()}).exitCode, 1);
}

TEST_F(VokarictlTest, UsageErrorsPrintHelpAndExitTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"frobnicate"},
                                                                  {"process"},
                                                                  {"process", "a", "--src", "x"},
                                                                  {"history", "--limit", "x"},
                                                                  {"history", "--after"},
                                                                  {"command", "a.wav"},
                                                                  {"wav", "in"},
                                                                  {"device-id", "extra"},
                                                                  {"vocab"}}) {
        auto r = run(args);
        EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage: vokarictl"), std::string::npos);
    }
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace vokari
