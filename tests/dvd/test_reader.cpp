// The plug-in's disc reading in its own process: a reader that crashes while counting, while
// reading one title's record or in the middle of a title, and one that hangs on a disc that
// never answers (a folder whose IFO is a named pipe), never takes this process with it; each
// ends with a message, and no reader process is left behind.
#include "DVDFixtures.h"
#include "DVDRemoteReader.h"
#include "DVDTitleReader.h"
#include "DVDTitles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <functional>
#include <thread>

namespace {

const QString FakePlugIns = QStringLiteral(VORNIC_FAKE_PLUGINS);

QString ReaderProgram()
{
    return BuildBinDir() + QStringLiteral("/lib/vornic-dvdread");
}

QString CrashingPlugIn()
{
    return FakePlugIns + QStringLiteral("/crashes/libdvddec.so");
}

QString RealPlugIn()
{
    return BuildBinDir() + QStringLiteral("/lib/libdvddec.so");
}

// The children this process has not reaped, from every thread's list.
QString Children()
{
    QString all;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        all += QString::fromLatin1(FileBytes(QStringLiteral("/proc/self/task/%1/children").arg(task))).trimmed();
    return all;
}

// A DVD folder whose main IFO is a named pipe: opening it waits for a writer that never comes.
struct THangingDisc {
    QTemporaryDir dir;
    QString root;
    THangingDisc()
    {
        QDir().mkpath(dir.path() + QStringLiteral("/VIDEO_TS"));
        root = dir.path() + u'/';
        EXPECT_EQ(mkfifo(QFile::encodeName(root + QStringLiteral("VIDEO_TS/VIDEO_TS.IFO")).constData(), 0600), 0);
    }
};

class DVDReaderTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetDVDReaderTimeout(20000);
        EXPECT_EQ(Children(), QString()) << "a reader process was left running";
    }
};

TEST_F(DVDReaderTest, ACrashWhileCountingSaysTheDiscCannotBeRead)
{
    const TDVDRootRead read = ReadDVDRootWith(ReaderProgram(), CrashingPlugIn(), QStringLiteral("/media/crash/"));
    EXPECT_EQ(read.Count, 0);
    EXPECT_EQ(read.Error, QStringLiteral("This DVD cannot be read"));
    EXPECT_TRUE(read.Detail.contains(QStringLiteral("signal 11"))) << read.Detail.toStdString();
    EXPECT_FALSE(read.Cancelled);
}

TEST_F(DVDReaderTest, ATitleThatCrashesTheReaderIsInvalidAndTheRestAreRead)
{
    const TDVDRootRead read = ReadDVDRootWith(ReaderProgram(), CrashingPlugIn(), QStringLiteral("/media/disc/"));
    ASSERT_EQ(read.Count, 3);
    ASSERT_EQ(read.Titles.size(), 3u);
    ASSERT_TRUE(read.Titles[0].has_value());
    EXPECT_DOUBLE_EQ(read.Titles[0]->Length, 10.0);
    EXPECT_FALSE(read.Titles[1].has_value());
    ASSERT_TRUE(read.Titles[2].has_value());
    EXPECT_DOUBLE_EQ(read.Titles[2]->Length, 12.0);
    EXPECT_TRUE(read.Error.isEmpty());
}

TEST_F(DVDReaderTest, AHungDiscIsGivenUpAfterTheBoundAndCanBeCancelledSooner)
{
    THangingDisc disc;
    SetDVDReaderTimeout(1000);
    TDVDRootRead read = ReadDVDRootWith(ReaderProgram(), RealPlugIn(), disc.root);
    EXPECT_EQ(read.Error, QStringLiteral("This DVD cannot be read"));
    EXPECT_TRUE(read.Detail.contains(QStringLiteral("no answer"))) << read.Detail.toStdString();
    EXPECT_EQ(Children(), QString());

    // With a bound far away, a cancel ends the wait (the test would take minutes otherwise).
    SetDVDReaderTimeout(600000);
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    read = ReadDVDRootWith(ReaderProgram(), RealPlugIn(), disc.root, &cancel);
    canceller.join();
    EXPECT_TRUE(read.Cancelled);
    EXPECT_EQ(read.Count, 0);
}

// A real one: the disc library crashes on a main IFO cut after its first sector, even with
// an intact backup beside it.
TEST_F(DVDReaderTest, AMainIFOCutAfterItsFirstSectorCannotBeRead)
{
    QTemporaryDir dir;
    const QString video = dir.path() + QStringLiteral("/VIDEO_TS/");
    const QDir from(DVDFixture("two-titles") + QStringLiteral("VIDEO_TS"));
    ASSERT_TRUE(QDir().mkpath(video));
    for (const QString& name : from.entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(from.filePath(name), video + name));
    ASSERT_TRUE(QFile::resize(video + QStringLiteral("VIDEO_TS.IFO"), 2048));
    const TDVDRootRead read = ReadDVDRootWith(ReaderProgram(), RealPlugIn(), dir.path() + u'/');
    EXPECT_EQ(read.Count, 0);
    EXPECT_EQ(read.Error, QStringLiteral("This DVD cannot be read")) << read.Detail.toStdString();
}

TEST_F(DVDReaderTest, AMissingReaderProgramIsAnUnreadableDisc)
{
    const TDVDRootRead read = ReadDVDRootWith(QStringLiteral("/nonexistent/vornic-dvdread"), RealPlugIn(),
                                              DVDFixture("two-titles"));
    EXPECT_EQ(read.Count, 0);
    EXPECT_EQ(read.Error, QStringLiteral("This DVD cannot be read"));
    EXPECT_FALSE(read.Detail.isEmpty());
}

// Readers whose command line names root, by pid.
QList<int> ReadersOf(const QString& root)
{
    QList<int> pids;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray command = FileBytes(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (command.contains("vornic-dvdread") && command.contains(QFile::encodeName(root)))
            pids << pid.toInt();
    }
    return pids;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

TEST_F(DVDReaderTest, AReaderDoesNotOutliveAKilledProgram)
{
    THangingDisc disc;
    QProcess program;
    program.start(QStringLiteral(VORNIC_CONVERT), {QStringLiteral("--dvd-info"), disc.root});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(WaitFor([&] { return !ReadersOf(disc.root).isEmpty(); }, 20000)) << "no reader was started";
    program.kill();
    program.waitForFinished();
    EXPECT_TRUE(WaitFor([&] { return ReadersOf(disc.root).isEmpty(); }, 10000)) << "the reader was left running";
}

// Through the binding, as the dialog, the command line and the engine use it.
TEST_F(DVDReaderTest, ThroughTheBindingACrashNeverReachesTheProgram)
{
    ASSERT_TRUE(LoadDVDPlugIn(FakePlugIns + QStringLiteral("/crashes"))) << DVDPlugInError().toStdString();
    SetDVDReaderProgram(ReaderProgram());

    TDVDTitles titles;
    QString message;
    EXPECT_FALSE(ReadDVDTitles(QStringLiteral("/media/crash/"), titles, &message));
    EXPECT_EQ(message, QStringLiteral("This DVD cannot be read"));
    ASSERT_TRUE(ReadDVDTitles(QStringLiteral("/media/disc/"), titles, &message));
    EXPECT_EQ(titles.Items, (QStringList{"Title #1 Length: 0:00:10", "Title #2 is invalid", "Title #3 Length: 0:00:12"}));
    EXPECT_EQ(EnumDVDTitles(QStringLiteral("/media/disc/")), 3);
    TDVDTitleInfo info;
    EXPECT_TRUE(GetDVDTitle(2, info));
    EXPECT_FALSE(GetDVDTitle(1, info));

    // The title's blocks come until the reader dies at block 40; then the read fails with the
    // reason instead of ending the title early.
    TDVDSelection s;
    s.Root = QStringLiteral("/media/disc/");
    QString error;
    auto source = OpenDVDTitleSource(s, &error);
    ASSERT_TRUE(source) << error.toStdString();
    EXPECT_EQ(source->Size(), 100 * DVDBlockSize);
    std::vector<std::uint8_t> buffer(4096);
    std::int64_t total = 0;
    int got = 0;
    for (int i = 0; i < 1000 && (got = source->Read(buffer.data(), int(buffer.size()))) > 0; ++i)
        total += got;
    EXPECT_LT(got, 0);
    EXPECT_EQ(total, 32 * DVDBlockSize); // the chunks before the one that crashed
    EXPECT_TRUE(source->LastError().startsWith(QStringLiteral("This DVD cannot be read")))
        << source->LastError().toStdString();
    source.reset();
}

} // namespace
