// label: sanitize
// What one download run keeps and sweeps around its transfers, against servers on 127.0.0.1:
// cookies from the page to the media, error replies kept small, temporary files abandoned by
// earlier runs, and the texts of the status box.
#include "DownloadRun.h"
#include "StalePartials.h"
#include "TestServers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A watch page in the form the page reader understands.
std::string Page(const std::string& title)
{
    return "<html><head><meta name=\"title\" content=\"" + title + "\"></head><body><script>"
           "var args = \"video_id=v1&l=1&t=tok1&sk=1\";</script></body></html>\n";
}

class RunSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        run.Settings.OutputURLDir = dir.path() + QLatin1Char('/');
        run.Settings.ReceiveTimeoutMs = 5000;
        run.Settings.ConnectTimeoutMs = 2000;
        run.OnFinished = [this](QObject*) { ++finished; };
        run.OnStatusChanged = [this](QObject*) { currentFiles << run.StatusBox().CurrentFile; };
    }
    void TearDown() override { qunsetenv("VORNIC_VIDEO_HOST"); }

    // Serves until the test ends; the media host is this server.
    void Start()
    {
        http.Start();
        qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString("127.0.0.1:" + std::to_string(http.Port())));
    }
    QString Link() const { return Q(http.Url("/watch?v=v1")); }

    bool Run(const QStringList& links)
    {
        finished = 0;
        run.FillDownloadList(links);
        run.StartDownloadRun();
        QElapsedTimer clock;
        clock.start();
        while (finished == 0 && clock.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return finished == 1;
    }
    QStringList Files() const
    {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System |
                                                       QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end());
        return names;
    }

    THttpTestServer http;
    QTemporaryDir dir;
    TDownloadRun run;
    int finished = 0;
    QStringList currentFiles;
};

TEST_F(RunSession, PageCookiesReachTheMediaAndEndWithTheRun)
{
    std::mutex mutex;
    std::vector<std::string> pageCookies, mediaCookies;
    http.server.Get("/watch", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard lock(mutex);
            pageCookies.push_back(req.get_header_value("Cookie"));
        }
        res.set_header("Set-Cookie", "session=s3cret; Path=/");
        res.set_content(Page("Guarded"), "text/html");
    });
    http.server.Get("/get_video", [&](const httplib::Request& req, httplib::Response& res) {
        const std::string cookie = req.get_header_value("Cookie");
        {
            std::lock_guard lock(mutex);
            mediaCookies.push_back(cookie);
        }
        if (cookie.find("session=s3cret") == std::string::npos) {
            res.status = 403;
            return;
        }
        res.set_content(std::string(5000, 'm'), "video/mp4");
    });
    Start();

    ASSERT_TRUE(Run({Link()}));
    ASSERT_EQ(run.SucceededURLs, 1) << run.Rows()[0].Reasons.join('\n').toStdString();
    EXPECT_EQ(run.Rows()[0].SavedQuality, QStringLiteral("[HQ18]"));
    ASSERT_EQ(mediaCookies.size(), 1u);
    EXPECT_EQ(QFile(run.Rows()[0].SavedPath).size(), 5000);

    // A new run starts with an empty jar: its page request carries nothing of the first.
    ASSERT_TRUE(Run({Link()}));
    ASSERT_EQ(pageCookies.size(), 2u);
    EXPECT_EQ(pageCookies[0], "");
    EXPECT_EQ(pageCookies[1], "");
    EXPECT_EQ(run.SucceededURLs, 1);
}

TEST_F(RunSession, LongErrorReplyIsCutAtThePageLimitAndTheNextQualityTried)
{
    // A 404 whose body has no announced length and would run to 256 MB.
    constexpr size_t kErrorBody = 256u << 20;
    std::atomic<size_t> errorBytesSent{0};
    http.server.Get("/watch", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Page("Second best"), "text/html");
    });
    http.server.Get("/get_video", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("fmt") != "18") {
            res.set_content(std::string(3000, 'x'), "video/mp4");
            return;
        }
        res.status = 404;
        res.set_chunked_content_provider("text/html", [&](size_t offset, httplib::DataSink& sink) {
            static const std::string piece(256 * 1024, 'e');
            if (offset >= kErrorBody || http.stopping || !sink.write(piece.data(), piece.size()))
                return false;
            errorBytesSent += piece.size();
            if (offset + piece.size() >= kErrorBody)
                sink.done();
            return true;
        });
    });
    Start();

    ASSERT_TRUE(Run({Link()}));
    ASSERT_EQ(run.SucceededURLs, 1);
    EXPECT_EQ(run.Rows()[0].SavedQuality, QStringLiteral("[HQ35]"));
    ASSERT_FALSE(run.Rows()[0].Reasons.isEmpty());
    const QString reason = run.Rows()[0].Reasons.first();
    EXPECT_TRUE(reason.startsWith(QStringLiteral("[HQ18]: The server answered with status 404"))) << reason.toStdString();
    // The page limit plus what the sockets hold, nowhere near the whole body.
    EXPECT_LT(errorBytesSent.load(), size_t(64) << 20);
}

TEST_F(RunSession, StartSweepsOnlyOurTemporaryFilesOlderThanADay)
{
    // Every quality missing: the row fails quickly and never creates a temporary file of its own.
    http.server.Get("/watch", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Page("Missing"), "text/html");
    });
    http.server.Get("/get_video", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    Start();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto make = [&](const QString& name, qint64 ageSeconds) {
        QFile file(QDir(dir.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("partial");
        file.flush();   // a later flush would make the file new again
        ASSERT_TRUE(file.setFileTime(now.addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    };
    const qint64 day = StalePartialAgeSeconds;
    make(QStringLiteral(".vornic-Ab12Cd.part"), 2 * day);         // a crashed run's: goes
    make(QStringLiteral(".vornic-download.part"), day + 60);      // the fallback name: goes
    make(QStringLiteral(".vornic-Yg34Hj.part"), day - 3600);      // another run may be writing it
    make(QStringLiteral("holiday.part"), 3 * day);                // not ours
    make(QStringLiteral(".vornic-notes.txt"), 3 * day);
    make(QStringLiteral(".VORNIC-Zz99Zz.PART"), 3 * day);
    make(QStringLiteral("target.bin"), 3 * day);
    ASSERT_TRUE(QFile::link(QStringLiteral("target.bin"), QDir(dir.path()).filePath(QStringLiteral(".vornic-link1.part"))));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral(".vornic-dir123.part")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sub")));
    QFile nested(QDir(dir.path()).filePath(QStringLiteral("sub/.vornic-Qq11Qq.part")));
    ASSERT_TRUE(nested.open(QIODevice::WriteOnly));
    nested.write("x");
    nested.flush();
    ASSERT_TRUE(nested.setFileTime(now.addSecs(-3 * day), QFileDevice::FileModificationTime));
    nested.close();

    ASSERT_TRUE(Run({Link()}));
    EXPECT_EQ(run.SucceededURLs, 0);
    EXPECT_EQ(Files(), (QStringList{".VORNIC-Zz99Zz.PART", ".vornic-Yg34Hj.part", ".vornic-dir123.part",
                                    ".vornic-link1.part", ".vornic-notes.txt", "holiday.part", "sub",
                                    "target.bin"}));
    EXPECT_TRUE(nested.exists());
    EXPECT_EQ(RemoveStalePartials(QString()), 0);
}

TEST_F(RunSession, StatusBoxShowsTheTitleAsItIsAndTheSpeedWithFractions)
{
    http.server.Get("/watch", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Page("Tom &amp; Jerry &amp; Co"), "text/html");
    });
    http.server.Get("/get_video", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(2000, 'v'), "video/mp4");
    });
    Start();

    ASSERT_TRUE(Run({Link()}));
    ASSERT_EQ(run.SucceededURLs, 1);
    EXPECT_TRUE(currentFiles.contains(QStringLiteral("Tom & Jerry & Co")));
    for (const QString& text : currentFiles)
        EXPECT_FALSE(text.contains(QStringLiteral("&&"))) << text.toStdString();
    // The row and the saved name keep their doubled first ampersand.
    EXPECT_EQ(QFileInfo(run.Rows()[0].SavedPath).fileName(), QStringLiteral("Tom && Jerry & Co.mp4"));

    EXPECT_EQ(TDownloadRun::SpeedText(1536, 0), QStringLiteral("1.50 KB/s"));
    EXPECT_EQ(TDownloadRun::SpeedText(3072, 2), QStringLiteral("1.50 KB/s"));
    EXPECT_EQ(TDownloadRun::SpeedText(1000, 0), QStringLiteral("0.98 KB/s"));
    EXPECT_EQ(TDownloadRun::SpeedText(0, 5), QStringLiteral("0.00 KB/s"));
}

} // namespace
