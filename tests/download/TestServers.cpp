#include "TestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

THttpTestServer::THttpTestServer() = default;

int THttpTestServer::Start()
{
    port_ = server.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return port_;
}

THttpTestServer::~THttpTestServer()
{
    stopping = true;
    server.stop();
    if (thread_.joinable())
        thread_.join();
}

std::string THttpTestServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

TRawTestServer::TRawTestServer(THandler handler) : handler_(std::move(handler))
{
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listenFd_, 16);
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TRawTestServer::~TRawTestServer()
{
    stopping_ = true;
    if (acceptThread_.joinable())
        acceptThread_.join();
    close(listenFd_);
    std::lock_guard lock(mutex_);
    for (auto& w : workers_)
        if (w.joinable())
            w.join();
}

std::string TRawTestServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

bool TRawTestServer::SendAll(int fd, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void TRawTestServer::AcceptLoop()
{
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++connections_;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] {
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 && !stopping_) {
                pollfd q{fd, POLLIN, 0};
                if (poll(&q, 1, 50) <= 0)
                    continue;
                const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            if (!stopping_)
                handler_(fd, request, stopping_);
            shutdown(fd, SHUT_RDWR);
            close(fd);
        });
    }
}
