// A one-connection HTTP server on 127.0.0.1 that keeps the raw request bytes and answers scripted bytes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class LocalServer {
public:
    // Listens on an ephemeral port; serves the first connection with `response`, then stops.
    // onRequest runs on the server's thread once a whole request is in, before it is answered.
    explicit LocalServer(std::string response, std::function<void()> onRequest = {});
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    uint16_t Port() const { return port_; }
    // The request as received; empty when none arrived within the server's bounded wait.
    const std::string& Request();

private:
    void Serve();

    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::string response_;
    std::function<void()> onRequest_;
    std::string request_;
    std::thread thread_;
};

// A port on 127.0.0.1 that nobody listens on (bound once, then released).
uint16_t ClosedPort();
