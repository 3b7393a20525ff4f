// The real executable under faults: killed with SIGKILL in the middle of concurrent dictations, and held by
// slow and idle connections.
#include "FakeOpenAi.h"
#include "ServerProcess.h"

#include "audio/WavReader.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace vokari::server;
using namespace vokari::server::test;
using nlohmann::json;

namespace {

std::string shortTone() {
    std::vector<int16_t> samples(8000);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(3000 * std::sin(static_cast<double>(i) * 0.05));
    }
    return encodeWav(samples);
}

// Every raw transcript stored for the device, read back page by page through the history endpoint.
std::set<std::string> history(int port, const std::string& device) {
    httplib::Client c("127.0.0.1", port);
    std::set<std::string> out;
    std::string after;
    for (;;) {
        auto r = c.Get("/transcripts?limit=100" + after, {{"x-device-id", device}});
        if (!r || r->status != 200) {
            ADD_FAILURE() << "history request failed";
            return out;
        }
        auto page = json::parse(r->body);
        for (const auto& t : page["transcripts"]) {
            out.insert(t["raw"].get<std::string>());
        }
        if (!page["has_more"].get<bool>() || page["transcripts"].empty()) {
            return out;
        }
        after = "&after=" + std::to_string(page["transcripts"].back()["id"].get<int64_t>());
    }
}

std::string integrityCheck(const std::filesystem::path& db) {
    sqlite3* handle = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        result.clear();
        sqlite3_exec(
            handle, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) += values[0] != nullptr ? values[0] : "NULL";
                return 0;
            },
            &result, nullptr);
    }
    sqlite3_close(handle);
    return result;
}

// A TCP connection to the server that the test writes to by hand.
int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TEST(ServerRobustness, KillNineUnderLoadLosesNoAnsweredTranscriptAndLeavesASoundDatabase) {
    // Transcription by a fake engine, so the load is many short requests, each with a text of its own.
    FakeOpenAi stt;
    stt.script = [](int n) { return json{{"text", "dictation number " + std::to_string(n)}}.dump(); };
    auto data = uniquePath("vokari-server-crash");
    const std::vector<std::string> args = {"--listen",      "127.0.0.1:0",
                                           "--data",        data.string(),
                                           "--stt",         "openai",
                                           "--stt-url",     "http://127.0.0.1:" + std::to_string(stt.port),
                                           "--daily-limit", "0"};
    const std::string wav = shortTone();
    constexpr int kClients = 6;
    std::mutex lock;
    std::map<std::string, std::set<std::string>> answered; // device → raw texts that got a 200
    size_t answeredCount = 0;

    for (int round = 0; round < 3; ++round) {
        ServerProcess server(args);
        auto port = server.waitUntilListening();
        ASSERT_TRUE(port) << server.output();
        std::atomic<bool> stop{false};
        std::vector<std::thread> clients;
        for (int i = 0; i < kClients; ++i) {
            clients.emplace_back([&, i, port = *port] {
                const std::string device = "CRASH-" + std::to_string(i);
                httplib::Client c("127.0.0.1", port);
                c.set_read_timeout(std::chrono::seconds(10));
                while (!stop) {
                    auto r = c.Post("/process", {{"x-device-id", device}},
                                    httplib::MultipartFormDataItems{{"audio", wav, "recording.wav", "audio/wav"}});
                    if (r && r->status == 200) {
                        std::lock_guard<std::mutex> guard(lock);
                        answered[device].insert(json::parse(r->body)["raw"].get<std::string>());
                        ++answeredCount;
                    }
                }
            });
        }
        // Kill once this round has answered a good number of requests, with others in flight.
        const size_t target = answeredCount + 100;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (answeredCount >= target || std::chrono::steady_clock::now() > deadline) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        server.kill();
        stop = true;
        for (auto& t : clients) {
            t.join();
        }
        ASSERT_GE(answeredCount, target) << server.output();
        EXPECT_EQ(integrityCheck(data / "vokari.db"), "ok") << "after kill " << round;
    }

    ServerProcess again(args);
    auto port = again.waitUntilListening();
    ASSERT_TRUE(port) << again.output();
    for (const auto& [device, texts] : answered) {
        auto stored = history(*port, device);
        for (const auto& text : texts) {
            EXPECT_EQ(stored.count(text), 1u) << device << " lost the answered \"" << text << "\"";
        }
    }
    EXPECT_EQ(again.terminate(), 0);
    EXPECT_EQ(integrityCheck(data / "vokari.db"), "ok");
    std::filesystem::remove_all(data);
}

TEST(ServerRobustness, HealthAnswersWhileSlowClientsAndTwoHundredIdleConnectionsAreOpen) {
    auto data = uniquePath("vokari-server-idle");
    // No speech model needed: the model-less server starts at once and still serves /health.
    ServerProcess server({"--listen", "127.0.0.1:0", "--data", data.string(), "--model-dir", "/nonexistent"});
    auto port = server.waitUntilListening();
    ASSERT_TRUE(port) << server.output();

    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        int fd = connectTo(*port);
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    // Slow clients: a request trickling in at a byte a second.
    std::atomic<bool> stop{false};
    std::vector<std::thread> slow;
    for (int i = 0; i < 4; ++i) {
        slow.emplace_back([&] {
            int fd = connectTo(*port);
            const std::string request = "POST /process HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000\r\n\r\n";
            for (size_t b = 0; !stop && fd >= 0; b = (b + 1) % request.size()) {
                send(fd, request.data() + b, 1, MSG_NOSIGNAL);
                for (int t = 0; t < 10 && !stop; ++t) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            }
            close(fd);
        });
    }

    // For longer than the keep-alive time-out, /health keeps answering within a generous 2 s.
    httplib::Client c("127.0.0.1", *port);
    c.set_connection_timeout(std::chrono::seconds(2));
    c.set_read_timeout(std::chrono::seconds(2));
    for (int i = 0; i < 16; ++i) {
        auto r = c.Get("/health");
        if (!r) {
            ADD_FAILURE() << "no /health answer within 2 s (attempt " << i << ")";
            break;
        }
        EXPECT_EQ(r->status, 200);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }

    stop = true;
    for (auto& t : slow) {
        t.join();
    }
    for (int fd : idle) {
        close(fd);
    }
    EXPECT_EQ(server.terminate(), 0);
    std::filesystem::remove_all(data);
}
