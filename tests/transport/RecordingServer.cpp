#include "RecordingServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

namespace vokari::test {
namespace {

bool sendAll(int fd, const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        off += static_cast<std::size_t>(n);
    }
    return true;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A socket bound to an ephemeral loopback port, which it stores in `port`.
int bindLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

} // namespace

std::string RecordedRequest::header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

RecordingServer::RecordingServer() : responder([](const RecordedRequest&) { return Reply{}; }) {
    listenFd = bindLoopback(listenPort);
    ::listen(listenFd, 64);
    acceptor = std::thread([this] { acceptLoop(); });
}

RecordingServer::~RecordingServer() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        for (int fd : connectionFds) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    changed.notify_all();
    ::shutdown(listenFd, SHUT_RDWR);
    ::close(listenFd);
    acceptor.join();
    for (auto& t : threads) {
        t.join();
    }
    for (int fd : connectionFds) {
        ::close(fd);
    }
}

std::string RecordingServer::origin() const {
    return "http://127.0.0.1:" + std::to_string(listenPort);
}

void RecordingServer::setResponder(Responder r) {
    std::lock_guard lock(mutex);
    responder = std::move(r);
}

void RecordingServer::answer(const std::string& path, Reply reply) {
    std::lock_guard lock(mutex);
    byPath[path] = std::move(reply);
}

std::vector<RecordedRequest> RecordingServer::requests() const {
    std::lock_guard lock(mutex);
    return recorded;
}

std::optional<RecordedRequest> RecordingServer::waitFor(const std::string& prefix,
                                                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex);
    std::optional<RecordedRequest> found;
    changed.wait_for(lock, timeout, [&] {
        for (const auto& r : recorded) {
            if (r.target.starts_with(prefix)) {
                found = r;
                return true;
            }
        }
        return false;
    });
    return found;
}

int RecordingServer::connectionsAccepted() const {
    std::lock_guard lock(mutex);
    return accepted;
}

bool RecordingServer::waitForCount(const std::string& prefix, std::size_t count,
                                   std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(recorded.begin(), recorded.end(), [&](const auto& r) {
                   return r.target.starts_with(prefix);
               })) >= count;
    });
}

bool RecordingServer::waitForStreamed(std::size_t bytes, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return streamedBytes >= bytes; });
}

void RecordingServer::setReadPace(std::size_t chunkBytes, std::chrono::milliseconds pause) {
    std::lock_guard lock(mutex);
    paceBytes = chunkBytes;
    pacePause = pause;
}

ClosedPort::ClosedPort() : fd(bindLoopback(boundPort)) {}

ClosedPort::~ClosedPort() {
    ::close(fd);
}

std::string ClosedPort::origin() const {
    return "http://127.0.0.1:" + std::to_string(boundPort);
}

void RecordingServer::acceptLoop() {
    while (true) {
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        std::lock_guard lock(mutex);
        if (stopping) {
            ::close(fd);
            return;
        }
        if (paceBytes > 0) {
            int small = 16 * 1024;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        }
        connectionFds.push_back(fd);
        int connection = ++accepted;
        threads.emplace_back([this, fd, connection] { serve(fd, connection); });
    }
}

bool RecordingServer::respond(int fd, const Reply& reply) {
    if (reply.delay.count() > 0) { // cut short when the server stops, so no test waits out a long delay
        std::unique_lock lock(mutex);
        changed.wait_for(lock, reply.delay, [this] { return stopping; });
    }
    if (reply.closeWithoutAnswer) {
        ::shutdown(fd, SHUT_RDWR);
        return false;
    }
    std::string response =
        "HTTP/1.1 " + std::to_string(reply.status) + " Status" + "\r\nContent-Type: " + reply.contentType +
        (reply.location.empty() ? "" : "\r\nLocation: " + reply.location) +
        "\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: keep-alive\r\n\r\n" + reply.body;
    return sendAll(fd, response);
}

// A chunked body, read chunk by chunk so a test sees it arrive; false when the connection is over.
bool RecordingServer::serveChunked(int fd, RecordedRequest& request, std::string& buffer,
                                   const std::function<bool()>& fill) {
    Reply reply;
    bool early = false;
    {
        std::lock_guard lock(mutex);
        streamedBytes = 0;
        auto it = byPath.find(request.target.substr(0, request.target.find('?')));
        if (it != byPath.end()) {
            reply = it->second;
            early = reply.answerBeforeBody || reply.closeAfterBodyBytes > 0;
        }
    }
    auto record = [&](bool complete) {
        request.complete = complete;
        {
            std::lock_guard lock(mutex);
            recorded.push_back(request);
            streamedBytes = 0; // a later wait is for the next stream
        }
        changed.notify_all();
    };
    if (early && reply.answerBeforeBody) {
        record(false);
        respond(fd, reply);
        ::shutdown(fd, SHUT_RDWR);
        return false;
    }
    while (true) {
        std::size_t lineEnd;
        while ((lineEnd = buffer.find("\r\n")) == std::string::npos) {
            if (!fill()) {
                record(false);
                return false;
            }
        }
        std::size_t size = std::stoul(buffer.substr(0, lineEnd), nullptr, 16);
        buffer.erase(0, lineEnd + 2);
        while (buffer.size() < size + 2) {
            if (!fill()) {
                record(false);
                return false;
            }
        }
        if (size == 0) {
            buffer.erase(0, 2); // no trailers are sent
            break;
        }
        request.body.append(buffer, 0, size);
        request.chunks.push_back(size);
        buffer.erase(0, size + 2);
        {
            std::lock_guard lock(mutex);
            streamedBytes = request.body.size();
        }
        changed.notify_all();
        if (early && request.body.size() >= reply.closeAfterBodyBytes) {
            record(false);
            ::shutdown(fd, SHUT_RDWR);
            return false;
        }
    }
    {
        std::lock_guard lock(mutex);
        if (!early) {
            auto it = byPath.find(request.target.substr(0, request.target.find('?')));
            reply = it != byPath.end() ? it->second : responder(request);
        }
    }
    record(true);
    return respond(fd, reply);
}

void RecordingServer::serve(int fd, int connection) {
    std::string buffer;
    char chunk[65536];
    std::unique_lock paceLock(mutex);
    const std::size_t chunkBytes = paceBytes > 0 ? std::min(paceBytes, sizeof chunk) : sizeof chunk;
    const auto pause = pacePause; // zero unless a pace was set
    paceLock.unlock();
    auto fill = [&]() {
        if (pause.count() > 0) {
            std::this_thread::sleep_for(pause); // simulates the uplink, not a wait for an outcome
        }
        ssize_t n = ::recv(fd, chunk, chunkBytes, 0);
        if (n <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    };
    while (true) {
        std::size_t headerEnd;
        while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (!fill()) {
                return;
            }
            if (buffer[0] == '\x16') { // a TLS handshake: answer in plain HTTP, as a plain server would
                sendAll(fd, "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
                ::shutdown(fd, SHUT_RDWR);
                return;
            }
        }
        RecordedRequest request;
        request.connection = connection;
        std::string head = buffer.substr(0, headerEnd);
        buffer.erase(0, headerEnd + 4);
        std::istringstream lines(head);
        std::string line;
        std::getline(lines, line);
        request.method = line.substr(0, line.find(' '));
        request.target = line.substr(line.find(' ') + 1, line.rfind(' ') - line.find(' ') - 1);
        while (std::getline(lines, line)) {
            if (auto colon = line.find(':'); colon != std::string::npos) {
                std::string value = line.substr(colon + 1, line.size() - colon - (line.ends_with('\r') ? 2 : 1));
                request.headers[lower(line.substr(0, colon))] = value.erase(0, value.find_first_not_of(' '));
            }
        }
        if (lower(request.header("transfer-encoding")).find("chunked") != std::string::npos) {
            if (!serveChunked(fd, request, buffer, fill)) {
                return;
            }
            continue;
        }
        std::size_t length =
            request.headers.contains("content-length") ? std::stoul(request.header("content-length")) : 0;
        while (buffer.size() < length) {
            if (!fill()) {
                return;
            }
        }
        request.body = buffer.substr(0, length);
        buffer.erase(0, length);

        Reply reply;
        {
            std::lock_guard lock(mutex);
            std::string path = request.target.substr(0, request.target.find('?'));
            auto it = byPath.find(path);
            reply = it != byPath.end() ? it->second : responder(request);
            recorded.push_back(request);
        }
        changed.notify_all();
        if (reply.delay.count() > 0) { // cut short when the server stops, so no test waits out a long delay
            std::unique_lock lock(mutex);
            changed.wait_for(lock, reply.delay, [this] { return stopping; });
        }
        if (reply.closeWithoutAnswer) {
            ::shutdown(fd, SHUT_RDWR);
            return;
        }
        std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " Status" +
                               "\r\nContent-Type: " + reply.contentType +
                               (reply.location.empty() ? "" : "\r\nLocation: " + reply.location) +
                               "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                               "\r\nConnection: keep-alive\r\n\r\n" + reply.body;
        if (!sendAll(fd, response)) {
            return;
        }
    }
}

} // namespace vokari::test
