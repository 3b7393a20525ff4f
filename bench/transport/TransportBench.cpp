// Client-side cost of one dictation upload over the curl transport against a loopback server:
//  - upload_us: from process() to the server holding the last request byte (client work + loopback copy),
//  - completion_us: from the server's last response byte written to the completion running,
//  - new_connections: connections opened during the timed requests (0 proves keep-alive reuse).
// The server is a raw socket loop so that its own timestamps sit right at the wire.
#include "app/DictationSession.h"
#include "core/DebugLog.h"
#include "core/SecretStore.h"
#include "net/CurlTransport.h"
#include "transport/RefineClient.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class WireServer {
public:
    WireServer() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        ::listen(fd, 16);
        acceptor = std::thread([this] { acceptLoop(); });
    }
    ~WireServer() {
        stopping = true;
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        acceptor.join();
        for (int c : clients) {
            ::shutdown(c, SHUT_RDWR);
        }
        for (auto& t : workers) {
            t.join();
        }
        for (int c : clients) {
            ::close(c);
        }
    }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port); }

    std::atomic<int> accepted{0};
    std::atomic<Clock::rep> lastRequestByte{0};
    std::atomic<Clock::rep> lastResponseByte{0};

private:
    void acceptLoop() {
        while (!stopping) {
            int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                return;
            }
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ++accepted;
            clients.push_back(c);
            workers.emplace_back([this, c] { serve(c); });
        }
    }
    void serve(int c) {
        std::string buf;
        std::vector<char> chunk(1 << 20);
        const std::string body =
            R"({"raw":"this is a ten second dictation","refined":"This is a ten-second dictation.","total_ms":850})";
        const std::string response =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n\r\n" + body;
        while (true) {
            std::size_t end;
            while ((end = buf.find("\r\n\r\n")) == std::string::npos) {
                ssize_t n = ::recv(c, chunk.data(), chunk.size(), 0);
                if (n <= 0) {
                    return;
                }
                buf.append(chunk.data(), static_cast<std::size_t>(n));
            }
            std::size_t length = 0;
            auto head = buf.substr(0, end);
            for (auto& ch : head) {
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            }
            if (auto p = head.find("content-length:"); p != std::string::npos) {
                length = std::stoul(head.substr(p + 15));
            }
            while (buf.size() < end + 4 + length) {
                ssize_t n = ::recv(c, chunk.data(), chunk.size(), 0);
                if (n <= 0) {
                    return;
                }
                buf.append(chunk.data(), static_cast<std::size_t>(n));
            }
            lastRequestByte = Clock::now().time_since_epoch().count();
            buf.erase(0, end + 4 + length);
            if (::send(c, response.data(), response.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(response.size())) {
                return;
            }
            lastResponseByte = Clock::now().time_since_epoch().count();
        }
    }

    int fd = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread acceptor;
    std::vector<int> clients;
    std::vector<std::thread> workers;
};

class MemorySecrets : public vokari::SecretStore {
public:
    std::optional<std::string> read(const vokari::SecretQuery& q) override {
        return q.synchronizable ? std::nullopt : std::optional<std::string>("BENCH-DEVICE-ID");
    }
    void remove(const vokari::SecretQuery&) override {}
    int add(const vokari::SecretQuery&, const std::string&) override { return 0; }
};

void BM_ProcessTenSecondRecording(benchmark::State& state) {
    // Log lines go to private files, as the app's would go to its own, and not to the console.
    auto logDir = std::filesystem::temp_directory_path() / "vokari-bench-logs";
    std::filesystem::create_directories(logDir);
    vokari::debuglog::setPaths(logDir / "vokari.log", logDir / "vk-debug.log");
    vokari::debuglog::setConsole(nullptr);
    WireServer server;
    auto transport = std::make_shared<vokari::CurlTransport>();
    vokari::MemoryDefaultsStore defaults;
    auto vocab = std::filesystem::temp_directory_path() / "vokari-bench-vocab.json";
    vokari::RefineClientConfig config;
    config.transport = transport;
    config.secrets = std::make_shared<MemorySecrets>();
    config.defaults = &defaults;
    config.baseURL = server.origin();
    config.vocabPath = vocab;
    auto client = vokari::RefineClient::create(config);
    transport->waitIdle(std::chrono::seconds(5)); // registration and profile fetch open the pool

    std::vector<float> samples(160'000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.3f * static_cast<float>(std::sin(static_cast<double>(i) * 0.05));
    }
    const auto wav = vokari::DictationSession::encodeWAV(samples);
    std::mutex mutex;
    std::condition_variable cv;
    double uploadTotal = 0, completionTotal = 0;
    int connectionsBefore = server.accepted.load();
    for (auto _ : state) {
        auto audio = wav;
        bool done = false;
        Clock::rep completedAt = 0;
        auto start = Clock::now();
        client->process(std::move(audio), "dictation", [&](vokari::ProcessResult) {
            std::lock_guard lock(mutex);
            completedAt = Clock::now().time_since_epoch().count();
            done = true;
            cv.notify_all();
        });
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return done; });
        auto toUs = [](Clock::rep ticks) {
            return std::chrono::duration<double, std::micro>(Clock::duration(ticks)).count();
        };
        uploadTotal += toUs(server.lastRequestByte.load() - start.time_since_epoch().count());
        completionTotal += toUs(completedAt - server.lastResponseByte.load());
    }
    auto n = static_cast<double>(state.iterations());
    state.counters["wav_bytes"] = static_cast<double>(wav.size());
    state.counters["upload_us"] = uploadTotal / n;
    state.counters["completion_us"] = completionTotal / n;
    state.counters["new_connections"] = server.accepted.load() - connectionsBefore;
    std::filesystem::remove(vocab);
    std::filesystem::remove_all(logDir);
}
BENCHMARK(BM_ProcessTenSecondRecording)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace

BENCHMARK_MAIN();
