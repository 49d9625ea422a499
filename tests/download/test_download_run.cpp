// label: sanitize
// The download run against a stand-in video service on 127.0.0.1: quality fallback, names of
// saved files, failures of every kind, cancel, and what the server sees.
#include "DownloadRun.h"
#include "DownloadRunSupport.h"
#include "StandInExtractor.h"
#include "TestSupport.h"
#include "VideoServer.h"
#include "VideoService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::string Media(size_t n, char seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char(seed + (i * 31) % 97);
    return s;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

class DownloadRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(server.Host()));
        run.Settings.OutputURLDir = dir.path() + QLatin1Char('/');
        run.Settings.ReceiveTimeoutMs = 2000;
        run.Settings.ConnectTimeoutMs = 2000;
        run.OnStatusChanged = [this](QObject*) {
            const QString q = run.StatusBox().Quality;
            if (qualityLabels.isEmpty() || qualityLabels.last() != q)
                qualityLabels << q;
        };
        run.OnRowEnded = [this](QObject*, int row, bool saved) { ended << qMakePair(row, saved); };
        run.OnFinished = [this](QObject*) { ++finished; };
    }
    void TearDown() override { qunsetenv("VORNIC_VIDEO_HOST"); }

    // Runs the links to the end; false when the run did not finish within the bound.
    bool Run(const QStringList& links, int boundMs = 20000)
    {
        return RunLinksToEnd(run, links, finished, boundMs, elapsedMs);
    }
    QStringList Files() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString Link(const std::string& id) const { return Q(server.WatchUrl(id)); }

    // Pages that fail or carry no parameters go to the extractor: a stand-in that knows no video.
    TStandInExtractor extractor;
    TVideoTestServer server;
    QTemporaryDir dir;
    TDownloadRun run;
    QStringList qualityLabels;
    QList<QPair<int, bool>> ended;
    int finished = 0;
    bool cancelled = false;
    qint64 elapsedMs = 0;
};

} // namespace

TEST_F(DownloadRunTest, FallsBackThroughTheSlotsToTheFirstServedQuality)
{
    const mode_t mask = umask(022);
    const std::string body = Media(300 * 1024, 'a');
    server.Add("hd", {.title = "Clip", .media = {{22, body}}});
    ASSERT_TRUE(Run({Link("hd")}));

    EXPECT_EQ(server.MediaFormats("hd"), (std::vector<std::string>{"18", "35", "22"}));
    EXPECT_TRUE(qualityLabels.contains(QStringLiteral("[HQ18] failed, try next: [HQ35]")));
    EXPECT_TRUE(qualityLabels.contains(QStringLiteral("[HQ35] failed, try next: [HQ22]")));
    EXPECT_EQ(run.SucceededURLs, 1);
    ASSERT_EQ(run.DownloadedFiles.size(), 1);
    EXPECT_EQ(run.DownloadedFiles[0], dir.filePath(QStringLiteral("Clip.mp4")));
    EXPECT_EQ(FileBytes(run.DownloadedFiles[0]), QByteArray::fromStdString(body));
    EXPECT_EQ(run.Rows()[0].SavedQuality, QStringLiteral("[HQ22]"));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("Clip.mp4")});   // no temporary file left
    // Saved like any new file under the usual mask, not private like the temporary one.
    EXPECT_EQ(QFile::permissions(run.DownloadedFiles[0]) & ~(QFile::ReadUser | QFile::WriteUser),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);

    for (const TVideoRequest& r : server.Requests()) {
        EXPECT_EQ(r.agent, "[Quorvanex]");
        EXPECT_EQ(r.accept, "*/*");
    }
    umask(mask);
}

TEST_F(DownloadRunTest, DefaultQualityOnlyFailsWithPreferenceAndSavesFlvWithout)
{
    server.Add("sd", {.title = "Old", .media = {{0, Media(1000, 'b')}}});
    ASSERT_TRUE(Run({Link("sd")}));
    EXPECT_EQ(server.MediaFormats("sd").size(), 8u);   // every slot, never the default
    EXPECT_EQ(run.Rows()[0].Status, QStringLiteral("Failed."));
    EXPECT_EQ(run.Rows()[0].Reasons.size(), 8);
    EXPECT_EQ(run.SucceededURLs, 0);
    EXPECT_TRUE(Files().isEmpty());

    TDownloadRun plain;
    plain.Settings = run.Settings;
    plain.Settings.PreferYouTubeQuality = false;
    bool done = false;
    plain.OnFinished = [&](QObject*) { done = true; };
    plain.FillDownloadList({Link("sd")});
    plain.StartDownloadRun();
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(done);
    EXPECT_EQ(server.MediaFormats("sd").size(), 9u);
    EXPECT_EQ(server.MediaFormats("sd").back(), "");
    EXPECT_EQ(plain.DownloadedFiles, QStringList{dir.filePath(QStringLiteral("Old.flv"))});
}

TEST_F(DownloadRunTest, BrokenPagesFailTheirRowAndTheRunGoesOn)
{
    server.Add("gone", {.title = "Gone", .pageStatus = 404});
    server.Add("bare", {.title = "Bare", .hasParams = false, .media = {{18, "x"}}});
    server.Add("ok", {.title = "Fine", .media = {{18, Media(5000, 'c')}}});
    ASSERT_TRUE(Run({Link("gone"), Link("bare"), Link("ok")}));
    EXPECT_EQ(run.TotalURLs, 3);
    EXPECT_EQ(run.SucceededURLs, 1);
    // A page that cannot be fetched, or has no parameters, is the extractor's to resolve.
    EXPECT_EQ(run.Rows()[0].Status, QStringLiteral("Failed."));
    EXPECT_TRUE(run.Rows()[0].Reasons.value(0).startsWith(QStringLiteral("page: ")));
    EXPECT_TRUE(run.Rows()[0].Reasons.value(1).startsWith(QStringLiteral("extractor: ERROR: Unsupported URL")));
    EXPECT_TRUE(run.Rows()[1].ByExtractor);
    EXPECT_EQ(run.Rows()[1].Reasons.size(), 1);
    EXPECT_EQ(run.Rows()[1].Status, QStringLiteral("Failed."));
    EXPECT_TRUE(server.MediaFormats("bare").empty());
    EXPECT_FALSE(run.Rows()[2].ByExtractor);
    EXPECT_EQ(run.Rows()[2].Status, QStringLiteral("Finish."));
    EXPECT_EQ(ended, (QList<QPair<int, bool>>{{0, false}, {1, false}, {2, true}}));
}

TEST_F(DownloadRunTest, TitlesBecomeValidUniqueNames)
{
    const std::string longTitle(300, 'L');
    server.Add("none1", {.hasTitle = false, .media = {{18, "1"}}});
    server.Add("none2", {.hasTitle = false, .media = {{18, "2"}}});
    server.Add("same1", {.title = "Twin", .media = {{18, "3"}}});
    server.Add("same2", {.title = "Twin", .media = {{18, "4"}}});
    server.Add("amp", {.title = "Tom &amp; Jerry &amp; Co", .media = {{18, "5"}}});
    server.Add("slash", {.title = "AC/DC?", .media = {{18, "6"}}});
    server.Add("quote", {.title = "Say &amp;quot;hi&amp;quot;", .media = {{18, "7"}}});
    server.Add("nul", {.title = std::string("a\0b\x01" "c", 5), .media = {{18, "8"}}});
    server.Add("long", {.title = longTitle, .media = {{18, "9"}}});
    server.Add("utf8", {.title = "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", .media = {{18, "10"}}});
    server.Add("dots", {.title = "..", .media = {{18, "11"}}});
    const QStringList ids = {"none1", "none2", "same1", "same2", "amp", "slash", "quote", "nul", "long", "utf8", "dots"};
    QStringList links;
    for (const QString& id : ids)
        links << Link(id.toStdString());
    ASSERT_TRUE(Run(links, 40000));
    ASSERT_EQ(run.SucceededURLs, ids.size());

    auto name = [&](int i) { return QFileInfo(run.DownloadedFiles[i]).fileName(); };
    EXPECT_EQ(name(0), QStringLiteral(".mp4"));
    EXPECT_EQ(name(1), QStringLiteral("(1).mp4"));
    EXPECT_EQ(name(2), QStringLiteral("Twin.mp4"));
    EXPECT_EQ(name(3), QStringLiteral("Twin(1).mp4"));
    EXPECT_EQ(run.Rows()[4].Name, QStringLiteral("Tom && Jerry & Co"));   // the first one doubled
    EXPECT_EQ(name(4), QStringLiteral("Tom && Jerry & Co.mp4"));
    EXPECT_EQ(name(5), QStringLiteral("AC_DC_.mp4"));
    EXPECT_EQ(run.Rows()[6].Name, QStringLiteral("Say \"hi\""));
    EXPECT_EQ(name(6), QStringLiteral("Say _hi_.mp4"));
    EXPECT_EQ(name(7), QStringLiteral("a_b_c.mp4"));
    EXPECT_LE(name(8).toUtf8().size(), 255 - 7);
    EXPECT_TRUE(name(8).startsWith(QStringLiteral("LLLL")));
    EXPECT_TRUE(name(8).endsWith(QStringLiteral(".mp4")));
    EXPECT_EQ(name(9), QString::fromUtf8("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.mp4"));
    EXPECT_EQ(name(10), QStringLiteral("_.mp4"));
    for (const QString& file : run.DownloadedFiles)
        EXPECT_EQ(QFileInfo(file).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
}

TEST_F(DownloadRunTest, MediaThatCannotBeWrittenFailsAndLeavesNothing)
{
    // A file where the folder should be: nothing can be created inside it, even as root.
    const QString notAFolder = dir.filePath(QStringLiteral("plain-file"));
    QFile f(notAFolder);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    run.Settings.OutputURLDir = notAFolder + QLatin1Char('/');
    server.Add("w", {.title = "W", .media = {{18, "data"}, {35, "data"}}});
    ASSERT_TRUE(Run({Link("w")}));
    EXPECT_EQ(run.SucceededURLs, 0);
    EXPECT_TRUE(run.DownloadedFiles.isEmpty());
    EXPECT_EQ(Files(), QStringList{QStringLiteral("plain-file")});
}

TEST_F(DownloadRunTest, BodyCutShortAndSilentServerFailWithinBounds)
{
    server.Add("silent", {.title = "Silent", .pageDelayMs = 15000});
    run.Settings.PreferYouTubeQuality = false;
    server.Add("cut0", {.title = "Cut0", .media = {{0, Media(400 * 1024, 'd')}}, .cutAfter = 100 * 1024});
    ASSERT_TRUE(Run({Link("cut0"), Link("silent")}, 15000));
    EXPECT_LT(elapsedMs, 10000);   // the 2 s receive timeout, not the server's 15 s
    EXPECT_EQ(run.SucceededURLs, 0);
    EXPECT_EQ(run.Rows()[0].Status, QStringLiteral("Failed."));
    EXPECT_EQ(run.Rows()[1].Status, QStringLiteral("Failed."));
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(DownloadRunTest, CancelDuringRowThreeOfFiveKeepsTheCountsReached)
{
    for (const char* id : {"c1", "c2", "c4", "c5"})
        server.Add(id, {.title = id, .media = {{18, Media(2000, 'e')}}});
    server.Add("c3", {.title = "c3", .media = {{18, Media(4 * 1024 * 1024, 'f')}}, .chunkDelayMs = 50});
    run.OnStatusChanged = [this](QObject*) {
        if (run.CurrentURLIndex == 2 && run.StatusBox().Status == QStringLiteral("Downloading...") && !cancelled) {
            cancelled = true;
            run.Cancel();
        }
    };
    ASSERT_TRUE(Run({Link("c1"), Link("c2"), Link("c3"), Link("c4"), Link("c5")}));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(run.TotalURLs, 5);
    EXPECT_EQ(run.SucceededURLs, 2);
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("c1.mp4"), QStringLiteral("c2.mp4")}));
    EXPECT_TRUE(server.MediaFormats("c4").empty());
}

TEST_F(DownloadRunTest, CancelBetweenRowsEndsTheRun)
{
    for (const char* id : {"b1", "b2", "b3"})
        server.Add(id, {.title = id, .media = {{18, "media"}}});
    run.OnRowEnded = [this](QObject*, int row, bool) {
        if (row == 0)
            QTimer::singleShot(0, [this] { run.Cancel(); });
    };
    ASSERT_TRUE(Run({Link("b1"), Link("b2"), Link("b3")}));
    EXPECT_EQ(run.SucceededURLs, 1);
    EXPECT_EQ(finished, 1);
    run.Cancel();   // after the end: nothing more
    QCoreApplication::processEvents();
    EXPECT_EQ(finished, 1);
}

TEST_F(DownloadRunTest, SpeedAndStatusFormats)
{
    EXPECT_EQ(TDownloadRun::SpeedText(5 * 1024, 0), QStringLiteral("5.00 KB/s"));   // first second
    EXPECT_EQ(TDownloadRun::SpeedText(3 * 1024, 2), QStringLiteral("1.50 KB/s"));
    run.FillDownloadList({QStringLiteral("x")});
    run.ShowDownloadStatus(QStringLiteral("Downloading..."), 3 * 1048576 / 2, QStringLiteral("1.00 KB/s"), 42, {}, 65, 3725);
    const TDownloadRow& row = run.Rows()[0];
    EXPECT_EQ(row.Size, QStringLiteral("1.50MB"));
    EXPECT_EQ(row.Progress, QStringLiteral("42%"));
    EXPECT_EQ(run.StatusBox().ElapsedTime, QStringLiteral("00:01:05"));
    EXPECT_EQ(run.StatusBox().TimeLeft, QStringLiteral("01:02:05"));
    run.ShowDownloadStatus(QStringLiteral("Finish."));   // zeros leave the rest as it was
    EXPECT_EQ(run.Rows()[0].Progress, QStringLiteral("42%"));
    EXPECT_EQ(run.StatusBox().Progress, 42);
}
