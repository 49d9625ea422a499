#pragma once
// Servers for the download tests, always on 127.0.0.1 and an ephemeral port.
#include <httplib.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Bytes that look like media to a server and a client (no runs, no text), the same for a seed.
inline std::string ServedBody(size_t size, unsigned seed)
{
    std::string body(size, '\0');
    for (char& c : body) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    return body;
}

// cpp-httplib server: add routes to `server`, then Start().
class THttpTestServer {
public:
    httplib::Server server;
    std::atomic<bool> stopping{false};   // long handlers poll this

    THttpTestServer();
    ~THttpTestServer();
    int Start();
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;

private:
    int port_ = 0;
    std::thread thread_;
};

struct ssl_ctx_st;

// Socket server that answers each connection with whatever the handler writes; with tls on it
// speaks TLS with a self-signed certificate made by the openssl command when it starts.
class TRawTestServer {
public:
    // request: the bytes up to the blank line. The connection closes when the handler returns;
    // after ResetOnClose(fd) it ends with a reset instead of an orderly close, after KeepOpen(fd)
    // the next request on it goes to the handler in turn (until the client closes it).
    using THandler = std::function<void(int fd, const std::string& request, const std::atomic<bool>& stopping)>;

    explicit TRawTestServer(THandler handler, bool tls = false);
    ~TRawTestServer();
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;
    int Connections() const { return connections_; }          // accepted so far
    int OpenConnections() const { return openConnections_; }  // accepted and not yet closed

    // Writes on the handler's connection (through TLS when the server speaks it).
    static bool SendAll(int fd, const std::string& data);
    static void ResetOnClose(int fd);
    static void KeepOpen(int fd);
    std::string Scheme() const { return tls_ ? "https" : "http"; }

private:
    void AcceptLoop();

    void Serve(int fd);

    THandler handler_;
    bool tls_ = false;
    ssl_ctx_st* ctx_ = nullptr;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> openConnections_{0};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
};
