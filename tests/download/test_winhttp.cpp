// Transfers against real servers on 127.0.0.1: outcomes, events, their order and threads.
#include "HttpRecorder.h"
#include "TestServers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using Outcome = std::vector<std::string>;

namespace {

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (i * 7) % 26);
    return s;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Serves `total` bytes in 1 KB pieces, one every `delayMs`, until the test server stops.
void SlowBody(THttpTestServer& srv, const std::string& path, size_t total, int delayMs, bool withLength)
{
    auto provider = [&srv, total, delayMs](size_t offset, httplib::DataSink& sink) {
        if (srv.stopping || offset >= total) {
            if (offset >= total)
                sink.done();
            return offset < total ? false : true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        const std::string piece(std::min<size_t>(1024, total - offset), 's');
        return sink.write(piece.data(), piece.size());
    };
    srv.server.Get(path, [=](const httplib::Request&, httplib::Response& res) {
        if (withLength)
            res.set_content_provider(total, "application/octet-stream",
                                     [provider](size_t offset, size_t, httplib::DataSink& sink) { return provider(offset, sink); });
        else
            res.set_chunked_content_provider("application/octet-stream", [provider, total](size_t offset, httplib::DataSink& sink) {
                if (offset >= total) {
                    sink.done();
                    return true;
                }
                return provider(offset, sink);
            });
    });
}

class WinHTTPTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        body = Pattern(300000);
        srv.server.Get("/data", [this](const httplib::Request& req, httplib::Response& res) {
            lastRange = req.get_header_value("Range");
            res.set_header("ETag", "\"v1\"");
            res.set_header("Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT");
            res.set_content(body, "application/octet-stream");
        });
        srv.server.Get("/chunked", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [this](size_t offset, httplib::DataSink& sink) {
                if (offset >= body.size()) {
                    sink.done();
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return sink.write(body.data() + offset, std::min<size_t>(8192, body.size() - offset));
            });
        });
        srv.server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>no such page</html>", "text/html");
        });
        srv.server.Get("/old", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/new"); });
        srv.server.Get("/new", [](const httplib::Request&, httplib::Response& res) { res.set_content("moved here", "text/plain"); });
        srv.server.Get("/secret", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") == "Basic dXNlcjpwdw==") {   // user:pw
                res.set_content("top secret", "text/plain");
                return;
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"vornic test\"");
            res.set_content("denied", "text/plain");
        });
        srv.server.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Content-Type") + "|" + req.body, "text/plain");
        });
        SlowBody(srv, "/slow", 10 * 1024 * 1024, 20, true);
        SlowBody(srv, "/finite", 40 * 1024, 10, true);
        srv.Start();
        rec.Attach(http);
        ASSERT_TRUE(dir.isValid());
    }

    bool Fetch(const std::string& path)
    {
        http.URL = Q(srv.Url(path));
        if (!http.Read())
            return false;
        return WaitIdle(http);
    }

    std::string body;
    std::string lastRange;
    THttpTestServer srv;
    TWinHTTP http;
    THttpRecorder rec;
    QTemporaryDir dir;
};

} // namespace

TEST_F(WinHTTPTest, KnownLengthArrivesWhole)
{
    ASSERT_TRUE(Fetch("/data"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(rec.body.toStdString(), body);
    EXPECT_TRUE(rec.doneHadStream);
    EXPECT_EQ(rec.doneSize, qint64(body.size()));
    EXPECT_EQ(rec.contentType, "application/octet-stream");
    ASSERT_FALSE(rec.progress.empty());
    EXPECT_EQ(rec.progress.back().percent, 100);
    EXPECT_EQ(rec.progress.back().dataSize, qint64(body.size()));
    EXPECT_EQ(rec.progress.back().bytesRead, qint64(body.size()));
    EXPECT_TRUE(rec.wrongThread.empty()) << rec.wrongThread.front();
    EXPECT_EQ(rec.beforeSend, 1);
    EXPECT_TRUE(rec.SawStatus("Connecting to server"));
    EXPECT_TRUE(rec.SawStatus("Response received"));
    EXPECT_TRUE(rec.SawStatus("Request complete"));
    EXPECT_TRUE(http.LastError().isEmpty());
}

TEST_F(WinHTTPTest, UnknownLengthGivesZeroPercentAndNegativeEstimate)
{
    ASSERT_TRUE(Fetch("/chunked"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(rec.body.toStdString(), body);
    ASSERT_FALSE(rec.progress.empty());
    for (const auto& p : rec.progress) {
        EXPECT_EQ(p.percent, 0);
        EXPECT_EQ(p.dataSize, 0);
        EXPECT_EQ(p.estimate, -p.elapsed);
    }
}

TEST_F(WinHTTPTest, RangeAsksForPartAndGets206)
{
    http.Range.StartRange = 10;
    http.Range.EndRange = 19;
    int status = 0;
    http.OnHeaderInfo = [&](QObject*, int code, const QString&, const QString&, const QString&, const QString&, qint64,
                            const QString&, const QDateTime&, const QDateTime&, const QDateTime&, const QString&,
                            bool&) { status = code; };
    ASSERT_TRUE(Fetch("/data"));
    EXPECT_EQ(lastRange, "bytes=10-19");
    EXPECT_EQ(status, 206);
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(rec.body.toStdString(), body.substr(10, 10));

    // Only a start: open-ended range.
    http.Range.EndRange = 0;
    http.Range.StartRange = 299990;
    rec.Reset();
    rec.Attach(http);
    ASSERT_TRUE(Fetch("/data"));
    EXPECT_EQ(lastRange, "bytes=299990-");
    EXPECT_EQ(rec.body.toStdString(), body.substr(299990));
}

TEST_F(WinHTTPTest, NotFoundDeliversErrorPageThenAnyError)
{
    http.OutputFileName = dir.filePath("page.html");
    ASSERT_TRUE(Fetch("/missing"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"HTTPError", "AnyError"}));
    EXPECT_EQ(rec.httpError, 404);
    EXPECT_EQ(rec.body, "<html>no such page</html>");
    EXPECT_FALSE(QFile::exists(http.OutputFileName));
}

TEST_F(WinHTTPTest, ConnectionRefusedIsHostUnreachable)
{
    int port = 0;
    {
        THttpTestServer closed;   // a port that was just free
        port = closed.Start();
    }
    http.URL = QStringLiteral("http://127.0.0.1:%1/x").arg(port);
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitIdle(http));
    EXPECT_EQ(rec.Outcome(), (Outcome{"HostUnreachable", "AnyError"}));
    EXPECT_FALSE(http.LastError().isEmpty());
}

TEST_F(WinHTTPTest, RedirectIsFollowedAndReported)
{
    ASSERT_TRUE(Fetch("/old"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(rec.body, "moved here");
    ASSERT_EQ(rec.redirects.size(), 1u);
    EXPECT_EQ(rec.redirects[0], Q(srv.Url("/new")));
    EXPECT_TRUE(rec.SawStatus("Redirect"));
    EXPECT_TRUE(rec.wrongThread.empty());

    http.InternetOptions.Include(ioNoAutoRedirect);
    rec.Reset();
    rec.Attach(http);
    ASSERT_TRUE(Fetch("/old"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"HTTPError", "AnyError"}));
    EXPECT_EQ(rec.httpError, 302);
}

TEST_F(WinHTTPTest, PasswordRequestAnswersChallenge)
{
    QString realm;
    int asked = 0;
    http.OnPasswordRequest = [&](QObject*, const QString& r, bool& tryAgain) {
        EXPECT_TRUE(IsMainThread());
        realm = r;
        ++asked;
        http.Username = "user";
        http.Password = "pw";
        tryAgain = asked == 1;
    };
    ASSERT_TRUE(Fetch("/secret"));
    EXPECT_EQ(realm, "vornic test");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(rec.body, "top secret");

    // Declined: the 401 page is the error.
    http.Username.clear();
    http.Password.clear();
    http.OnPasswordRequest = [&](QObject*, const QString&, bool& tryAgain) { tryAgain = false; };
    rec.Reset();
    rec.Attach(http);
    ASSERT_TRUE(Fetch("/secret"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"HTTPError", "AnyError"}));
    EXPECT_EQ(rec.httpError, 401);
    EXPECT_EQ(rec.body, "denied");

    // Credentials in the address need no question.
    rec.Reset();
    rec.Attach(http);
    http.URL = QStringLiteral("http://user:pw@127.0.0.1:%1/secret").arg(srv.Port());
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitIdle(http));
    EXPECT_EQ(rec.body, "top secret");
}

TEST_F(WinHTTPTest, SoftAbortGivesExactlyOneAbortedEvent)
{
    http.OutputFileName = dir.filePath("slow.bin");
    bool requested = false;
    http.OnProgress = [&](QObject*, const QString&, qint64, qint64 read, qint64, qint64, quint8, float, QIODevice*) {
        rec.events.push_back("Progress");
        if (read >= 4096 && !requested) {
            requested = true;
            http.Abort(false, false);
        }
    };
    http.URL = Q(srv.Url("/slow"));
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitIdle(http, 10000));
    Settle(300);
    EXPECT_EQ(rec.Outcome(), (Outcome{"Aborted"}));
    EXPECT_TRUE(QFile::exists(http.OutputFileName));   // kept unless asked to delete

    // The component is reusable at once.
    rec.Reset();
    rec.Attach(http);
    http.OutputFileName.clear();
    ASSERT_TRUE(Fetch("/data"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
}

TEST_F(WinHTTPTest, SoftAbortCanDeleteTheOutputFile)
{
    http.OutputFileName = dir.filePath("soft.bin");
    http.URL = Q(srv.Url("/slow"));
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return rec.Count("Progress") >= 3; }, 10000));
    http.Abort(true, false);
    ASSERT_TRUE(WaitIdle(http, 10000));
    Settle(300);
    EXPECT_EQ(rec.Outcome(), (Outcome{"Aborted"}));
    EXPECT_FALSE(QFile::exists(http.OutputFileName));
}

TEST_F(WinHTTPTest, HardAbortFiresAbortedAtOnceAndNothingAfter)
{
    http.OutputFileName = dir.filePath("hard.bin");
    http.URL = Q(srv.Url("/slow"));
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return rec.Count("Progress") >= 3; }, 10000));
    http.Abort(false, true);
    EXPECT_FALSE(http.Busy());
    EXPECT_EQ(rec.Outcome(), (Outcome{"Aborted"}));
    const int progressSoFar = rec.Count("Progress");
    Settle(500);
    EXPECT_EQ(rec.Outcome(), (Outcome{"Aborted"}));
    EXPECT_EQ(rec.Count("Progress"), progressSoFar);
    EXPECT_TRUE(QFile::exists(http.OutputFileName));

    // Hard, deleting the file, then straight into the next transfer.
    rec.Reset();
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return rec.Count("Progress") >= 1; }, 10000));
    http.Abort(true, true);
    EXPECT_FALSE(QFile::exists(http.OutputFileName));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Aborted"}));
    rec.Reset();
    http.OutputFileName.clear();
    ASSERT_TRUE(Fetch("/data"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
}

TEST_F(WinHTTPTest, ReadWhileBusyIsRefusedAndTransferCarriesOn)
{
    http.URL = Q(srv.Url("/finite"));
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return rec.Count("Progress") >= 1; }, 10000));
    const QString url = http.URL;
    http.URL = Q(srv.Url("/data"));
    EXPECT_FALSE(http.Read());
    EXPECT_TRUE(http.Busy());
    http.URL = url;
    ASSERT_TRUE(WaitIdle(http));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(rec.body.size(), 40 * 1024);
}

TEST_F(WinHTTPTest, OutputFileGetsBodyAndCompleteAttributes)
{
    http.OutputFileName = dir.filePath("out.bin");
    http.OutputFileAttributes.Complete = {atrArchive, atrReadOnly};
    ASSERT_TRUE(Fetch("/data"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_FALSE(rec.doneHadStream);
    QFile f(http.OutputFileName);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), body);
    EXPECT_TRUE(http.OutputFileAttributesInEffect() == (TFileAttributes{atrArchive, atrReadOnly}));
    EXPECT_FALSE(QFileInfo(http.OutputFileName).permissions() & QFileDevice::WriteOwner);
}

TEST_F(WinHTTPTest, OutputFileThatCannotBeCreatedIsReported)
{
    for (const char* path : {"/data", "/chunked"}) {
        SCOPED_TRACE(path);
        rec.Reset();
        rec.Attach(http);
        http.OutputFileName = dir.filePath("no/such/folder/out.bin");
        ASSERT_TRUE(Fetch(path));
        EXPECT_EQ(rec.Outcome(), (Outcome{"AnyError", "OutputFileError"}));
        EXPECT_EQ(rec.Count("Progress"), 0);
        EXPECT_TRUE(http.LastError().contains("output file"));
    }
}

TEST_F(WinHTTPTest, HeaderInfoCanStopTheDownload)
{
    QString etag, type;
    qint64 length = -1;
    QDateTime modified;
    http.OnHeaderInfo = [&](QObject*, int code, const QString& raw, const QString& ct, const QString&, const QString&,
                            qint64 contentLength, const QString&, const QDateTime&, const QDateTime& m,
                            const QDateTime&, const QString& e, bool& continueDownload) {
        EXPECT_EQ(code, 200);
        EXPECT_TRUE(raw.startsWith("HTTP/1.1 200"));
        type = ct;
        length = contentLength;
        modified = m;
        etag = e;
        continueDownload = false;
    };
    http.OutputFileName = dir.filePath("never.bin");
    ASSERT_TRUE(Fetch("/data"));
    EXPECT_EQ(rec.Outcome(), (Outcome{"DoneInterrupted"}));
    EXPECT_EQ(rec.Count("Progress"), 0);
    EXPECT_EQ(type, "application/octet-stream");
    EXPECT_EQ(length, qint64(body.size()));
    EXPECT_EQ(etag, "\"v1\"");
    EXPECT_EQ(modified, QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), QTimeZone::utc()).toLocalTime());
    EXPECT_FALSE(QFile::exists(http.OutputFileName));
}

TEST_F(WinHTTPTest, AddressWithoutSchemeIsTakenAsHttp)
{
    http.URL = QStringLiteral("127.0.0.1:%1/new").arg(srv.Port());
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitIdle(http));
    EXPECT_EQ(rec.body, "moved here");
}

TEST_F(WinHTTPTest, PostSendsFormBody)
{
    http.POSTData = "a=1&b=two";
    ASSERT_TRUE(Fetch("/echo"));
    EXPECT_EQ(rec.body, "application/x-www-form-urlencoded|a=1&b=two");
}

TEST_F(WinHTTPTest, LocalFileAddresses)
{
    const QString path = dir.filePath("local file.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("local content");
    f.close();
    http.URL = "file://" + QString(path).replace(" ", "%20");
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitIdle(http));
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_EQ(rec.body, "local content");

    rec.Reset();
    rec.Attach(http);
    http.URL = "file://" + dir.filePath("absent.txt");
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitIdle(http));
    EXPECT_EQ(rec.Outcome(), (Outcome{"HTTPError", "AnyError"}));
    EXPECT_EQ(rec.httpError, 404);
}

TEST_F(WinHTTPTest, ThrowingCompletionHandlerLeavesComponentIdle)
{
    http.OnDone = [&](QObject*, const QString&, qint64, QIODevice*) {
        rec.events.push_back("Done");
        throw std::runtime_error("handler failed");
    };
    bool busyInAnyError = true;
    http.OnAnyError = [&](QObject*) {
        rec.events.push_back("AnyError");
        busyInAnyError = http.Busy();
    };
    ASSERT_TRUE(Fetch("/new"));
    Settle(100);
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done", "AnyError"}));
    EXPECT_FALSE(busyInAnyError);
    EXPECT_FALSE(http.Busy());

    http.OnDone = nullptr;
    rec.events.clear();
    ASSERT_TRUE(Fetch("/new"));
    EXPECT_TRUE(rec.Outcome().empty());   // OnDone unassigned, no error
}

TEST_F(WinHTTPTest, ForcedWaitReturnsAfterCompletion)
{
    http.URL = Q(srv.Url("/new"));
    EXPECT_TRUE(http.Read(true));
    EXPECT_FALSE(http.Busy());
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
    EXPECT_FALSE(http.WaitThread());
}

TEST_F(WinHTTPTest, WaitTimeoutCanStopAForcedWait)
{
    http.SetWaitTimeout(200);
    int asked = 0;
    http.OnWaitTimeoutExpired = [&](QObject*, bool& terminate) {
        ++asked;
        EXPECT_TRUE(terminate);
    };
    http.URL = Q(srv.Url("/slow"));
    http.OnProgress = nullptr;   // no hand-overs: nothing restarts the wait
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(http.Read(true));
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(http.Busy());
    Settle(300);
    EXPECT_TRUE(rec.Outcome().empty());
    ASSERT_TRUE(Fetch("/new"));   // usable again
    EXPECT_EQ(rec.Outcome(), (Outcome{"Done"}));
}
