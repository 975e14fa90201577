#include "LocalServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace {

constexpr auto kWait = std::chrono::seconds(5);
constexpr size_t kMaxRequest = 1 << 20;

int Loopback(uint16_t* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

// Milliseconds left before the deadline, at least 0.
int Left(std::chrono::steady_clock::time_point deadline) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, ms.count()));
}

bool Readable(int fd, std::chrono::steady_clock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, Left(deadline)) == 1;
}

// Length of a complete request in data (headers and Content-Length body), 0 while incomplete.
size_t CompleteLength(const std::string& data) {
    size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos) return 0;
    std::string head = data.substr(0, end);
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
    size_t body = 0;
    size_t at = head.find("\r\ncontent-length:");
    if (at != std::string::npos) body = std::strtoul(head.c_str() + at + 17, nullptr, 10);
    size_t total = end + 4 + body;
    return data.size() >= total ? total : 0;
}

}  // namespace

LocalServer::LocalServer(std::string response, std::function<void()> onRequest)
    : response_(std::move(response)), onRequest_(std::move(onRequest)) {
    listenFd_ = Loopback(&port_);
    if (::listen(listenFd_, 4) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("listen");
    }
    thread_ = std::thread([this] { Serve(); });
}

LocalServer::~LocalServer() {
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
}

const std::string& LocalServer::Request() {
    if (thread_.joinable()) thread_.join();
    return request_;
}

void LocalServer::Serve() {
    auto deadline = std::chrono::steady_clock::now() + kWait;
    if (!Readable(listenFd_, deadline)) return;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::string data;
    char buf[4096];
    while (CompleteLength(data) == 0 && data.size() < kMaxRequest && Readable(fd, deadline)) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    request_ = data;
    if (CompleteLength(data) != 0) {
        if (onRequest_) onRequest_();
        size_t sent = 0;
        while (sent < response_.size()) {
            ssize_t n = ::send(fd, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    }
    ::shutdown(fd, SHUT_WR);
    // Let the client read the answer before the connection goes away.
    while (Readable(fd, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::seconds(2)))) {
        if (::recv(fd, buf, sizeof buf, 0) <= 0) break;
    }
    ::close(fd);
}

uint16_t ClosedPort() {
    uint16_t port = 0;
    ::close(Loopback(&port));
    return port;
}
