// Hostile and broken servers: every case ends in an error event, bounded in time and memory.
#include "HttpRecorder.h"
#include "TestServers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using Outcome = std::vector<std::string>;

namespace {

// A server that writes `reply` and closes.
TRawTestServer::THandler Reply(std::string reply)
{
    return [reply](int fd, const std::string&, const std::atomic<bool>&) { TRawTestServer::SendAll(fd, reply); };
}

struct TRun {
    TWinHTTP http;
    THttpRecorder rec;
    explicit TRun(const std::string& url)
    {
        rec.Attach(http);
        http.URL = QString::fromStdString(url);
    }
    bool Go()
    {
        return http.Read() && WaitIdle(http, 15000);
    }
};

} // namespace

TEST(BadServers, BrokenStatusLinesAndHeaders)
{
    struct Case {
        const char* name;
        std::string reply;
        Outcome expected;
    };
    const std::vector<Case> cases = {
        {"not http at all", "HTTX/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi", {"HostUnreachable", "AnyError"}},
        {"garbage", std::string("\x01\x02\xff\xfe garbage\r\n\r\n", 17), {"HostUnreachable", "AnyError"}},
        {"nothing", "", {"HostUnreachable", "AnyError"}},
        {"closed mid-header", "HTTP/1.1 200 OK\r\nContent-Le", {"HostUnreachable", "AnyError"}},
        // The client library itself refuses these lengths: no response is accepted.
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello", {"HostUnreachable", "AnyError"}},
        {"length beyond 64 bits", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nx", {"ConnLost", "AnyError"}},
        {"non-numeric length", "HTTP/1.1 200 OK\r\nContent-Length: lots\r\n\r\nx", {"HostUnreachable", "AnyError"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRawTestServer srv(Reply(c.reply));
        TRun run(srv.Url("/x"));
        ASSERT_TRUE(run.Go());
        // Whatever the client makes of it: errors only, ending with AnyError, never OnDone.
        const Outcome got = run.rec.Outcome();
        EXPECT_EQ(run.rec.Count("Done"), 0);
        EXPECT_EQ(run.rec.Count("AnyError"), 1);
        EXPECT_EQ(got, c.expected);
        EXPECT_FALSE(run.http.LastError().isEmpty());
    }
}

TEST(BadServers, NonNumericStatusIsNeverSuccess)
{
    TRawTestServer srv(Reply("HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nhi"));
    TRun run(srv.Url("/x"));
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Count("Done"), 0);
    EXPECT_EQ(run.rec.Count("AnyError"), 1);
}

TEST(BadServers, ShortBodyIsConnectionLost)
{
    QTemporaryDir dir;
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(400, 'p');
    for (bool toFile : {false, true}) {
        SCOPED_TRACE(toFile ? "file" : "memory");
        TRawTestServer srv(Reply(reply));
        TRun run(srv.Url("/short"));
        if (toFile)
            run.http.OutputFileName = dir.filePath("short.bin");
        ASSERT_TRUE(run.Go());
        EXPECT_EQ(run.rec.Outcome(), (Outcome{"ConnLost", "AnyError"}));
        EXPECT_EQ(run.rec.lostFileSize, 1000);
        EXPECT_EQ(run.rec.lostBytesRead, 400);
        if (toFile) {
            // The partial file stays, marked incomplete.
            EXPECT_EQ(QFileInfo(run.http.OutputFileName).size(), 400);
            EXPECT_TRUE(run.http.OutputFileAttributesInEffect() == (TFileAttributes{atrArchive, atrTemporary}));
        } else {
            EXPECT_EQ(run.rec.body, QByteArray(400, 'p'));
        }
    }
}

TEST(BadServers, BodyLongerThanAnnouncedIsCutAtTheLength)
{
    TRawTestServer srv(Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + std::string(100000, 'L')));
    TRun run(srv.Url("/long"));
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(run.rec.body, QByteArray(10, 'L'));
}

TEST(BadServers, AbsurdLengthIsRefusedBeforeAllocating)
{
    // 40 TB announced: refused at once, nothing of that size is reserved.
    TRawTestServer srv([](int fd, const std::string&, const std::atomic<bool>& stopping) {
        TRawTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 43980465111040\r\n\r\n");
        for (int i = 0; i < 100 && !stopping; ++i)
            if (!TRawTestServer::SendAll(fd, std::string(1024, 'z')))
                break;
    });
    TRun run(srv.Url("/huge"));
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"ConnLost", "AnyError"}));
    EXPECT_EQ(run.rec.lostFileSize, 43980465111040LL);
    EXPECT_EQ(run.rec.lostBytesRead, 0);
    EXPECT_TRUE(run.http.LastError().contains("memory limit"));
}

TEST(BadServers, EndlessBodyStopsAtTheMemoryLimit)
{
    TRawTestServer srv([](int fd, const std::string&, const std::atomic<bool>& stopping) {
        TRawTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: video/endless\r\n\r\n");
        const std::string piece(16384, 'e');
        while (!stopping && TRawTestServer::SendAll(fd, piece)) {
        }
    });
    TRun run(srv.Url("/endless"));
    run.http.MaxMemoryStreamSize = 1 << 20;
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"ConnLost", "AnyError"}));
    EXPECT_LE(run.rec.lostBytesRead, 1 << 20);
    EXPECT_LE(run.rec.body.size(), 1 << 20);
}

TEST(BadServers, EndlessBodyCanBeAborted)
{
    TRawTestServer srv([](int fd, const std::string&, const std::atomic<bool>& stopping) {
        TRawTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\n\r\n");
        const std::string piece(4096, 'e');
        while (!stopping && TRawTestServer::SendAll(fd, piece))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    TRun run(srv.Url("/endless"));
    ASSERT_TRUE(run.http.Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return run.rec.Count("Progress") >= 50; }, 10000));
    run.http.Abort(false, false);
    ASSERT_TRUE(WaitIdle(run.http, 5000));
    Settle(100);
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"Aborted"}));
}

TEST(BadServers, OverlongHeaderValuesCountAsAbsent)
{
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(10000, 't') +
                              "\r\nContent-Length: 2\r\n\r\nok";
    TRawTestServer srv(Reply(reply));
    TRun run(srv.Url("/x"));
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"Done"}));
    EXPECT_TRUE(run.rec.contentType.isEmpty());
    EXPECT_EQ(run.rec.body, "ok");
}

TEST(BadServers, HugeHeaderBlockIsRefused)
{
    std::string reply = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 400; ++i)
        reply += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'f') + "\r\n";
    reply += "Content-Length: 2\r\n\r\nok";
    TRawTestServer srv(Reply(reply));
    TRun run(srv.Url("/x"));
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Count("Done"), 0);
    EXPECT_EQ(run.rec.Count("AnyError"), 1);
}

TEST(BadServers, StalledServerHitsTheReceiveTimeout)
{
    TRawTestServer srv([](int fd, const std::string&, const std::atomic<bool>& stopping) {
        TRawTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
        while (!stopping)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    TRun run(srv.Url("/stall"));
    run.http.Timeouts.ReceiveTimeout = 300;
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(run.Go());
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"ConnLost", "AnyError"}));
    EXPECT_EQ(run.rec.lostBytesRead, 3);
}

TEST(BadServers, ExtraPartIsEncodedOnTheWire)
{
    std::mutex m;
    std::string requestLine;
    TRawTestServer srv([&](int fd, const std::string& request, const std::atomic<bool>&) {
        {
            std::lock_guard lock(m);
            requestLine = request.substr(0, request.find("\r\n"));
        }
        TRawTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    });
    TRun run(srv.Url("/q?a=b c+d&e=f%26g#frag"));
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"Done"}));
    std::lock_guard lock(m);
    EXPECT_EQ(requestLine, "GET /q?a=b%20c%2Bd&e=f%26g HTTP/1.1");
}

TEST(BadServers, HeaderLinesWithLineBreaksAreRefused)
{
    TRawTestServer srv(Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    TRun run(srv.Url("/x"));
    run.http.AddHeaders << "X-Ok: 1" << "X-Bad: 1\r\nInjected: yes";
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"HostUnreachable", "AnyError"}));
    EXPECT_EQ(srv.Connections(), 0);
}

// A proxy on 127.0.0.1 that wants credentials "pu:pp" (Basic cHU6cHA=).
TEST(BadServers, ProxyChallengeIsAnsweredThroughTheEvent)
{
    std::atomic<int> withCredentials{0};
    TRawTestServer proxy([&](int fd, const std::string& request, const std::atomic<bool>&) {
        if (request.find("Proxy-Authorization: Basic cHU6cHA=") != std::string::npos) {
            ++withCredentials;
            TRawTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nvia proxy");
        } else {
            TRawTestServer::SendAll(fd, "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                        "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"
                                        "Content-Length: 6\r\nConnection: close\r\n\r\nlogin!");
        }
    });
    auto setUp = [&](TRun& run) {
        run.http.Proxy.AccessType = atUseProxy;
        run.http.Proxy.ProxyServer = "127.0.0.1";
        run.http.Proxy.ProxyPort = proxy.Port();
        run.http.Proxy.ProxyBypass.clear();   // 127.0.0.1 is bypassed by default
    };
    {
        // Asked for, and answered.
        TRun run("http://127.0.0.1:9/behind-proxy");
        setUp(run);
        int asked = 0;
        run.http.OnProxyAuthenticationRequest = [&](QObject*, QString& user, QString& password, bool& tryAgain) {
            ++asked;
            user = "pu";
            password = "pp";
            tryAgain = true;
        };
        ASSERT_TRUE(run.Go());
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(run.rec.Outcome(), (Outcome{"Done"}));
        EXPECT_EQ(run.rec.body, "via proxy");
        EXPECT_EQ(run.http.Proxy.ProxyUsername, "pu");
    }
    {
        // Configured beforehand: used without asking.
        TRun run("http://127.0.0.1:9/behind-proxy");
        setUp(run);
        run.http.Proxy.ProxyUsername = "pu";
        run.http.Proxy.ProxyPassword = "pp";
        int asked = 0;
        run.http.OnProxyAuthenticationRequest = [&](QObject*, QString&, QString&, bool&) { ++asked; };
        ASSERT_TRUE(run.Go());
        EXPECT_EQ(asked, 0);
        EXPECT_EQ(run.rec.body, "via proxy");
    }
    {
        // Unanswered: the proxy's page is the error.
        TRun run("http://127.0.0.1:9/behind-proxy");
        setUp(run);
        ASSERT_TRUE(run.Go());
        EXPECT_EQ(run.rec.Outcome(), (Outcome{"HTTPError", "AnyError"}));
        EXPECT_EQ(run.rec.httpError, 407);
        EXPECT_EQ(run.rec.body, "login!");
    }
    EXPECT_EQ(withCredentials, 2);
}
