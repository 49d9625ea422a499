// label: sanitize
// Hostile and broken servers: every case ends in an error event, bounded in time and memory.
#include "HttpRecorder.h"
#include "MediaSite.h"
#include "TestServers.h"
#include "WinHTTPConnections.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

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
    ASSERT_TRUE(WaitServicingEvents([&] { return run.rec.Count("Progress") >= 5; }, 10000));
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

// ---- the hostile-server table ---------------------------------------------------------------

namespace {

using namespace std::chrono_literals;

// Short timeouts for the suite; the defaults themselves are checked on their own.
constexpr std::uint32_t kConnect = 500, kReceive = 400, kSend = 400;
constexpr qint64 kCap = 1 << 20;   // memory cap of every case

void Idle(const std::atomic<bool>& stopping)
{
    while (!stopping)
        std::this_thread::sleep_for(5ms);
}

// Sends `head`, then goes silent.
TRawTestServer::THandler Silent(std::string head)
{
    return [head](int fd, const std::string&, const std::atomic<bool>& stopping) {
        TRawTestServer::SendAll(fd, head);
        Idle(stopping);
    };
}

// Sends `head`, then `unit` every `gap` for as long as the client listens.
TRawTestServer::THandler Repeat(std::string head, std::string unit, std::chrono::milliseconds gap)
{
    return [=](int fd, const std::string&, const std::atomic<bool>& stopping) {
        if (!TRawTestServer::SendAll(fd, head))
            return;
        while (!stopping && TRawTestServer::SendAll(fd, unit))
            std::this_thread::sleep_for(gap);
    };
}

// Sends `reply`, then resets the connection.
TRawTestServer::THandler ResetAfter(std::string reply)
{
    return [reply](int fd, const std::string&, const std::atomic<bool>&) {
        TRawTestServer::SendAll(fd, reply);
        std::this_thread::sleep_for(50ms);
        TRawTestServer::ResetOnClose(fd);
    };
}

std::string Chunked(const std::string& chunks)
{
    return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks;
}

// Made here, not by a child process: a fork of this many-threaded program is refused by the
// thread sanitizer.
QByteArray Gzip(const QByteArray& data)
{
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 32, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(rc == Z_STREAM_END ? qsizetype(z.total_out) : 0);
    deflateEnd(&z);
    return out;
}

long ResidentKiB()
{
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

struct THostileCase {
    const char* name;
    TRawTestServer::THandler handler;
    Outcome expected;
    int boundMs;                                   // the transfer must be idle within this
    bool tls = false;
    std::function<void(TRun&, TRawTestServer&)> setUp = {};
    std::function<void(TRun&, TRawTestServer&)> check = {};
    bool toFile = false;                           // body into a file that a failure deletes or keeps
};

} // namespace

TEST(HostileServers, DefaultTimeoutsAreFinite)
{
    TWinHTTP http;
    EXPECT_EQ(http.Timeouts.ConnectTimeout, 0u);   // the stored form keeps 0 = the default
    const TWinHTTPTimeouts e = http.Timeouts.Effective();
    EXPECT_EQ(e.ConnectTimeout, 60000u);
    EXPECT_EQ(e.ReceiveTimeout, 30000u);
    EXPECT_EQ(e.SendTimeout, 30000u);
    EXPECT_EQ(e.LowSpeedLimit, 1024u);
    TWinHTTPTimeouts own;
    own.ReceiveTimeout = 5;
    EXPECT_EQ(own.Effective().ReceiveTimeout, 5u);
    EXPECT_EQ(own.Effective().ConnectTimeout, 60000u);
}

TEST(HostileServers, EveryCaseEndsInTimeWithItsErrorEvent)
{
    QTemporaryDir dir;
    TRawTestServer plain(Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nplain"));
    const int plainPort = plain.Port();
    const QByteArray zeros(4 * 1024 * 1024, '\0');
    const QByteArray gz = Gzip(zeros);
    ASSERT_GT(gz.size(), 100);
    std::string flood1xx;
    for (int i = 0; i < 8; ++i)
        flood1xx += "HTTP/1.1 102 Processing\r\nX-Flood: " + std::string(200000, 'f') + "\r\n\r\n";
    std::string oneByteChunks;
    for (int i = 0; i < 20000; ++i)
        oneByteChunks += "1\r\n" + std::string(1, char('a' + i % 26)) + "\r\n";
    oneByteChunks += "0\r\n\r\n";

    auto byPath = [](std::map<std::string, std::string> replies) {
        return [replies](int fd, const std::string& request, const std::atomic<bool>&) {
            const std::string path = request.substr(4, request.find(' ', 4) - 4);
            auto it = replies.find(path);
            TRawTestServer::SendAll(fd, it != replies.end() ? it->second : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        };
    };
    auto noPasswd = [](TRun& run, TRawTestServer&) { EXPECT_FALSE(run.rec.body.contains("root:")); };

    const std::vector<THostileCase> cases = {
        {"silence before the status line", Silent(""), {"HostUnreachable", "AnyError"}, 3000},
        {"silence mid-headers", Silent("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"),
         {"HostUnreachable", "AnyError"}, 3000},
        {"silence mid-body", Silent("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"),
         {"ConnLost", "AnyError"}, 3000, false, {},
         [](TRun& run, TRawTestServer&) { EXPECT_EQ(run.rec.lostBytesRead, 3); }},
        {"header drip", Repeat("HTTP/1.1 200 OK\r\n", "X", 20ms), {"HostUnreachable", "AnyError"}, 3000},
        {"header lines drip", Repeat("HTTP/1.1 200 OK\r\n", "X-Drip: 1\r\n", 20ms), {"HostUnreachable", "AnyError"}, 3000},
        {"body drip", Repeat("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n", "b", 20ms),
         {"ConnLost", "AnyError"}, 3000},
        {"body drip without length", Repeat("HTTP/1.1 200 OK\r\n\r\n", "b", 20ms), {"ConnLost", "AnyError"}, 3000},
        {"endless 1xx, slow", Repeat("", "HTTP/1.1 100 Continue\r\n\r\n", 20ms), {"HostUnreachable", "AnyError"}, 3000},
        {"endless 1xx, fast", Repeat("", "HTTP/1.1 100 Continue\r\n\r\n", 0ms), {"HostUnreachable", "AnyError"}, 3000},
        {"header flood over 1xx blocks", Reply(flood1xx + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"),
         {"HostUnreachable", "AnyError"}, 3000},
        {"redirect loop", Repeat("HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n", "", 1000ms),
         {"HostUnreachable", "AnyError"}, 3000, false, {},
         [](TRun&, TRawTestServer& srv) { EXPECT_LE(srv.Connections(), 22); }},
        {"Location to file://", Reply("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n"),
         {"HTTPError", "AnyError"}, 3000, false, {}, noPasswd},
        {"Location to ftp://", Reply("HTTP/1.1 301 Moved\r\nLocation: ftp://127.0.0.1:9/x\r\nContent-Length: 0\r\n\r\n"),
         {"HTTPError", "AnyError"}, 3000},
        {"https to http", Reply("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(plainPort) +
                                "/x\r\nContent-Length: 0\r\n\r\n"),
         {"HTTPError", "AnyError"}, 3000, true, {},
         [](TRun& run, TRawTestServer&) { EXPECT_EQ(run.rec.httpError, 302); }},
        {"https, self-signed, allowed", Reply("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecure"), {"Done"}, 3000, true, {},
         [](TRun& run, TRawTestServer&) { EXPECT_EQ(run.rec.body, "secure"); }},
        {"relative Location", byPath({{"/x", "HTTP/1.1 302 Found\r\nLocation: there?q=1\r\nContent-Length: 0\r\n\r\n"},
                                      {"/there?q=1", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nhere"}}),
         {"Done"}, 3000, false, {}, [](TRun& run, TRawTestServer&) { EXPECT_EQ(run.rec.body, "here"); }},
        {"3xx without Location", Reply("HTTP/1.1 302 Found\r\nContent-Length: 4\r\n\r\nnope"), {"HTTPError", "AnyError"},
         3000, false, {}, [](TRun& run, TRawTestServer&) {
             EXPECT_EQ(run.rec.httpError, 302);
             EXPECT_EQ(run.rec.body, "nope");
         }},
        {"chunked, bad hex", Reply(Chunked("zz\r\nhello\r\n0\r\n\r\n")), {"ConnLost", "AnyError"}, 3000},
        {"chunked, overflowing size", Reply(Chunked("fffffffffffffffffffffff\r\nhello\r\n0\r\n\r\n")),
         {"ConnLost", "AnyError"}, 3000},
        {"chunked, cut before the final chunk", Reply(Chunked("5\r\nhello\r\n")), {"ConnLost", "AnyError"}, 3000, false,
         {}, [](TRun& run, TRawTestServer&) { EXPECT_EQ(run.rec.body, "hello"); }},
        {"chunked, trailer flood", Repeat(Chunked("5\r\nhello\r\n0\r\n"), "X-Trailer: " + std::string(1000, 't') + "\r\n", 0ms),
         {"ConnLost", "AnyError"}, 3000},
        {"chunked, 1-byte chunks", Reply(Chunked(oneByteChunks)), {"Done"}, 5000, false, {},
         [](TRun& run, TRawTestServer&) {
             EXPECT_EQ(run.rec.body.size(), 20000);
             // Coalesced: one event per buffer's worth at most, and the last one at the end.
             EXPECT_LE(run.rec.progress.size(), 20000u / 4096 + 2);
             ASSERT_FALSE(run.rec.progress.empty());
             EXPECT_EQ(run.rec.progress.back().bytesRead, 20000);
         }},
        {"Content-Length with chunked",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nb\r\nhello world\r\n0\r\n\r\n"),
         {"ConnLost", "AnyError"}, 3000},
        {"two conflicting Content-Length", Reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 5\r\n\r\nhello"),
         {"ConnLost", "AnyError"}, 3000},
        {"gzip body stays raw", Reply("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                      std::to_string(gz.size()) + "\r\n\r\n" + gz.toStdString()),
         {"Done"}, 3000, false, {}, [gz](TRun& run, TRawTestServer&) { EXPECT_EQ(run.rec.body, gz); }},
        {"TLS spoken to a plain port", Silent(""), {"HostUnreachable", "AnyError"}, 3000, false,
         [](TRun& run, TRawTestServer& srv) {
             run.http.URL = QString::fromStdString("https://127.0.0.1:" + std::to_string(srv.Port()) + "/x");
         }},
        {"plain HTTP to a TLS port", Silent(""), {"HostUnreachable", "AnyError"}, 3000, true,
         [](TRun& run, TRawTestServer& srv) {
             run.http.URL = QString::fromStdString("http://127.0.0.1:" + std::to_string(srv.Port()) + "/x");
         }},
        {"reset mid-body with a length", ResetAfter("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'r')),
         {"ConnLost", "AnyError"}, 3000, false, {}, {}, true},
        {"reset mid-body without a length", ResetAfter("HTTP/1.1 200 OK\r\n\r\n" + std::string(5000, 'r')),
         {"ConnLost", "AnyError"}, 3000},
        {"401 loop, always tried again",
         Reply("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"loop\"\r\nContent-Length: 4\r\n\r\nwho?"),
         {"HTTPError", "AnyError"}, 5000, false,
         [](TRun& run, TRawTestServer&) {
             run.http.OnPasswordRequest = [&run](QObject*, const QString&, bool& tryAgain) {
                 run.rec.events.push_back("PasswordRequest");
                 run.http.Username = "u";
                 run.http.Password = "p";
                 tryAgain = true;
             };
         },
         [](TRun& run, TRawTestServer&) {
             EXPECT_EQ(run.rec.httpError, 401);
             EXPECT_LE(run.rec.Count("PasswordRequest"), 10);
         }},
        {"abort during OnHeaderInfo", Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"), {"Aborted"}, 3000, false,
         [](TRun& run, TRawTestServer&) {
             run.http.OnHeaderInfo = [&run](QObject*, int, const QString&, const QString&, const QString&, const QString&,
                                            qint64, const QString&, const QDateTime&, const QDateTime&, const QDateTime&,
                                            const QString&, bool&) { run.http.Abort(true, false); };
         },
         {}, true},
        {"abort right after the last read", Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"), {"Aborted"}, 3000,
         false,
         [](TRun& run, TRawTestServer&) {
             // "Request complete" comes after the body's last byte; the main thread cancels then.
             run.http.OnStatusChange = [&run](QObject*, int code, const QString&) {
                 if (code == 100)
                     SyncToMainThread([&run] { run.http.Abort(true, false); });
             };
         },
         {}, true},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRawTestServer srv(c.handler, c.tls);
        TRun run(srv.Url("/x"));
        run.http.Timeouts.ConnectTimeout = kConnect;
        run.http.Timeouts.ReceiveTimeout = kReceive;
        run.http.Timeouts.SendTimeout = kSend;
        run.http.MaxMemoryStreamSize = kCap;
        run.http.InternetOptions.Include(ioIgnoreCertificateInvalid);
        run.http.InternetOptions.Include(ioIgnoreUnknownCertificateAuthority);
        if (c.toFile)
            run.http.OutputFileName = dir.filePath("hostile.bin");
        QFile::remove(dir.filePath("hostile.bin"));
        if (c.setUp)
            c.setUp(run, srv);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(run.http.Read());
        const bool idle = WaitIdle(run.http, c.boundMs);
        const qint64 took = clock.elapsed();
        EXPECT_TRUE(idle) << "still busy after " << c.boundMs << " ms";
        if (!idle) {
            run.http.Abort(true, true);
            continue;
        }
        Settle(20);
        EXPECT_EQ(run.rec.Outcome(), c.expected) << "took " << took << " ms";
        EXPECT_LE(run.rec.body.size(), kCap);
        if (c.expected != Outcome{"Done"}) {
            EXPECT_FALSE(run.http.LastError().isEmpty());
        }
        if (c.toFile && c.expected == Outcome{"Aborted"}) {
            EXPECT_FALSE(QFile::exists(run.http.OutputFileName));   // Abort asked to delete it
        }
        if (c.check)
            c.check(run, srv);
    }
}

TEST(HostileServers, HugeAnnouncedLengthTrickleThenAbort)
{
    // 1 GB announced, a trickle arrives: memory stays near what came, and Abort ends it at once.
    TRawTestServer srv(Repeat("HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n", std::string(1024, 'g'), 5ms));
    TRun run(srv.Url("/big"));
    run.http.Timeouts.ReceiveTimeout = kReceive;
    const long before = ResidentKiB();
    ASSERT_TRUE(run.http.Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return run.rec.Count("Progress") >= 2; }, 5000));
    EXPECT_LT(ResidentKiB() - before, 64 * 1024);
    QElapsedTimer clock;
    clock.start();
    run.http.Abort(false, false);
    ASSERT_TRUE(WaitIdle(run.http, 2000));
    EXPECT_LT(clock.elapsed(), 2000);
    Settle(50);
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"Aborted"}));
}

TEST(HostileServers, RequestSentIsReportedOncePerRequest)
{
    TRawTestServer srv(Reply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n"
                             "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    TRun run(srv.Url("/x"));
    run.http.Timeouts.ReceiveTimeout = kReceive;
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Outcome(), (Outcome{"Done"}));
    std::lock_guard lock(run.rec.StatusMutex());
    EXPECT_EQ(std::count(run.rec.statusTexts.begin(), run.rec.statusTexts.end(), QString("Request sent")), 1);
}

TEST(HostileServers, HardAbortWhileTheFileIsCreatedLeavesNoFile)
{
    // The main thread aborts the moment the file appears; the file must go whoever wins.
    QTemporaryDir dir;
    TRawTestServer srv(Silent("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab"));
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        TRun run(srv.Url("/x"));
        run.http.OutputFileName = dir.filePath("race.bin");
        run.http.Timeouts.ReceiveTimeout = kReceive;
        ASSERT_TRUE(run.http.Read());
        ASSERT_TRUE(WaitServicingEvents([&] { return QFile::exists(run.http.OutputFileName) || !run.http.Busy(); }, 3000, 0));
        run.http.Abort(true, true);
        Settle(30);
        EXPECT_FALSE(QFile::exists(run.http.OutputFileName));
        EXPECT_EQ(run.rec.Outcome(), (Outcome{"Aborted"}));
    }
}

TEST(HostileServers, NoWorkerEventOnceDestructionBegan)
{
    // A redirect loop keeps worker-side notifications coming while the component goes away.
    struct TProbe : TWinHTTP {
        std::atomic<bool>* dying;
        ~TProbe() override { *dying = true; }
    };
    TRawTestServer srv(Reply("HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n"));
    for (int i = 0; i < 10; ++i) {
        std::atomic<bool> dying{false};
        std::atomic<int> late{0}, calls{0};
        auto* http = new TProbe;
        http->dying = &dying;
        http->URL = QString::fromStdString(srv.Url("/x"));
        auto note = [&] {
            if (dying)
                ++late;
            ++calls;
            std::this_thread::sleep_for(1ms);
        };
        http->OnStatusChange = [note](QObject*, int, const QString&) { note(); };
        http->OnRedirected = [note](QObject*, const QString&) { note(); };
        ASSERT_TRUE(http->Read());
        WaitServicingEvents([&] { return calls > 5 * (i + 1); }, 3000);
        delete http;
        EXPECT_EQ(late, 0);
    }
}

TEST(HostileServers, KeptConnectionIsNeverUsedByTwoTransfersAtOnce)
{
    TMediaSite site;
    const std::string small = ServedBody(20000, 21);
    site.Add("/a", {.body = small, .keepAlive = true});
    site.Add("/slow", {.body = ServedBody(4 << 20, 22), .pieceDelayMs = 20, .keepAlive = true});
    TRun run(site.Url("/a"));
    run.http.Timeouts.ReceiveTimeout = kReceive;
    run.http.Connections = std::make_shared<TWinHTTPConnections>();
    ASSERT_TRUE(run.Go());
    run.http.URL = QString::fromStdString(site.Url("/slow"));
    run.http.OnProgress = [&run](QObject*, const QString&, qint64, qint64, qint64, qint64, quint8, float, QIODevice*) {
        run.http.Abort(false, false);
    };
    // The next transfer starts while the aborted one, blocked in this hand-over, still has the
    // connections out: it must open its own and not touch theirs.
    bool restarted = false;
    run.http.OnAborted = [&](QObject*) {
        run.http.OnProgress = nullptr;
        run.http.URL = QString::fromStdString(site.Url("/a"));
        restarted = run.http.Read();
        for (int i = 0; i < 1000 && site.Requests("/a").size() < 2; ++i)
            std::this_thread::sleep_for(5ms);
    };
    ASSERT_TRUE(run.http.Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return restarted && !run.http.Busy(); }, 15000));
    EXPECT_EQ(site.Requests("/slow").size(), 1u);
    EXPECT_EQ(site.Requests("/a").size(), 2u);
    EXPECT_EQ(run.rec.body, QByteArray::fromStdString(small));
    EXPECT_EQ(site.Connections(), 2);

    // The cache serves again once the aborted transfer has let go of it.
    run.rec.Reset();
    ASSERT_TRUE(run.Go());
    ASSERT_TRUE(run.Go());
    EXPECT_EQ(run.rec.Count("Done"), 2);
    EXPECT_EQ(site.Connections(), 3);
    run.http.Connections->Close();
    EXPECT_TRUE(WaitServicingEvents([&] { return site.OpenConnections() == 0; }, 5000));
}
