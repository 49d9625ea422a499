// The command-line downloader as a user meets it: the built program run against a stand-in
// video service on 127.0.0.1, with its exit status, its lines and the files it saves checked
// from outside.
#include "HttpRecorder.h"
#include "StandInExtractor.h"
#include "TestSupport.h"
#include "VideoServer.h"
#include "WinHTTP.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QString Program()
{
    return BuildBinDir() + QStringLiteral("/vornic-download");
}

// The child finds the stand-in service through the environment it inherits.
void UseService(const TVideoTestServer& server)
{
    qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(server.Host()));
}

CommandResult Download(const QStringList& args)
{
    return RunCommand(Program(), args, 20000);
}

QStringList Lines(const QString& text) { return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

QString Link(const TVideoTestServer& server, const std::string& id)
{
    return QString::fromStdString(server.WatchUrl(id));
}

// Every entry of the folder, hidden ones (a temporary ".part") included.
QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

std::vector<std::string> Formats(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

} // namespace

TEST(CliDownload, GoodAndBadLinksEachGetTheirLineAndOnlyTheGoodOneIsSaved)
{
    TStandInExtractor extractor;   // the page that fails goes to it; it knows no video
    TVideoTestServer server;
    const std::string media = ServedBody(300 * 1024, 7);
    server.Add("good", TVideoEntry{.title = "Good clip", .media = {{22, media}}});
    UseService(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const QString good = Link(server, "good");
    const QString missing = Link(server, "missing");   // the page answers 404
    const QString foreign = QStringLiteral("http://elsewhere.invalid/watch?v=good");
    const CommandResult r = Download({"--output-dir", dir.path(), good, missing, foreign, good});

    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QString saved = QDir(dir.path()).filePath(QStringLiteral("Good clip.mp4"));
    EXPECT_EQ(Lines(r.out), QStringList{saved});
    const QStringList err = Lines(r.err);
    EXPECT_TRUE(err.contains(QStringLiteral("OK      %1 [HQ22] -> %2").arg(good, saved))) << r.err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("FAILED  %1: This is not a YouTube video link.").arg(foreign)));
    EXPECT_TRUE(err.contains(QStringLiteral("FAILED  %1: This video is already in the download list.").arg(good)));
    const auto pageFailure = std::find_if(err.begin(), err.end(), [&](const QString& line) {
        return line.startsWith(QStringLiteral("FAILED  %1: page: ").arg(missing));
    });
    ASSERT_NE(pageFailure, err.end()) << r.err.toStdString();
    EXPECT_TRUE(pageFailure->contains(QStringLiteral("404"))) << pageFailure->toStdString();
    EXPECT_EQ(err.filter(QStringLiteral("FAILED  ")).size(), 3);
    EXPECT_TRUE(err.contains(QStringLiteral("Downloaded 1 of 4 link(s).")));

    EXPECT_EQ(FileBytes(saved), QByteArray::fromStdString(media));
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("Good clip.mp4")}) << "nothing else is left behind";
    // The default order up to the one served; the refused links never reach the server.
    EXPECT_EQ(server.MediaFormats("good"), Formats({"18", "35", "22"}));
    EXPECT_EQ(server.Requests().size(), 5u);
}

TEST(CliDownload, PreferListIsTriedInItsOrderAndNoFurther)
{
    TVideoTestServer server;
    server.Add("v", TVideoEntry{.title = "Clip", .media = {{6, ServedBody(70 * 1024, 3)}}});
    UseService(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    CommandResult r = Download({"--prefer", "37,34,6,18", "--output-dir", dir.path(), Link(server, "v")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(server.MediaFormats("v"), Formats({"37", "34", "6"}));
    EXPECT_EQ(Lines(r.out), QStringList{QDir(dir.path()).filePath(QStringLiteral("Clip.flv"))});
    EXPECT_TRUE(r.err.contains(QStringLiteral(" [HQ6] -> "))) << r.err.toStdString();

    // A list without the served quality fails after its own entries, with a reason for each.
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    r = Download({"--prefer=22,37", "--output-dir", other.path(), Link(server, "v")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(server.MediaFormats("v"), Formats({"37", "34", "6", "22", "37"}));
    const QStringList failed = Lines(r.err).filter(QStringLiteral("FAILED  "));
    ASSERT_EQ(failed.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(failed[0].contains(QStringLiteral("[HQ22]: ")) && failed[0].contains(QStringLiteral("; [HQ37]: ")))
        << failed[0].toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(Entries(other.path()).isEmpty());
}

TEST(CliDownload, DefaultQualityFetchesOnceWithoutFormatAndSavesFlv)
{
    TVideoTestServer server;
    const std::string media = ServedBody(90 * 1024, 11);
    server.Add("d", TVideoEntry{.title = "Plain", .media = {{0, media}, {18, ServedBody(10, 1)}}});
    UseService(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // The current folder is the default output folder.
    const CommandResult r = RunCommand(Program(), {"--default-quality", Link(server, "d")}, 20000, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(server.MediaFormats("d"), Formats({""}));
    const QString saved = QDir(dir.path()).filePath(QStringLiteral("Plain.flv"));
    EXPECT_EQ(Lines(r.out), QStringList{saved});
    EXPECT_TRUE(r.err.contains(QStringLiteral(" [Default Quality - HQ5] -> ") + saved)) << r.err.toStdString();
    EXPECT_EQ(FileBytes(saved), QByteArray::fromStdString(media));
}

// The saved paths are the result: a standard output that takes nothing fails the run, also
// when the file itself was saved.
TEST(CliDownload, LostStandardOutputIsAFailure)
{
    TVideoTestServer server;
    server.Add("good", TVideoEntry{.title = "Good clip", .media = {{22, ServedBody(64 * 1024, 3)}}});
    UseService(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QStringList& args : {QStringList{"--help"}, QStringList{"--output-dir", dir.path(), Link(server, "good")}}) {
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(Program(), args);
        ASSERT_TRUE(process.waitForFinished(20000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 1) << args.join(' ').toStdString() << "\n" << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("vornic-download: cannot write to standard output"))) << err.toStdString();
    }
}

TEST(CliDownload, BadArgumentsExitTwoWithTheUsage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile plain(dir.filePath(QStringLiteral("plain.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString link = QStringLiteral("http://127.0.0.1:9/watch?v=x");
    const QList<QPair<QStringList, QString>> cases = {
        {{}, "no links given"},
        {{"--bogus", link}, "unknown option: --bogus"},
        {{"--prefer", "18,99", link}, "unknown quality \"99\" in --prefer"},
        {{"--prefer", "18,,22", link}, "unknown quality \"\" in --prefer"},
        {{"--prefer", "18,35,18", link}, "quality 18 is given twice in --prefer"},
        {{"--prefer", "18", "--default-quality", link}, "--default-quality and --prefer cannot be combined"},
        {{"--default-quality=yes", link}, "--default-quality takes no value"},
        {{link, "--output-dir"}, "--output-dir needs a value"},
        {{"--output-dir", dir.filePath("absent"), link}, "output folder does not exist: "},
        {{"--output-dir", plain.fileName(), link}, "output folder is not a folder: "},
    };
    for (const auto& [args, message] : cases) {
        const CommandResult r = Download(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("vornic-download: ") + message)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: vornic-download "))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("plain.txt")});

    const CommandResult help = Download({"--help", "--bogus"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: vornic-download "))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("18,35,22,6,13,17,34,37")));
}

TEST(CliDownload, InterruptDuringABodyLeavesNoFileAndExits130)
{
    TVideoTestServer server;
    // 8 MB in 64 KB pieces 100 ms apart: far longer than the test waits.
    server.Add("slow", TVideoEntry{.title = "Slow", .media = {{18, ServedBody(8 << 20, 5)}}, .chunkDelayMs = 100});
    server.Add("next", TVideoEntry{.title = "Next", .media = {{18, ServedBody(1000, 6)}}});
    UseService(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    QProcess process;
    process.start(Program(), {"--output-dir", dir.path(), Link(server, "slow"), Link(server, "next")});
    ASSERT_TRUE(process.waitForStarted(10000));
    // Wait until the body is arriving in the temporary file.
    auto partialSize = [&] {
        for (const QString& name : Entries(dir.path()))
            if (name.endsWith(QStringLiteral(".part")))
                return QFileInfo(QDir(dir.path()).filePath(name)).size();
        return qint64(-1);
    };
    for (int i = 0; i < 200 && partialSize() <= 0; ++i)
        QThread::msleep(25);
    ASSERT_GT(partialSize(), 0) << "the body never arrived";
    ASSERT_EQ(process.state(), QProcess::Running);
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("FAILED  %1: stopped").arg(Link(server, "slow")))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("FAILED  %1: stopped").arg(Link(server, "next")))) << err.toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(Entries(dir.path()).isEmpty()) << Entries(dir.path()).join(' ').toStdString();
    EXPECT_TRUE(server.MediaFormats("next").empty());
}

// An impatient user presses Ctrl+C again and again while the run winds down.
TEST(CliDownload, RepeatedInterruptsStillLeaveNoFile)
{
    TVideoTestServer server;
    server.Add("slow", TVideoEntry{.title = "Slow", .media = {{18, ServedBody(8 << 20, 7)}}, .chunkDelayMs = 100});
    UseService(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    QProcess process;
    process.start(Program(), {"--output-dir", dir.path(), Link(server, "slow")});
    ASSERT_TRUE(process.waitForStarted(10000));
    auto hasPartial = [&] {
        for (const QString& name : Entries(dir.path()))
            if (name.endsWith(QStringLiteral(".part")) && QFileInfo(QDir(dir.path()).filePath(name)).size() > 0)
                return true;
        return false;
    };
    for (int i = 0; i < 200 && !hasPartial(); ++i)
        QThread::msleep(25);
    ASSERT_TRUE(hasPartial()) << "the body never arrived";
    ASSERT_EQ(process.state(), QProcess::Running);
    // Back to back: the later ones land while the first is still being handled.
    const pid_t pid = pid_t(process.processId());
    for (int i = 0; i < 3000; ++i)
        ::kill(pid, SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(Entries(dir.path()).isEmpty()) << Entries(dir.path()).join(' ').toStdString();
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("FAILED  %1: stopped").arg(Link(server, "slow")))) << err.toStdString();
}

TEST(CliDownload, TerminalShowsABarWithTheSpeedAndNoBarElsewhere)
{
    TVideoTestServer server;
    // 2 MB in 64 KB pieces 20 ms apart: several redraws.
    server.Add("t", TVideoEntry{.title = "Shown", .media = {{18, ServedBody(2 << 20, 4)}}, .chunkDelayMs = 20});
    UseService(server);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // `script` gives the program a terminal; its output is what the terminal showed.
    const QString command = QStringLiteral("'%1' --output-dir '%2' '%3'").arg(Program(), dir.path(), Link(server, "t"));
    qputenv("COLUMNS", "100");
    const CommandResult shown = RunCommand(QStringLiteral("script"), {"-qec", command, "/dev/null"}, 20000);
    qunsetenv("COLUMNS");
    EXPECT_EQ(shown.exitCode, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.contains(QRegularExpression(QStringLiteral(R"(\r\[[#-]{30}\] +\d+%  \(1/1\) Shown  [0-9.]+ KB/s)"))))
        << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("OK      ") + Link(server, "t")));

    // Not a terminal: the lines alone.
    QTemporaryDir plain;
    ASSERT_TRUE(plain.isValid());
    const CommandResult r = Download({"--output-dir", plain.path(), Link(server, "t")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(r.err.contains(QLatin1Char('\r'))) << r.err.toStdString();
    EXPECT_EQ(Lines(r.err).size(), 2) << r.err.toStdString();
}

// The downloader asks for one progress event per megabyte; libcurl's 16 KB pieces must not turn
// that into one main-thread hand-over per piece, which would cost more than the transfer.
TEST(CliDownload, LargeTransferBufferGathersPiecesIntoOneProgressEventEach)
{
    THttpTestServer server;
    const std::string body = ServedBody(4 << 20, 9);
    server.server.Get("/big", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(body.size(), "video/x-flv", [&](size_t offset, size_t, httplib::DataSink& sink) {
            return sink.write(body.data() + offset, std::min<size_t>(64 * 1024, body.size() - offset));
        });
    });
    server.Start();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    TWinHTTP http;
    http.URL = QString::fromStdString(server.Url("/big"));
    http.OutputFileName = dir.filePath(QStringLiteral("big.bin"));
    http.SetTransferBufferSize(1 << 20);
    std::vector<qint64> progress;
    http.OnProgress = [&](QObject*, const QString&, qint64, qint64 read, qint64, qint64, quint8, float, QIODevice*) {
        progress.push_back(read);
    };
    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(http.Read());
    ASSERT_TRUE(WaitIdle(http));
    ASSERT_FALSE(progress.empty());
    // One a megabyte, plus one for each quarter second a loaded machine took.
    EXPECT_LE(progress.size(), size_t(5 + took.elapsed() / 250)) << took.elapsed() << " ms";
    EXPECT_EQ(progress.back(), qint64(body.size())) << "the last event reports the whole body";
    EXPECT_EQ(FileBytes(http.OutputFileName), QByteArray::fromStdString(body));
}
