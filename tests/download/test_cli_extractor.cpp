// vornic-download on pages of today's site, run as a user runs it: the stand-in extractor and
// the distribution's real one against loopback sites, Ctrl+C while the extractor works, and
// --version naming the extractor found.
#include "MediaSite.h"
#include "StandInExtractor.h"
#include "TestSupport.h"
#include "VideoServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QString Program() { return BuildBinDir() + QStringLiteral("/vornic-download"); }

QStringList Lines(const QString& text) { return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

struct TEnvironment {
    TEnvironment(const char* name, const QByteArray& value) : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~TEnvironment()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    const char* name_;
    QByteArray old_;
    bool had_;
};

} // namespace

TEST(CliExtractor, VersionNamesTheExtractorFoundOrSaysThereIsNone)
{
    {
        TStandInExtractor extractor;
        const CommandResult r = RunCommand(Program(), {"--version"}, 20000);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("vornic-download ")));
        EXPECT_TRUE(r.out.contains(QStringLiteral("extractor: %1 2099.01.01-stand-in").arg(extractor.Program())))
            << r.out.toStdString();
    }
    QTemporaryDir empty;
    TEnvironment path("PATH", empty.path().toUtf8());
    TEnvironment named("VORNIC_EXTRACTOR", QByteArray());
    const CommandResult r = RunCommand(Program(), {"--version"}, 20000);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("extractor: none found"))) << r.out.toStdString();
}

TEST(CliExtractor, MixedRunOfPagesWithAndWithoutParametersAndExtractorFailures)
{
    TStandInExtractor extractor;
    TVideoTestServer watch;
    TMediaSite site;
    qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(watch.Host()));
    const std::string old = ServedBody(20000, 1), modern = ServedBody(150000, 2);
    watch.Add("old", {.title = "Old page", .media = {{18, old}}});
    site.Add("/new.mp4", {.body = modern});
    extractor.Json("new", VideoJson("New page", {FormatJson("18", "mp4", QString::fromStdString(site.Url("/new.mp4")),
                                                            360, "avc1", "mp4a", 65536)},
                                    "18", "mp4"));
    extractor.Error("gone", "ERROR: [site] gone: Video unavailable\n");
    extractor.Junk("junk", "not json at all");
    QTemporaryDir dir;
    auto link = [&](const char* id) { return QString::fromStdString(watch.WatchUrl(id)); };

    const CommandResult r =
        RunCommand(Program(), {"--output-dir", dir.path(), link("new"), link("gone"), link("old"), link("junk")}, 60000);
    qunsetenv("VORNIC_VIDEO_HOST");

    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QString savedNew = QDir(dir.path()).filePath(QStringLiteral("New page.mp4"));
    const QString savedOld = QDir(dir.path()).filePath(QStringLiteral("Old page.mp4"));
    EXPECT_EQ(Lines(r.out), (QStringList{savedNew, savedOld}));
    const QStringList err = Lines(r.err);
    EXPECT_TRUE(err.contains(QStringLiteral("OK      %1 [HQ18] -> %2").arg(link("new"), savedNew))) << r.err.toStdString();
    EXPECT_TRUE(err.filter(QStringLiteral("FAILED  %1: page: ").arg(link("gone")))
                    .value(0)
                    .endsWith(QStringLiteral("extractor: ERROR: [site] gone: Video unavailable")))
        << r.err.toStdString();
    EXPECT_EQ(err.filter(QStringLiteral("FAILED  %1:").arg(link("junk"))).value(0).contains(QStringLiteral("not JSON")), true)
        << r.err.toStdString();
    EXPECT_EQ(FileBytes(savedNew), QByteArray::fromStdString(modern));
    EXPECT_EQ(FileBytes(savedOld), QByteArray::fromStdString(old));
    EXPECT_EQ(Entries(dir.path()).size(), 2);
    // After a row with the format's headers, a page's media go with our own Agent again.
    for (const TVideoRequest& request : watch.Requests())
        EXPECT_EQ(request.agent, "[Quorvanex]") << request.path;
    for (const TMediaRequest& request : site.Requests("/new.mp4"))
        EXPECT_EQ(request.headers.at("user-agent"), "StandIn/1.0 (test)");
}

TEST(CliExtractor, InterruptWhileTheExtractorWorksEndsItAndLeavesNoFile)
{
    TStandInExtractor extractor;
    TVideoTestServer watch;
    qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(watch.Host()));
    extractor.Hang("stuck");
    QTemporaryDir dir;
    QProcess process;
    process.start(Program(), {"--output-dir", dir.path(), QString::fromStdString(watch.WatchUrl("stuck"))});
    qunsetenv("VORNIC_VIDEO_HOST");
    ASSERT_TRUE(process.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    while (extractor.HangingPid(QStringLiteral("stuck")) == 0 && clock.elapsed() < 30000)
        QThread::msleep(20);
    const qint64 pid = extractor.HangingPid(QStringLiteral("stuck"));
    ASSERT_GT(pid, 0);
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 130) << process.readAllStandardError().toStdString();
    EXPECT_FALSE(ProcessAlive(pid));
    EXPECT_TRUE(Entries(dir.path()).isEmpty());
}

TEST(CliExtractor, DistributionsExtractorReadsAnHtml5VideoPage)
{
    const QString real = QStandardPaths::findExecutable(QStringLiteral("yt-dlp"));
    if (real.isEmpty())
        GTEST_SKIP() << "yt-dlp is not installed (scripts/install-deps.sh installs it)";
    TEnvironment named("VORNIC_EXTRACTOR", QByteArray());
    TMediaSite site;
    const std::string clip = ServedBody(300000, 9);
    site.Add("/clip.mp4", {.body = clip});
    site.AddPage("/page.html", "<html><head><title>Loopback Clip</title></head><body>"
                               "<video src=\"/clip.mp4\" controls></video></body></html>");
    const QString page = QString::fromStdString(site.Url("/page.html"));
    TEnvironment host("VORNIC_VIDEO_HOST", page.section(QLatin1Char('/'), 2, 2).toUtf8());
    QTemporaryDir dir;

    const CommandResult r = RunCommand(Program(), {"--output-dir", dir.path(), page}, 180000);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList saved = Lines(r.out);
    ASSERT_EQ(saved.size(), 1);
    // The page's title as the extractor reports it (its HTML5 support numbers the videos).
    const QString name = QFileInfo(saved[0]).fileName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("Loopback Clip")) && name.endsWith(QStringLiteral(".mp4")))
        << name.toStdString();
    EXPECT_EQ(FileBytes(saved[0]), QByteArray::fromStdString(clip));
    EXPECT_EQ(Entries(dir.path()), QStringList{name});
    // The media request carried the headers the extractor gave, not our own Agent.
    const auto requests = site.Requests("/clip.mp4");
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests.back().headers.at("user-agent"), "[Quorvanex]");
    EXPECT_EQ(requests.back().headers.at("referer"), page.toStdString());
}
