#include "TestServers.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

thread_local SSL* connectionTls = nullptr;
thread_local bool connectionKept = false;

// A fresh self-signed certificate for 127.0.0.1, made in the working (build) folder.
SSL_CTX* MakeTlsContext()
{
    char folder[] = "tls-cert-XXXXXX";
    if (!mkdtemp(folder))
        return nullptr;
    const std::string dir = folder;
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                                " -keyout " + dir + "/key.pem -out " + dir + "/cert.pem -days 1"
                                " -subj /CN=127.0.0.1 >/dev/null 2>&1";
    SSL_CTX* ctx = nullptr;
    if (std::system(command.c_str()) == 0) {
        ctx = SSL_CTX_new(TLS_server_method());
        if (ctx && (SSL_CTX_use_certificate_file(ctx, (dir + "/cert.pem").c_str(), SSL_FILETYPE_PEM) != 1 ||
                    SSL_CTX_use_PrivateKey_file(ctx, (dir + "/key.pem").c_str(), SSL_FILETYPE_PEM) != 1)) {
            SSL_CTX_free(ctx);
            ctx = nullptr;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return ctx;
}

bool WantsReset(int fd)
{
    linger l{};
    socklen_t len = sizeof l;
    return getsockopt(fd, SOL_SOCKET, SO_LINGER, &l, &len) == 0 && l.l_onoff && l.l_linger == 0;
}

} // namespace

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

TRawTestServer::TRawTestServer(THandler handler, bool tls) : handler_(std::move(handler)), tls_(tls)
{
    if (tls_)
        ctx_ = MakeTlsContext();
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
    if (ctx_)
        SSL_CTX_free(ctx_);
}

std::string TRawTestServer::Url(const std::string& path) const
{
    return Scheme() + "://127.0.0.1:" + std::to_string(port_) + path;
}

bool TRawTestServer::SendAll(int fd, const std::string& data)
{
    size_t sent = 0;
    if (connectionTls) {
        while (sent < data.size()) {
            const int n = SSL_write(connectionTls, data.data() + sent, static_cast<int>(data.size() - sent));
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }
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
        ++openConnections_;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] { Serve(fd); });
    }
}

void TRawTestServer::ResetOnClose(int fd)
{
    linger l{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void TRawTestServer::KeepOpen(int)
{
    connectionKept = true;
}

void TRawTestServer::Serve(int fd)
{
    SSL* tls = nullptr;
    if (tls_) {
        // Bounded: a client that never finishes the handshake cannot hold the server.
        timeval limit{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        tls = ctx_ ? SSL_new(ctx_) : nullptr;
        if (!tls || SSL_set_fd(tls, fd) != 1 || SSL_accept(tls) != 1) {
            if (tls)
                SSL_free(tls);
            ERR_clear_error();
            close(fd);
            --openConnections_;
            return;
        }
    }
    for (int served = 0; !stopping_; ++served) {
        std::string request;
        char buffer[4096];
        bool ended = false;   // the client closed its side
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 && !stopping_) {
            ssize_t n = 0;
            if (tls) {
                n = SSL_read(tls, buffer, sizeof buffer);
            } else {
                pollfd q{fd, POLLIN, 0};
                if (poll(&q, 1, 50) <= 0)
                    continue;
                n = recv(fd, buffer, sizeof buffer, 0);
            }
            if (n <= 0) {
                ended = true;
                break;
            }
            request.append(buffer, static_cast<size_t>(n));
        }
        // A kept connection the client closes between requests has no request left to answer.
        if (served > 0 && request.empty())
            break;
        connectionTls = tls;
        connectionKept = false;
        if (!stopping_)
            handler_(fd, request, stopping_);
        connectionTls = nullptr;
        if (!connectionKept || ended)
            break;
    }
    connectionKept = false;
    const bool reset = WantsReset(fd);
    if (tls) {
        if (!reset)
            SSL_shutdown(tls);
        SSL_free(tls);
    }
    if (!reset)
        shutdown(fd, SHUT_RDWR);
    close(fd);
    --openConnections_;
}
