// What the input list reads of a file, checked against real generated media with ffprobe as the
// oracle, and what happens with files the probe cannot open.
#include "InputFacts.h"
#include "UtilFuncs.h"
#include "test_inputfacts_media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class InputFactsTest : public ::testing::Test {
protected:
    void SetUp() override { LoadInputEngine(); }
};

std::int64_t ProbeMicros(const QString& file)
{
    return std::llround(ProbeValue(file, "format=duration").toDouble() * 1e6);
}

} // namespace

TEST_F(InputFactsTest, VideoFileGivesVideoLinesHiddenValuesAndThumbnail)
{
    const QString file = VideoAudioFile();
    TAVProbe probe;
    TInputFacts facts;
    QString error = "stale";
    ASSERT_TRUE(ReadInputFacts(probe, file, facts, true, &error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(probe.IsOpen()) << "the probe must be closed after reading";

    EXPECT_FALSE(facts.AudioOnly);
    EXPECT_EQ(facts.Row.FileName, file);
    EXPECT_NEAR(double(facts.Row.Duration), double(ProbeMicros(file)), 1.0);
    EXPECT_EQ(facts.Row.Width, 320);
    EXPECT_EQ(facts.Row.Height, 240);
    EXPECT_NEAR(facts.Row.Aspect, 320.0 / 240.0, 0.01);

    EXPECT_EQ(facts.DurationLine, "Duration: " + FormatMicroseconds(facts.Row.Duration));
    const int kbps = ProbeValue(file, "stream=bit_rate", "v:0").toInt() / 1000;
    EXPECT_EQ(facts.BitrateLine, QStringLiteral("Bit rate: %1 Kbps").arg(kbps));
    EXPECT_EQ(facts.DimensionLine, "Dimension: 320 x 240");

    // The picture at half the duration, at the stream's own size.
    EXPECT_EQ(facts.Thumbnail.Width, 320);
    EXPECT_EQ(facts.Thumbnail.Height, 240);

    // Without the thumbnail the facts are the same and the bitmap stays empty.
    TInputFacts plain;
    ASSERT_TRUE(ReadInputFacts(probe, file, plain, false, nullptr));
    EXPECT_TRUE(plain.Thumbnail.IsEmpty());
    EXPECT_EQ(plain.BitrateLine, facts.BitrateLine);
    EXPECT_EQ(plain.Row.Duration, facts.Row.Duration);
}

TEST_F(InputFactsTest, AudioOnlyAndOddVideoFilesGetTheirOwnLines)
{
    TAVProbe probe;
    {
        const QString mp3 = Mp3File();
        TInputFacts facts;
        ASSERT_TRUE(ReadInputFacts(probe, mp3, facts, true, nullptr));
        EXPECT_TRUE(facts.AudioOnly);
        EXPECT_TRUE(facts.Thumbnail.IsEmpty());
        EXPECT_EQ(facts.Row.Width, -1);
        EXPECT_EQ(facts.Row.Height, -1);
        EXPECT_EQ(facts.Row.Aspect, -1.0);
        EXPECT_GT(facts.Row.Duration, 2900000);
        EXPECT_EQ(facts.BitrateLine, "Audio Bit rate: 128 Kbps");
        EXPECT_TRUE(facts.DimensionLine.startsWith("Audio Encoder: mp3")) << facts.DimensionLine.toStdString();
    }
    {
        // The same probe reused for a video file after the audio one: the layout follows each file.
        const QString mkv = NoBitrateVideoFile();
        TInputFacts facts;
        ASSERT_TRUE(ReadInputFacts(probe, mkv, facts, true, nullptr));
        EXPECT_FALSE(facts.AudioOnly);
        EXPECT_EQ(facts.BitrateLine, "Bit rate: Bit rate is not preseted");
        EXPECT_EQ(facts.DimensionLine, "Dimension: 320 x 240");
        EXPECT_FALSE(facts.Thumbnail.IsEmpty());
    }
    {
        const QString raw = UnknownDurationFile();
        TInputFacts facts;
        ASSERT_TRUE(ReadInputFacts(probe, raw, facts, true, nullptr));
        EXPECT_EQ(facts.DurationLine, "Duration: Duration is not preseted");
        EXPECT_EQ(facts.Row.Duration, 0);
        // An unknown duration seeks to the start; the first picture still makes a thumbnail.
        EXPECT_EQ(facts.Thumbnail.Width, 320);
    }
}

TEST_F(InputFactsTest, ACoverPictureDoesNotMakeAnAudioFileAVideo)
{
    TAVProbe probe;
    const struct {
        const char* Extension;
        const char* Codec;
        const char* Encoder;
    } files[] = {{"mp3", "libmp3lame", "mp3"}, {"m4a", "aac", "aac"}, {"flac", "flac", "flac"}};
    for (const auto& f : files) {
        const QString file = CoverArtFile(f.Extension, f.Codec);
        SCOPED_TRACE(file.toStdString());
        ASSERT_TRUE(ProbeValue(file, "stream_disposition=attached_pic").split('\n').contains("1"))
            << "the fixture must carry an attached picture";
        TInputFacts facts;
        ASSERT_TRUE(ReadInputFacts(probe, file, facts, true, nullptr));
        EXPECT_TRUE(facts.AudioOnly);
        EXPECT_TRUE(facts.Thumbnail.IsEmpty()) << "the row shows the audio icon, not the cover";
        EXPECT_EQ(facts.Row.Width, -1);
        EXPECT_EQ(facts.Row.Height, -1);
        EXPECT_TRUE(facts.BitrateLine.startsWith("Audio Bit rate: ")) << facts.BitrateLine.toStdString();
        EXPECT_TRUE(facts.DimensionLine.startsWith(QStringLiteral("Audio Encoder: ") + f.Encoder))
            << facts.DimensionLine.toStdString();
    }
}

TEST_F(InputFactsTest, FilesThatCannotBeOpenedReportTheProbesMessage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString corrupt = dir.filePath("broken.mp4");
    ASSERT_TRUE(WriteBytes(corrupt, CorruptBytes()));
    const QString empty = dir.filePath("empty.avi");
    ASSERT_TRUE(WriteBytes(empty, {}));
    const QString missing = dir.filePath("gone.mp4");
    const QString folder = dir.filePath("folder.mp4");
    ASSERT_TRUE(QDir().mkdir(folder));

    TAVProbe probe;
    for (const QString& name : {corrupt, empty, missing, folder}) {
        SCOPED_TRACE(name.toStdString());
        TInputFacts facts;
        facts.DurationLine = "stale";
        QString error;
        EXPECT_FALSE(ReadInputFacts(probe, name, facts, true, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(error, probe.LastErrorMessage());
        EXPECT_TRUE(error.contains(name)) << error.toStdString();
        EXPECT_TRUE(facts.DurationLine.isEmpty());
        EXPECT_FALSE(probe.IsOpen());
    }
    // The file the probe could not read is left as it was.
    EXPECT_EQ(QFileInfo(corrupt).size(), 2048);

    const QString locked = dir.filePath("locked.mp4");
    ASSERT_TRUE(QFile::copy(VideoAudioFile(), locked));
    QFile::setPermissions(locked, {});
    if (Unreadable(locked)) {
        QString error;
        TInputFacts facts;
        EXPECT_FALSE(ReadInputFacts(probe, locked, facts, true, &error));
        EXPECT_TRUE(error.contains(locked)) << error.toStdString();
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);

    // A good file after the failures reads normally with the same probe.
    TInputFacts facts;
    EXPECT_TRUE(ReadInputFacts(probe, VideoAudioFile(), facts, false, nullptr));
}

TEST_F(InputFactsTest, WithoutEngineLibrariesTheProbeThrows)
{
    FFLoader().UnloadLibraries(EngineLibrarySet);
    TAVProbe probe;
    TInputFacts facts;
    EXPECT_THROW(ReadInputFacts(probe, VideoAudioFile(), facts, true, nullptr), FFmpegException);
    LoadInputEngine();
}

TEST(ShortenPathToFit, LeadingFoldersGiveWayToDots)
{
    const auto within = [](int n) { return [n](const QString& s) { return s.size() <= n; }; };
    EXPECT_EQ(ShortenPathToFit("/home/ann/videos/holiday.mp4", within(100)), "/home/ann/videos/holiday.mp4");
    EXPECT_EQ(ShortenPathToFit("/home/ann/videos/holiday.mp4", within(27)), "/.../ann/videos/holiday.mp4");
    EXPECT_EQ(ShortenPathToFit("/home/ann/videos/holiday.mp4", within(24)), "/.../videos/holiday.mp4");
    EXPECT_EQ(ShortenPathToFit("/home/ann/videos/holiday.mp4", within(5)), "/.../holiday.mp4");
    EXPECT_EQ(ShortenPathToFit("/holiday.mp4", within(3)), "/holiday.mp4");
}

// A picture too large to decode safely for a thumbnail: the file is still added (it converts),
// without the thumbnail, and its dimension line says why.
TEST_F(InputFactsTest, HugePictureGetsNoThumbnailAndItsRowSaysWhy)
{
    const QString file = HugePictureFile();
    TAVProbe probe;
    TInputFacts facts;
    QString error;
    ASSERT_TRUE(ReadInputFacts(probe, file, facts, true, &error)) << error.toStdString();
    EXPECT_EQ(facts.Row.Width, 8200);
    EXPECT_EQ(facts.Row.Height, 8000);
    EXPECT_TRUE(facts.Thumbnail.IsEmpty());
    EXPECT_EQ(facts.DimensionLine, "Dimension: 8200 x 8000 (no thumbnail above 64 million pixels)");
    EXPECT_FALSE(probe.IsOpen());
}
