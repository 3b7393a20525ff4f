// The /process/stream contract over real loopback HTTP (chunked bodies, as the app sends them) against an
// in-process server with the scripted engine.
#include "TestServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

using nlohmann::json;
using namespace vokari::server;
using namespace vokari::server::test;

namespace {

constexpr const char* kType = "application/x-vokari-pcm-stream";

std::string pcmBytes(const std::vector<int16_t>& samples) {
    std::string out;
    for (int16_t s : samples) {
        auto u = static_cast<uint16_t>(s);
        out.push_back(static_cast<char>(u & 0xff));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

std::vector<int16_t> tone(size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<int16_t>((i * 7919) % 20000) - 10000;
    }
    return s;
}

httplib::Headers deviceHeader(const std::optional<std::string>& device) {
    return device ? httplib::Headers{{"x-device-id", *device}} : httplib::Headers{};
}

// Sends `pieces` as the chunks of one body. `stallAfter` pieces in, the sender waits for `resume` (a client
// that falls silent); `abortAfter` pieces in, it gives up (a client that closes mid-stream).
httplib::Result postStream(const TestServer& s, const std::optional<std::string>& device,
                           std::vector<std::string> pieces, std::shared_future<void> resume = {},
                           size_t stallAfter = SIZE_MAX, size_t abortAfter = SIZE_MAX) {
    size_t next = 0;
    return s.client().Post(
        "/process/stream", deviceHeader(device),
        [pieces = std::move(pieces), next, resume, stallAfter, abortAfter](size_t, httplib::DataSink& sink) mutable {
            if (next == stallAfter) {
                resume.wait();
            }
            if (next == abortAfter) {
                return false;
            }
            if (next < pieces.size()) {
                sink.write(pieces[next].data(), pieces[next].size());
                ++next;
            }
            if (next == pieces.size()) {
                sink.done();
            }
            return true;
        },
        kType);
}

// Opens a stream by hand and sends only its JSON line, then reads whatever the server answers: the
// refusals that come at open must come before the client has finished (or even sent) its audio.
std::string answerAtOpen(const TestServer& s, const std::string& device) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(s.port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string request = "POST /process/stream HTTP/1.1\r\nHost: 127.0.0.1\r\nx-device-id: " + device +
                              "\r\nContent-Type: " + kType + "\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n{}\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
            // Until the JSON answer is complete: the server does not wait for the rest of the body.
            char buf[4096];
            for (ssize_t n; answer.empty() || answer.back() != '}';) {
                if ((n = ::recv(fd, buf, sizeof buf, 0)) <= 0) {
                    break;
                }
                answer.append(buf, static_cast<size_t>(n));
            }
        }
    }
    ::close(fd);
    return answer;
}

json body(const httplib::Result& r) {
    return r ? json::parse(r->body, nullptr, false) : json();
}

void expectError(const httplib::Result& r, int status, const std::string& needle) {
    ASSERT_TRUE(r) << "no answer";
    EXPECT_EQ(r->status, status) << r->body;
    auto j = body(r);
    ASSERT_TRUE(j.is_object() && j["error"].is_string()) << r->body;
    EXPECT_NE(j["error"].get<std::string>().find(needle), std::string::npos) << r->body;
}

size_t storedTranscripts(TestServer& s, const std::string& device) {
    auto r = s.get("/transcripts?limit=100", device);
    return r ? body(r)["transcripts"].size() : 0;
}

// Waits (bounded, generously) for a condition the server reaches on its own threads.
template <typename F> bool eventually(F condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

} // namespace

TEST(ServerStreamContract, AStreamIsAnsweredStoredAndCountedLikeProcess) {
    TestServer s(2);
    s.engine.text = "hello world comma this is kuber net ease period";
    auto audio = tone(4001);
    std::string pcm = pcmBytes(audio);
    // Chunk borders fall inside the JSON line and inside samples.
    auto r = postStream(s, "DEV-1",
                        {R"({"vocab":"Kubernetes, GitHub","source":"dictation","other":[1]})", "\n" + pcm.substr(0, 3),
                         pcm.substr(3, 1000), pcm.substr(1003)});
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    auto j = body(r);
    EXPECT_EQ(j["raw"], "hello world comma this is kuber net ease period");
    EXPECT_EQ(j["refined"], "Hello world, this is Kubernetes.");
    EXPECT_TRUE(j["total_ms"].is_number_integer());
    EXPECT_EQ(s.engine.lastSamples, audio);
    EXPECT_EQ(s.engine.lastVocabulary, (std::vector<std::string>{"Kubernetes", "GitHub"}));
    EXPECT_EQ(storedTranscripts(s, "DEV-1"), 1u);

    // Without "vocab" the synced profile's vocabulary applies, as with /process.
    ASSERT_EQ(s.postJson("/profile", R"({"vocab":"Vokari"})", "DEV-1")->status, 200);
    r = postStream(s, "DEV-1", {"{}\n" + pcm});
    ASSERT_EQ(r ? r->status : -1, 200);
    EXPECT_EQ(s.engine.lastVocabulary, (std::vector<std::string>{"Vokari"}));
    EXPECT_EQ(storedTranscripts(s, "DEV-1"), 2u);

    // Two finished streams used the day: the next is refused at open, before any audio is sent.
    std::string refused = answerAtOpen(s, "DEV-1");
    EXPECT_EQ(refused.rfind("HTTP/1.1 429", 0), 0u) << refused;
    EXPECT_NE(refused.find(R"({"error":"daily limit reached"})"), std::string::npos) << refused;
    EXPECT_EQ(s.engine.calls, 2);
    EXPECT_EQ(s.engine.streamsOpened, 2);
    expectError(s.process("DEV-1", toneWav(0.5)), 429, "daily limit");
}

TEST(ServerStreamContract, MalformedStreamsAreRefusedAndNothingIsCounted) {
    TestServer s;
    std::string pcm = pcmBytes(tone(1600));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"{\"vocab\":\n" + pcm}, "JSON object"},
        {{"[1,2]\n" + pcm}, "JSON object"},
        {{"{\"vocab\":5}\n" + pcm}, "must be strings"},
        {{std::string(1024 * 1024 + 10, 'x')}, "longer than 1 MiB"},
        {{"{}\n" + pcm + "x"}, "odd number of bytes"},
        {{"{}\n"}, "empty audio"},
        {{"{}"}, "JSON object"},
    };
    for (const auto& [pieces, needle] : cases) {
        SCOPED_TRACE(needle);
        expectError(postStream(s, "DEV-1", pieces), 400, needle);
    }
    expectError(postStream(s, std::nullopt, {"{}\n" + pcm}), 400, "x-device-id");
    EXPECT_EQ(s.engine.calls, 0);
    EXPECT_EQ(s.engine.openStreams, 0);
    EXPECT_EQ(storedTranscripts(s, "DEV-1"), 0u);

    TestServer withoutEngine(1000, false);
    expectError(postStream(withoutEngine, "DEV-1", {"{}\n" + pcm}), 503, "unavailable");
    TestServer noStream(1000, true, std::nullopt, [](ServerContext& c) { c.streaming = false; });
    expectError(postStream(noStream, "DEV-1", {"{}\n" + pcm}), 404, "not found");
}

TEST(ServerStreamContract, AStreamThatFallsSilentOrBreaksOffIsDroppedWithoutATrace) {
    TestServer s(1000, true, std::nullopt, [](ServerContext& c) { c.streamIdleTimeoutMs = 300; });
    std::string pcm = pcmBytes(tone(1600));
    std::promise<void> resume;
    std::shared_future<void> resumed = resume.get_future().share();
    std::thread silent([&] { postStream(s, "DEV-1", {"{}\n", pcm, pcm}, resumed, 2); });
    EXPECT_TRUE(eventually([&] { return s.engine.streamsOpened == 1 && s.engine.openStreams == 0; }))
        << "the server kept a silent stream";
    resume.set_value();
    silent.join();

    auto broken = postStream(s, "DEV-1", {"{}\n", pcm, pcm}, {}, SIZE_MAX, 2);
    EXPECT_FALSE(broken && broken->status == 200);
    EXPECT_TRUE(eventually([&] { return s.engine.streamsOpened == 2 && s.engine.openStreams == 0; }));

    EXPECT_EQ(s.engine.calls, 0);
    EXPECT_EQ(storedTranscripts(s, "DEV-1"), 0u);
    ASSERT_EQ(s.process("DEV-1", toneWav(0.5))->status, 200); // and the day's count was untouched by them
    auto usage = s.db->usageOn("DEV-1", "2026-12-06");
    EXPECT_EQ(usage.value_or(-1), 1);
}

TEST(ServerStreamContract, ConcurrentStreamsLeaveAWorkerForEveryoneElse) {
    TestServer s; // 4 workers: at most 3 streams at once
    std::string pcm = pcmBytes(tone(1600));
    std::promise<void> finish;
    std::shared_future<void> finishing = finish.get_future().share();
    std::vector<int> statuses(3, -1);
    std::vector<std::thread> streams;
    for (size_t i = 0; i < statuses.size(); ++i) {
        streams.emplace_back([&, i] {
            auto r = postStream(s, "DEV-" + std::to_string(i), {"{}\n", pcm, pcm}, finishing, 2);
            statuses[i] = r ? r->status : -1;
        });
    }
    ASSERT_TRUE(eventually([&] { return s.engine.openStreams == 3; }));
    std::string refused = answerAtOpen(s, "DEV-9");
    EXPECT_EQ(refused.rfind("HTTP/1.1 503", 0), 0u) << refused;
    EXPECT_NE(refused.find("too many streams"), std::string::npos) << refused;
    auto processed = s.process("DEV-9", toneWav(0.5));
    EXPECT_EQ(processed ? processed->status : -1, 200);
    finish.set_value();
    for (auto& t : streams) {
        t.join();
    }
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(storedTranscripts(s, "DEV-" + std::to_string(i)), 1u);
    }
}
