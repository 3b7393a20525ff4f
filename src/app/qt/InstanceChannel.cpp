#include "app/qt/InstanceChannel.h"

#include <QLocalSocket>
#include <QPointer>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vokari {

namespace {
constexpr char kRequest[] = "open\n";
constexpr char kReply[] = "ok\n";
} // namespace

std::filesystem::path InstanceChannel::socketPathFor(const std::filesystem::path& lockPath) {
    return lockPath.parent_path() / "vokari.sock";
}

bool InstanceChannel::requestOpenWindow(const std::filesystem::path& path, int timeoutMs) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string p = path.string();
    if (p.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof kRequest - 1)) {
        std::string reply;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (reply.find('\n') == std::string::npos) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd pfd{fd, POLLIN, 0};
            int r = ::poll(&pfd, 1, static_cast<int>(left.count()));
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                break;
            }
            char buf[16];
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                break;
            }
            reply.append(buf, static_cast<std::size_t>(n));
        }
        ok = reply == kReply;
    }
    ::close(fd);
    return ok;
}

InstanceChannel::InstanceChannel(std::filesystem::path socketPath, std::function<void()> onOpen)
    : path(std::move(socketPath)), onOpenWindow(std::move(onOpen)) {
    QObject::connect(&server, &QLocalServer::newConnection, &server, [this] {
        while (QLocalSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                // Only the one known request is answered; anything else (or more than a line) closes the socket.
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > 64) {
                        socket->abort();
                    }
                    return;
                }
                const QByteArray line = socket->readLine(64);
                if (line == kRequest) {
                    if (onOpenWindow) {
                        onOpenWindow();
                    }
                    socket->write(kReply);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
}

InstanceChannel::~InstanceChannel() {
    server.close();
}

std::optional<std::string> InstanceChannel::listen() {
    const QString name = QString::fromStdString(path.string());
    QLocalServer::removeServer(name);
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(name)) {
        return "cannot listen on " + path.string() + ": " + server.errorString().toStdString();
    }
    return std::nullopt;
}

} // namespace vokari
