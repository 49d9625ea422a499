#pragma once
// Servers for the download tests, always on 127.0.0.1 and an ephemeral port.
#include <httplib.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// Plain socket server that answers each connection with whatever the handler writes.
class TRawTestServer {
public:
    // request: the bytes up to the blank line. The connection closes when the handler returns.
    using THandler = std::function<void(int fd, const std::string& request, const std::atomic<bool>& stopping)>;

    explicit TRawTestServer(THandler handler);
    ~TRawTestServer();
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;
    int Connections() const { return connections_; }

    static bool SendAll(int fd, const std::string& data);

private:
    void AcceptLoop();

    THandler handler_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
};
