// label: asan
// The probe on hostile input: every file gets an answer and a message, never a crash or a hang.
// (Not under the thread sanitizer: it cannot see the decoders' own thread pool synchronise.)
#include "AVProbe.h"
#include "EngineFixtures.h"
#include "FFmpegLogger.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>

namespace {

class BadInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEngineLibraries();
        FFLogger()->SetLogLevel(llQuiet); // corrupt media make the libraries talkative
    }
    void TearDown() override { FFLogger()->SetLogLevel(llInfo); }

    QString Write(const QString& name, const QByteArray& data)
    {
        QFile f(FDir.path() + "/" + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
        return f.fileName();
    }

    static QByteArray Read(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Everything a user's add does with a file; true when a picture came out.
    static bool Exercise(TAVProbe& probe)
    {
        TFileStreamInfo info;
        probe.GetFileStreamInfo(info);
        TVideoStreamInfo v;
        probe.GetVideoStreamInfo(v);
        TAudioStreamInfo a;
        probe.GetAudioStreamInfo(-1, a);
        for (int i = 0; i < probe.StreamCount(); ++i)
            probe.CodecDescription(i);
        bool picture = false;
        if (probe.FirstVideoStream() >= 0) {
            probe.Seek(0, info.Duration > 0 ? info.Duration / 2 : 0);
            for (int i = 0; i < 3; ++i)
                picture = probe.DecodeNextFrame(-1) || picture;
            TBitmap bitmap;
            if (probe.PictureReady()) {
                EXPECT_TRUE(probe.GetBitmap(bitmap));
                EXPECT_EQ(bitmap.Bits.size(), size_t(bitmap.Stride) * size_t(bitmap.Height));
            }
            probe.Seek(0, 0);
            probe.DecodeNextFrame(-1);
        }
        return picture;
    }

    QTemporaryDir FDir;
};

} // namespace

TEST_F(BadInputTest, FilesThatAreNotMediaAreRefusedWithAReason)
{
    TAVProbe probe;
    const QString empty = Write("empty.mp4", {});
    EXPECT_FALSE(probe.LoadFile(empty));
    EXPECT_TRUE(probe.LastErrorMessage().startsWith(empty + ": ")) << probe.LastErrorMessage().toStdString();
    EXPECT_FALSE(probe.IsOpen());

    const QString text = Write("letter.mp4", QByteArray("Dear user,\nthis is not a film.\n").repeated(50));
    EXPECT_FALSE(probe.LoadFile(text));
    EXPECT_TRUE(probe.LastErrorMessage().startsWith(text + ": ")) << probe.LastErrorMessage().toStdString();

    EXPECT_FALSE(probe.LoadFile(FDir.path() + "/missing.avi"));
    EXPECT_EQ(probe.LastErrorMessage(), FDir.path() + "/missing.avi: No such file or directory");

    EXPECT_FALSE(probe.LoadFile(FDir.path()));
    EXPECT_EQ(probe.LastErrorMessage(), FDir.path() + ": Is a directory");

    // A named pipe nobody writes to would block the open forever.
    const QString fifo = FDir.path() + "/pipe.mp4";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(probe.LoadFile(fifo));
    EXPECT_TRUE(probe.LastErrorMessage().startsWith(fifo + ": "));

    std::mt19937 random(7);
    QByteArray noise(64 * 1024, '\0');
    for (char& c : noise)
        c = char(random());
    const QString junk = Write("noise.avi", noise);
    if (probe.LoadFile(junk))
        Exercise(probe); // whatever the libraries make of it, it must not crash
    else
        EXPECT_FALSE(probe.LastErrorMessage().isEmpty());
    EXPECT_EQ(probe.StreamCount() < 0, !probe.IsOpen());
}

TEST_F(BadInputTest, TruncatedFilesOpenOrFailCleanly)
{
    const auto cases = MediaCases();
    TAVProbe probe;
    // Index at the end: the cut file has none.
    const QByteArray mp4 = Read(Fixture(cases[0]));
    const QString cutMp4 = Write("cut.mp4", mp4.left(mp4.size() * 2 / 5));
    EXPECT_FALSE(probe.LoadFile(cutMp4));
    EXPECT_TRUE(probe.LastErrorMessage().startsWith(cutMp4 + ": ")) << probe.LastErrorMessage().toStdString();

    // Streamable containers keep their first half.
    for (int index : {1, 2, 3, 4}) {
        SCOPED_TRACE(cases[index].Name);
        const QByteArray whole = Read(Fixture(cases[index]));
        const QString cut = Write(QString("cut_") + cases[index].Name, whole.left(whole.size() / 2));
        ASSERT_TRUE(probe.LoadFile(cut)) << probe.LastErrorMessage().toStdString();
        int frames = 0;
        while (probe.DecodeNextFrame(-1))
            ASSERT_LT(++frames, 200);
        EXPECT_GT(frames, 10);
        EXPECT_LT(frames, 100);
        EXPECT_EQ(probe.LastErrorMessage(), "stream eof reached.");
    }
}

TEST_F(BadInputTest, FileDeletedOrCutBetweenProbeAndDecode)
{
    const QString source = Fixture(MediaCases()[1]);
    TAVProbe probe;

    const QString deleted = Write("deleted.avi", Read(source));
    ASSERT_TRUE(probe.LoadFile(deleted));
    ASSERT_TRUE(QFile::remove(deleted));
    probe.Seek(0, 2000000);
    if (probe.DecodeNextFrame(-1)) {
        TBitmap bitmap;
        EXPECT_TRUE(probe.GetBitmap(bitmap));
    }

    const QString cut = Write("shrunk.avi", Read(source));
    ASSERT_TRUE(probe.LoadFile(cut));
    ASSERT_TRUE(QFile::resize(cut, 4096));
    EXPECT_FALSE(probe.Seek(0, 2000000) && probe.DecodeNextFrame(-1) && probe.PictureTime() > 1000000);
    probe.CloseFile();
    EXPECT_FALSE(probe.IsOpen());
}

TEST_F(BadInputTest, CorruptedVariantsOfEveryContainer)
{
    // Short, small fixtures keep a few hundred variants well within a minute, also under the
    // address sanitizer.
    const QStringList small = TestSource("160x120", 1);
    const std::vector<std::pair<QString, QStringList>> seeds = {
        {"probe_small.mp4", small + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}},
        {"probe_small.avi", small + QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"}},
        {"probe_small.mkv", small + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "libopus"}},
        {"probe_small.mpg", small + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"}},
        {"probe_small.flv", small + QStringList{"-c:v", "flv", "-c:a", "libmp3lame"}},
        {"probe_small.ogv", small + QStringList{"-c:v", "libtheora", "-c:a", "libvorbis"}},
        {"probe_small.webm", small + QStringList{"-c:v", "libvpx", "-c:a", "libopus"}},
        {"probe_small.mp3", QStringList{"-f", "lavfi", "-i", "sine", "-t", "1", "-c:a", "libmp3lame"}},
    };
    constexpr int variantsPerSeed = 40;
    std::mt19937 random(20240601);
    QElapsedTimer timer;
    timer.start();
    int opened = 0, pictures = 0, total = 0;
    TAVProbe probe;
    for (const auto& [name, args] : seeds) {
        const QByteArray original = Read(MediaFixture(name, args));
        ASSERT_FALSE(original.isEmpty());
        for (int v = 0; v < variantsPerSeed; ++v) {
            QByteArray data = original;
            const auto pick = [&](qsizetype limit) { return qsizetype(random() % quint64(std::max<qsizetype>(limit, 1))); };
            switch (v % 5) {
            case 0: // scattered bit errors, half of them in the header
                for (int i = 0, n = 1 + pick(24); i < n; ++i)
                    data[i % 2 ? pick(std::min<qsizetype>(data.size(), 4096)) : pick(data.size())] ^= char(1 << pick(8));
                break;
            case 1: { // a burst of garbage
                const qsizetype at = pick(data.size()), len = std::min<qsizetype>(16 + pick(1024), data.size() - at);
                for (qsizetype i = 0; i < len; ++i)
                    data[at + i] = char(random());
                break;
            }
            case 2: // cut anywhere
                data.truncate(pick(data.size()));
                break;
            case 3: { // a zeroed block
                const qsizetype at = pick(data.size()), len = std::min<qsizetype>(pick(8192), data.size() - at);
                memset(data.data() + at, 0, size_t(len));
                break;
            }
            case 4: { // a block copied over another place
                const qsizetype from = pick(data.size()), to = pick(data.size());
                const qsizetype len = std::min({pick(4096), data.size() - from, data.size() - to});
                memmove(data.data() + to, original.constData() + from, size_t(len));
                break;
            }
            }
            const QString file = Write(QStringLiteral("variant_%1").arg(name), data);
            SCOPED_TRACE(QStringLiteral("%1 variant %2").arg(name).arg(v).toStdString());
            ++total;
            if (probe.LoadFile(file)) {
                ++opened;
                pictures += Exercise(probe);
            } else {
                EXPECT_FALSE(probe.LastErrorMessage().isEmpty());
            }
            probe.CloseFile();
        }
    }
    EXPECT_EQ(total, int(seeds.size()) * variantsPerSeed);
    EXPECT_GT(opened, total / 3); // most damage leaves a file that still opens
    EXPECT_GT(pictures, 0);
    RecordProperty("seconds", int(timer.elapsed() / 1000));
}
