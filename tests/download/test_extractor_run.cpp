// label: sanitize
// The download run on pages of today's site: a stand-in extractor describes each video, the
// media come from a loopback site in ranges with the format's headers, and separate video and
// audio parts are merged by the engine.
#include "DownloadRun.h"
#include "DownloadRunSupport.h"
#include "MediaSite.h"
#include "StandInExtractor.h"
#include "TestSupport.h"
#include "VideoServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

class ExtractorRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Watch links of ids the stand-in service does not know answer 404: the extractor's way.
        qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(watch.Host()));
        run.Settings.OutputURLDir = dir.path() + QLatin1Char('/');
        run.Settings.ReceiveTimeoutMs = 3000;
        run.Settings.ConnectTimeoutMs = 3000;
        run.Settings.RangeRetryDelaysMs = {10, 20, 40};
        run.OnStatusChanged = [this](QObject*) {
            const QString q = run.StatusBox().Quality;
            if (labels.isEmpty() || labels.last() != q)
                labels << q;
            const QString current = run.StatusBox().CurrentFile;
            if (currentFiles.isEmpty() || currentFiles.last() != current)
                currentFiles << current;
        };
        run.OnLog = [this](QObject*, const QString& line) { log << line; };
        run.OnFinished = [this](QObject*) { ++finished; };
    }
    void TearDown() override { qunsetenv("VORNIC_VIDEO_HOST"); }

    bool Run(const QStringList& links, int boundMs = 30000)
    {
        return RunLinksToEnd(run, links, finished, boundMs, elapsedMs);
    }
    QString Link(const QString& id) const { return Q(watch.WatchUrl(id.toStdString())); }
    QString Media(const std::string& path) const { return Q(site.Url(path)); }
    QStringList Files() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString Reasons(int row) const { return run.Rows()[row].Reasons.join(QStringLiteral(" | ")); }

    TStandInExtractor extractor;
    TVideoTestServer watch;
    TMediaSite site;
    QTemporaryDir dir;
    TDownloadRun run;
    QStringList labels, currentFiles, log;
    int finished = 0;
    qint64 elapsedMs = 0;
};

} // namespace

TEST_F(ExtractorRunTest, ProgressiveFormatComesInRangesOfTheChunkSizeWithTheFormatsHeaders)
{
    const std::string body = ServedBody(350000, 7);
    site.Add("/v18.mp4", {.body = body});
    extractor.Json("prog", VideoJson("Progressive & Co", {FormatJson("18", "mp4", Media("/v18.mp4"), 360,
                                                                      "avc1.42001E", "mp4a.40.2", 100000)},
                                     "18", "mp4"));
    ASSERT_TRUE(Run({Link("prog")}));

    ASSERT_EQ(run.SucceededURLs, 1) << Reasons(0).toStdString();
    EXPECT_EQ(Files(), QStringList{QStringLiteral("Progressive && Co.mp4")});
    EXPECT_EQ(FileBytes(run.DownloadedFiles.value(0)), QByteArray::fromStdString(body));
    EXPECT_EQ(run.Rows()[0].SavedQuality, QStringLiteral("[HQ18]"));
    EXPECT_TRUE(run.Rows()[0].ByExtractor);
    // The status box shows the title as it is; only the file name doubles the ampersand.
    EXPECT_TRUE(currentFiles.contains(QStringLiteral("Progressive & Co"))) << currentFiles.join('|').toStdString();
    EXPECT_TRUE(currentFiles.filter(QStringLiteral("&&")).isEmpty()) << currentFiles.join('|').toStdString();
    EXPECT_EQ(extractor.Arguments("prog"),
              (QStringList{"--dump-single-json", "--no-playlist", "--no-warnings", Link("prog")}));
    EXPECT_TRUE(log.filter(QStringLiteral("resolved by the extractor")).size() == 1) << log.join('\n').toStdString();

    std::vector<std::string> ranges;
    for (const TMediaRequest& r : site.Requests("/v18.mp4")) {
        ranges.push_back(r.range);
        EXPECT_EQ(r.headers.at("user-agent"), "StandIn/1.0 (test)");
        EXPECT_EQ(r.headers.at("cookie"), "session=abc123");
        EXPECT_EQ(r.headers.at("referer"), "https://video.example/watch");
    }
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-99999", "bytes=100000-199999", "bytes=200000-299999",
                                                "bytes=300000-349999"}));

    // A site that answers the first range with the whole file: taken once, nothing appended twice.
    const std::string whole = ServedBody(250000, 8);
    site.Add("/whole.mp4", {.body = whole, .ranges = false});
    extractor.Json("whole", VideoJson("Whole", {FormatJson("18", "mp4", Media("/whole.mp4"), 360, "avc1", "mp4a", 100000)},
                                      "18", "mp4"));
    finished = 0;
    ASSERT_TRUE(Run({Link("whole")}));
    EXPECT_EQ(FileBytes(dir.filePath(QStringLiteral("Whole.mp4"))), QByteArray::fromStdString(whole));
    EXPECT_EQ(site.Requests("/whole.mp4").size(), 1u);
}

TEST_F(ExtractorRunTest, RangesOfAFormatShareOneConnectionWhileTheServerKeepsItOpen)
{
    const std::string body = ServedBody(350000, 11);
    site.Add("/kept.mp4", {.body = body, .keepAlive = true});
    extractor.Json("kept", VideoJson("Kept", {FormatJson("18", "mp4", Media("/kept.mp4"), 360, "avc1", "mp4a", 100000)},
                                     "18", "mp4"));
    ASSERT_TRUE(Run({Link("kept")}));
    ASSERT_EQ(run.SucceededURLs, 1) << Reasons(0).toStdString();
    EXPECT_EQ(FileBytes(dir.filePath(QStringLiteral("Kept.mp4"))), QByteArray::fromStdString(body));
    EXPECT_EQ(site.Requests("/kept.mp4").size(), 4u);
    EXPECT_EQ(site.Connections(), 1);
    // The format's connection is not left open once its file is done.
    QElapsedTimer clock;
    clock.start();
    while (site.OpenConnections() > 0 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(site.OpenConnections(), 0);

    // A range dropped mid-body ends its connection; the new try and the ranges after it share a new one.
    const std::string cut = ServedBody(350000, 12);
    site.Add("/cut.mp4", {.body = cut, .cutTimes = 1, .keepAlive = true});
    extractor.Json("cut", VideoJson("Cut", {FormatJson("18", "mp4", Media("/cut.mp4"), 360, "avc1", "mp4a", 100000)},
                                    "18", "mp4"));
    finished = 0;
    ASSERT_TRUE(Run({Link("cut")}));
    ASSERT_EQ(run.SucceededURLs, 1) << Reasons(0).toStdString();
    EXPECT_EQ(FileBytes(dir.filePath(QStringLiteral("Cut.mp4"))), QByteArray::fromStdString(cut));
    EXPECT_EQ(site.Requests("/cut.mp4").size(), 5u);
    EXPECT_EQ(site.Connections(), 3);
}

TEST_F(ExtractorRunTest, FailedOrShortRangesAreAskedAgainFromWhereTheyStoppedUpToThreeTimes)
{
    const std::string body = ServedBody(250000, 3);
    // One dropped connection and two server errors: within the three new tries of a range.
    site.Add("/flaky.mp4", {.body = body, .errorTimes = 2, .cutTimes = 1});
    extractor.Json("flaky", VideoJson("Flaky", {FormatJson("18", "mp4", Media("/flaky.mp4"), 360, "avc1", "mp4a",
                                                           100000)},
                                      "18", "mp4"));
    // No chunk size, one request for the whole, dropped once: the rest is asked from the byte reached.
    const std::string whole = ServedBody(200000, 4);
    site.Add("/whole.mp4", {.body = whole, .cutTimes = 1});
    extractor.Json("whole", VideoJson("Whole", {FormatJson("18", "mp4", Media("/whole.mp4"), 360, "avc1", "mp4a")},
                                      "18", "mp4"));
    // Never served: the quality fails after the first try and three more.
    site.Add("/down.mp4", {.body = ServedBody(1000, 5), .errorTimes = 100});
    extractor.Json("down", VideoJson("Down", {FormatJson("18", "mp4", Media("/down.mp4"), 360, "avc1", "mp4a",
                                                         100000)},
                                     "18", "mp4"));
    ASSERT_TRUE(Run({Link("flaky"), Link("whole"), Link("down")}));

    EXPECT_EQ(FileBytes(dir.filePath(QStringLiteral("Flaky.mp4"))), QByteArray::fromStdString(body));
    std::vector<std::string> ranges;
    for (const TMediaRequest& r : site.Requests("/flaky.mp4"))
        ranges.push_back(r.range);
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-99999", "bytes=0-99999", "bytes=0-99999", "bytes=50000-99999",
                                                "bytes=100000-199999", "bytes=200000-249999"}));

    EXPECT_EQ(FileBytes(dir.filePath(QStringLiteral("Whole.mp4"))), QByteArray::fromStdString(whole));
    const auto wholeRequests = site.Requests("/whole.mp4");
    ASSERT_EQ(wholeRequests.size(), 2u);
    EXPECT_EQ(wholeRequests[0].range, "");
    EXPECT_EQ(wholeRequests[1].range, "bytes=100000-");

    EXPECT_EQ(site.Requests("/down.mp4").size(), 4u);
    EXPECT_EQ(run.Rows()[2].Status, QStringLiteral("Failed."));
    EXPECT_EQ(run.SucceededURLs, 2);
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("Flaky.mp4"), QStringLiteral("Whole.mp4")}));
}

TEST_F(ExtractorRunTest, SlotsAreTriedInOrderAmongTheFormatsThatExist)
{
    site.Add("/22.mp4", {.body = ServedBody(5000, 1)});
    site.Add("/18.mp4", {.body = ServedBody(4000, 2)});
    site.Add("/hls.m3u8", {.body = "#EXTM3U"});
    extractor.Json("slots",
                   VideoJson("Slots",
                             {FormatJson("18", "mp4", Media("/18.mp4"), 360, "avc1", "mp4a"),
                              FormatJson("22", "mp4", Media("/22.mp4"), 720, "avc1", "mp4a"),
                              // 1080p only as a streaming manifest: not a file, never fetched.
                              FormatJson("96", "mp4", Media("/hls.m3u8"), 1080, "avc1", "mp4a", 0, "m3u8_native")},
                             "22", "mp4"));
    run.Settings.Slots = BestAvailableOrder;   // [HQ37] > [HQ22] > ...
    ASSERT_TRUE(Run({Link("slots")}));

    ASSERT_EQ(run.SucceededURLs, 1) << Reasons(0).toStdString();
    EXPECT_EQ(run.Rows()[0].SavedQuality, QStringLiteral("[HQ22]"));
    EXPECT_TRUE(labels.contains(QStringLiteral("[HQ37] failed, try next: [HQ22]")));
    EXPECT_TRUE(site.Requests("/hls.m3u8").empty());
    EXPECT_TRUE(site.Requests("/18.mp4").empty());
    EXPECT_EQ(FileBytes(dir.filePath(QStringLiteral("Slots.mp4"))), QByteArray::fromStdString(ServedBody(5000, 1)));
}

TEST_F(ExtractorRunTest, ExtractorsOwnChoiceWithThePreferenceOffOrWhenNoSlotMatches)
{
    site.Add("/43.webm", {.body = ServedBody(3000, 9), .contentType = "video/webm"});
    const QJsonObject webm = VideoJson(
        "Own", {FormatJson("18", "mp4", Media("/18.mp4"), 360, "avc1", "mp4a"),
                FormatJson("43", "webm", Media("/43.webm"), 360, "vp8", "vorbis")},
        "43", "webm");
    extractor.Json("off", webm);
    // A site whose formats fit no slot at all: the extractor's choice, saved with its extension.
    site.Add("/odd.mp4", {.body = ServedBody(2000, 8)});
    extractor.Json("odd", VideoJson("Odd", {FormatJson("hd", "mp4", Media("/odd.mp4"), 0, "", "")}, "hd", "mp4"));
    // The choice is a manifest: the row fails with the reason and nothing is fetched.
    extractor.Json("live", VideoJson("Live", {FormatJson("hls-1", "mp4", Media("/live.m3u8"), 0, "", "", 0, "m3u8")},
                                     "hls-1", "mp4"));

    run.Settings.PreferYouTubeQuality = false;
    ASSERT_TRUE(Run({Link("off")}));
    EXPECT_EQ(run.DownloadedFiles, QStringList{dir.filePath(QStringLiteral("Own.webm"))});
    EXPECT_EQ(run.Rows()[0].SavedQuality, DefaultQualityTag);
    EXPECT_TRUE(site.Requests("/18.mp4").empty());

    finished = 0;
    run.Settings.PreferYouTubeQuality = true;
    ASSERT_TRUE(Run({Link("odd"), Link("live")}));
    EXPECT_EQ(run.DownloadedFiles, QStringList{dir.filePath(QStringLiteral("Odd.mp4"))});
    EXPECT_EQ(FileBytes(run.DownloadedFiles.value(0)), QByteArray::fromStdString(ServedBody(2000, 8)));
    EXPECT_EQ(site.Requests("/odd.mp4").size(), 1u);
    EXPECT_EQ(run.Rows()[1].Status, QStringLiteral("Failed."));
    EXPECT_TRUE(Reasons(1).contains(QStringLiteral("not a file"))) << Reasons(1).toStdString();
    EXPECT_TRUE(site.Requests("/live.m3u8").empty());
}

TEST_F(ExtractorRunTest, SeparateVideoAndAudioAreMergedIntoOneFileWithoutReencoding)
{
    const QString video = FullHDVideoPart();
    const QString audio = AudioPart();
    site.Add("/137.mp4", {.body = FileBytes(video).toStdString()});
    site.Add("/140.m4a", {.body = FileBytes(audio).toStdString(), .contentType = "audio/mp4"});
    site.Add("/18.mp4", {.body = ServedBody(1000, 1)});
    extractor.Json("hd", VideoJson("Full HD",
                                   {FormatJson("18", "mp4", Media("/18.mp4"), 360, "avc1.42001E", "mp4a.40.2"),
                                    FormatJson("137", "mp4", Media("/137.mp4"), 1080, "avc1.640028", "none", 65536),
                                    FormatJson("140", "m4a", Media("/140.m4a"), 0, "none", "mp4a.40.2", 65536)},
                                   "137+140", "mp4"));
    run.Settings.Slots = BestAvailableOrder;
    bool sawMerge = false;
    run.OnStatusChanged = [&](QObject*) {
        sawMerge = sawMerge || run.StatusBox().Status.startsWith(QStringLiteral("Merging"));
        // One quality for the whole merge.
        if (run.Running() && run.StatusBox().Quality.startsWith(QStringLiteral("[HQ"))) {
            EXPECT_TRUE(run.StatusBox().Quality.startsWith(QStringLiteral("[HQ37]"))) << run.StatusBox().Quality.toStdString();
        }
    };
    ASSERT_TRUE(Run({Link("hd")}, 60000));

    ASSERT_EQ(run.SucceededURLs, 1) << Reasons(0).toStdString();
    EXPECT_TRUE(sawMerge);
    EXPECT_EQ(Files(), QStringList{QStringLiteral("Full HD.mp4")});   // no part left behind
    const QString saved = dir.filePath(QStringLiteral("Full HD.mp4"));
    EXPECT_EQ(ProbeValue(saved, QStringLiteral("stream=codec_name"), QStringLiteral("v:0")), QStringLiteral("h264"));
    EXPECT_EQ(ProbeValue(saved, QStringLiteral("stream=width"), QStringLiteral("v:0")), QStringLiteral("1920"));
    EXPECT_EQ(ProbeValue(saved, QStringLiteral("stream=height"), QStringLiteral("v:0")), QStringLiteral("1080"));
    EXPECT_EQ(ProbeValue(saved, QStringLiteral("stream=codec_name"), QStringLiteral("a:0")), QStringLiteral("aac"));
    EXPECT_NEAR(ProbeValue(saved, QStringLiteral("format=duration")).toDouble(), 2.0, 0.15);
    // Stream copy: the video's packets are the source's, so its frame count is too.
    EXPECT_EQ(ProbeValue(saved, QStringLiteral("stream=nb_frames"), QStringLiteral("v:0")),
              ProbeValue(video, QStringLiteral("stream=nb_frames"), QStringLiteral("v:0")));
    EXPECT_TRUE(site.Requests("/18.mp4").empty());
}

TEST_F(ExtractorRunTest, CancelDuringTheMergeLeavesNoFile)
{
    const QString video = FullHDVideoPart();
    const QString audio = AudioPart();
    site.Add("/137.mp4", {.body = FileBytes(video).toStdString()});
    site.Add("/140.m4a", {.body = FileBytes(audio).toStdString()});
    extractor.Json("m", VideoJson("Merged", {FormatJson("137", "mp4", Media("/137.mp4"), 1080, "avc1", "none"),
                                             FormatJson("140", "m4a", Media("/140.m4a"), 0, "none", "mp4a")},
                                  "137+140", "mp4"));
    bool cancelled = false;
    run.OnStatusChanged = [&](QObject*) {
        // At once, while the status shows the merge: no output of it may stay behind.
        if (!cancelled && run.StatusBox().Status.startsWith(QStringLiteral("Merging"))) {
            cancelled = true;
            run.Cancel();
        }
    };
    ASSERT_TRUE(Run({Link("m")}, 60000));
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(run.Merge.Running());
    EXPECT_EQ(run.SucceededURLs, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Files().isEmpty()) << Files().join(' ').toStdString();
}

TEST_F(ExtractorRunTest, CancelWhileARangeWaitsToBeAskedAgainEndsTheRun)
{
    site.Add("/busy.mp4", {.body = ServedBody(1000, 2), .errorTimes = 100});
    extractor.Json("busy", VideoJson("Busy", {FormatJson("18", "mp4", Media("/busy.mp4"), 360, "avc1", "mp4a", 500)},
                                     "18", "mp4"));
    run.Settings.RangeRetryDelaysMs = {5000, 5000, 5000};
    bool cancelled = false;
    run.OnLog = [&](QObject*, const QString& line) {
        if (!cancelled && line.contains(QStringLiteral("asked again"))) {
            cancelled = true;
            run.Cancel();
        }
    };
    ASSERT_TRUE(Run({Link("busy")}, 20000));
    EXPECT_TRUE(cancelled);
    EXPECT_LT(elapsedMs, 4000);   // not after the pause
    EXPECT_EQ(site.Requests("/busy.mp4").size(), 1u);
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(ExtractorRunTest, ExtractorFailingHangingOrPrintingJunkFailsItsRowAndTheRunGoesOn)
{
    extractor.Error("gone", "[info] checking\nERROR: [site] gone: Video unavailable\n");
    extractor.Junk("junk", "<html>not json</html>");
    extractor.Junk("list", R"({"_type": "playlist", "entries": []})");
    extractor.Hang("slow");
    extractor.Flood("flood");
    site.Add("/ok.mp4", {.body = ServedBody(3000, 6)});
    extractor.Json("ok", VideoJson("Fine", {FormatJson("18", "mp4", Media("/ok.mp4"), 360, "avc1", "mp4a")}, "18", "mp4"));
    run.Settings.ExtractorTimeoutMs = 1500;
    ASSERT_TRUE(Run({Link("gone"), Link("junk"), Link("list"), Link("slow"), Link("ok")}));

    EXPECT_EQ(run.SucceededURLs, 1);
    EXPECT_TRUE(run.Rows()[0].Reasons.contains(QStringLiteral("extractor: ERROR: [site] gone: Video unavailable")))
        << Reasons(0).toStdString();
    EXPECT_TRUE(Reasons(1).contains(QStringLiteral("not JSON"))) << Reasons(1).toStdString();
    EXPECT_TRUE(Reasons(2).contains(QStringLiteral("playlist"))) << Reasons(2).toStdString();
    EXPECT_TRUE(Reasons(3).contains(QStringLiteral("no answer within 2 s"))) << Reasons(3).toStdString();
    EXPECT_LT(elapsedMs, 15000);
    EXPECT_FALSE(ProcessAlive(extractor.HangingPid(QStringLiteral("slow"))));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("Fine.mp4")});
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(run.Rows()[row].Status, QStringLiteral("Failed.")) << row;

    // Output past the cap: the process is stopped and the row fails (bound of its own: a loaded
    // machine may take a while to read 32 MB through a pipe).
    finished = 0;
    run.Settings.ExtractorTimeoutMs = 60000;
    ASSERT_TRUE(Run({Link("flood")}, 90000));
    EXPECT_TRUE(Reasons(0).contains(QStringLiteral("output passed 32 MB"))) << Reasons(0).toStdString();
}

TEST_F(ExtractorRunTest, NoExtractorSaysWhatIsNeeded)
{
    qputenv("VORNIC_EXTRACTOR", QByteArray("/nonexistent/extractor"));
    ASSERT_TRUE(Run({Link("any")}));
    EXPECT_EQ(run.SucceededURLs, 0);
    EXPECT_TRUE(Reasons(0).contains(QStringLiteral("yt-dlp"))) << Reasons(0).toStdString();
    EXPECT_TRUE(Reasons(0).contains(QStringLiteral("apt install yt-dlp"))) << Reasons(0).toStdString();
}

TEST_F(ExtractorRunTest, CancelAndShutdownDuringTheExtractorEndItsProcessAtOnce)
{
    extractor.Hang("wait");
    bool cancelled = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!cancelled && extractor.HangingPid(QStringLiteral("wait")) > 0) {
            cancelled = true;
            run.Cancel();
        }
    });
    poll.start(20);
    ASSERT_TRUE(Run({Link("wait"), Link("wait2")}, 20000));
    EXPECT_TRUE(cancelled);
    EXPECT_LT(elapsedMs, 10000);
    EXPECT_FALSE(run.Extractor.Running());
    EXPECT_FALSE(ProcessAlive(extractor.HangingPid(QStringLiteral("wait"))));
    EXPECT_EQ(run.SucceededURLs, 0);
    EXPECT_TRUE(Files().isEmpty());
    EXPECT_TRUE(extractor.Arguments(QStringLiteral("wait2")).isEmpty());   // never reached

    // The program closing: the same, without any event afterwards.
    extractor.Hang("close");
    TDownloadRun closing;
    closing.Settings = run.Settings;
    int events = 0;
    closing.OnFinished = [&](QObject*) { ++events; };
    closing.FillDownloadList({Link("close")});
    closing.StartDownloadRun();
    QElapsedTimer clock;
    clock.start();
    while (extractor.HangingPid(QStringLiteral("close")) == 0 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const qint64 pid = extractor.HangingPid(QStringLiteral("close"));
    ASSERT_GT(pid, 0);
    closing.Shutdown();
    EXPECT_FALSE(ProcessAlive(pid));
    QCoreApplication::processEvents();
    EXPECT_EQ(events, 0);
}
