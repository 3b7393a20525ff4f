#pragma once
// A small HTTP/1.1 server on loopback for tests: records every request byte for byte (request line, headers,
// body) and answers with whatever the test's responder returns, or closes the connection without answering.
// Connections are kept alive, and each request notes which connection carried it. One thread per connection;
// the responder runs on those threads. Owned by the test; the destructor stops and joins everything.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vokari::test {

struct RecordedRequest {
    std::string method;
    std::string target;                         // path and query, as sent
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    int connection = 0; // 1 for the first accepted connection, and so on
    // A chunked body: the size of each chunk as it arrived, and whether its last chunk came (false: the
    // connection ended, or was closed by the reply, before the body did).
    std::vector<std::size_t> chunks;
    bool complete = true;
    std::string header(const std::string& lowerName) const;
};

struct Reply {
    int status = 200;
    std::string body = "{}";
    std::string contentType = "application/json";
    bool closeWithoutAnswer = false;
    std::chrono::milliseconds delay{0};
    std::string location{}; // sent as a Location header when not empty
    // Chunked bodies only: answer as soon as the headers are in, then close (a server that refuses at once);
    // or close without answering once this many body bytes arrived (a connection broken mid-stream).
    bool answerBeforeBody = false;
    std::size_t closeAfterBodyBytes = 0;
};

class RecordingServer {
public:
    using Responder = std::function<Reply(const RecordedRequest&)>;
    RecordingServer();
    ~RecordingServer();

    std::string origin() const; // "http://127.0.0.1:PORT"
    int port() const { return listenPort; }
    void setResponder(Responder responder);
    // Replies for one path (without query); other paths get the default responder.
    void answer(const std::string& path, Reply reply);

    std::vector<RecordedRequest> requests() const;
    // The first request whose target starts with `prefix`, waiting up to `timeout` for it.
    std::optional<RecordedRequest> waitFor(const std::string& prefix,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    int connectionsAccepted() const;
    // Waits until `count` requests whose target starts with `prefix` were recorded.
    bool waitForCount(const std::string& prefix, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Waits until a chunked body still arriving holds at least `bytes`; false when `timeout` passed first.
    bool waitForStreamed(std::size_t bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    // From now on, each connection reads request bytes at most `chunkBytes` at a time with `pause` between
    // reads, through a small receive buffer: a slow but steady uplink.
    void setReadPace(std::size_t chunkBytes, std::chrono::milliseconds pause);

private:
    void acceptLoop();
    void serve(int fd, int connection);
    bool serveChunked(int fd, RecordedRequest& request, std::string& buffer, const std::function<bool()>& fill);
    bool respond(int fd, const Reply& reply);

    int listenFd = -1;
    int listenPort = 0;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Responder responder;
    std::map<std::string, Reply> byPath;
    std::size_t paceBytes = 0;
    std::chrono::milliseconds pacePause{0};
    std::vector<RecordedRequest> recorded;
    std::size_t streamedBytes = 0; // of the chunked body being read; 0 once it is recorded
    std::vector<int> connectionFds;
    std::vector<std::thread> threads;
    int accepted = 0;
    bool stopping = false;
    std::thread acceptor;
};

// A loopback port that refuses connections for as long as this object lives: the socket stays bound but never
// listens, so no other test running at the same time can take the port.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    int port() const { return boundPort; }
    std::string origin() const; // "http://127.0.0.1:PORT"

private:
    int fd = -1;
    int boundPort = 0;
};

} // namespace vokari::test
