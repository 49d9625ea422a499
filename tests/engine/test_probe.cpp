// The media probe against real files made by the ffmpeg command line, with ffprobe and ffmpeg
// as the oracle for facts and thumbnails.
#include "AVProbe.h"
#include "EngineFixtures.h"
#include "FFmpegApi.h"
#include "FFmpegLogger.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override { LoadEngineLibraries(); }
    void TearDown() override { FFLogger()->OnLog = nullptr; }
};

// ffprobe's seconds as microseconds, or -1 for N/A.
std::int64_t ProbeMicroseconds(const QString& text)
{
    if (text.isEmpty() || text == "N/A")
        return -1;
    return std::llround(text.toDouble() * 1e6);
}

int ProbeInt(const QString& text) { return text.isEmpty() || text == "N/A" ? -1 : text.toInt(); }

float ProbeRatio(const QString& text)
{
    const QStringList parts = text.split(':');
    if (parts.size() != 2 || parts[1].toInt() == 0)
        return 0;
    return float(parts[0].toDouble() / parts[1].toDouble());
}

QByteArray PackedRows(const TBitmap& bitmap)
{
    QByteArray packed;
    for (int y = 0; y < bitmap.Height; ++y)
        packed.append(reinterpret_cast<const char*>(bitmap.ScanLine(y)), bitmap.Width * 3);
    return packed;
}

} // namespace

TEST_F(ProbeTest, ContainerAndStreamFactsAgreeWithFfprobe)
{
    for (const TMediaCase& c : MediaCases()) {
        SCOPED_TRACE(c.Name);
        const QString file = Fixture(c);
        const TProbeView ff = ProbeView(file);
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(file)) << probe.LastErrorMessage().toStdString();

        EXPECT_EQ(probe.FileSize(), QFileInfo(file).size());
        EXPECT_EQ(probe.StreamCount(), ff.StreamCount);
        EXPECT_EQ(probe.VideoStreamCount(), c.HasVideo ? 1 : 0);
        EXPECT_EQ(probe.AudioStreamCount(), c.HasAudio ? 1 : 0);

        TFileStreamInfo info;
        probe.GetFileStreamInfo(info);
        EXPECT_NEAR(double(info.Duration), double(ProbeMicroseconds(Field(ff.Format, "duration"))), 1.0);
        EXPECT_NEAR(double(info.StartTime), double(ProbeMicroseconds(Field(ff.Format, "start_time"))), 1.0);
        EXPECT_EQ(info.BitRate, ProbeInt(Field(ff.Format, "bit_rate")));

        if (c.HasVideo) {
            TVideoStreamInfo v;
            probe.GetVideoStreamInfo(v);
            EXPECT_EQ(v.Width, ProbeInt(Field(ff.Video, "width")));
            EXPECT_EQ(v.Height, ProbeInt(Field(ff.Video, "height")));
            EXPECT_EQ(QStringLiteral("%1/%2").arg(v.FrameRateNum).arg(v.FrameRateDen), Field(ff.Video, "r_frame_rate"));
            EXPECT_EQ(QString::fromUtf8(FF.av_get_pix_fmt_name(AVPixelFormat(v.PixelFormat))), Field(ff.Video, "pix_fmt"));
            EXPECT_TRUE(v.Codec.contains(Field(ff.Video, "codec_name")) || v.Codec.contains(Field(ff.Video, "codec_long_name")))
                << v.Codec.toStdString();
            EXPECT_NEAR(double(v.Duration), double(ProbeMicroseconds(Field(ff.Video, "duration"))), 1.0);
            EXPECT_NEAR(v.DisplayAspect, ProbeRatio(Field(ff.Video, "display_aspect_ratio")), 0.01);
            EXPECT_EQ(v.BitRate, ProbeInt(Field(ff.Video, "bit_rate")));
        }
        if (c.HasAudio) {
            TAudioStreamInfo a;
            probe.GetAudioStreamInfo(-1, a);
            EXPECT_EQ(a.SampleRate, ProbeInt(Field(ff.Audio, "sample_rate")));
            EXPECT_EQ(a.Channels, ProbeInt(Field(ff.Audio, "channels")));
            EXPECT_EQ(a.BitRate, ProbeInt(Field(ff.Audio, "bit_rate")));
            EXPECT_EQ(QString::fromUtf8(FF.av_get_sample_fmt_name(AVSampleFormat(a.SampleFormat))), Field(ff.Audio, "sample_fmt"));
            EXPECT_TRUE(a.Codec.contains(Field(ff.Audio, "codec_name"))) << a.Codec.toStdString();
            EXPECT_NEAR(double(a.Duration), double(ProbeMicroseconds(Field(ff.Audio, "duration"))), 1.0);
        }
    }
}

TEST_F(ProbeTest, ThumbnailAtHalfDurationMatchesFfmpegSeek)
{
    QTemporaryDir tmp;
    for (const TMediaCase& c : MediaCases()) {
        if (!c.HasVideo)
            continue;
        SCOPED_TRACE(c.Name);
        const QString file = Fixture(c);
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(file)) << probe.LastErrorMessage().toStdString();
        TFileStreamInfo info;
        probe.GetFileStreamInfo(info);
        // As the input list does it: an unknown duration halves to 0.
        const std::int64_t half = info.Duration > 0 ? info.Duration / 2 : 0;

        ASSERT_TRUE(probe.Seek(0, half)) << probe.LastErrorMessage().toStdString();
        ASSERT_TRUE(probe.DecodeNextFrame(-1)) << probe.LastErrorMessage().toStdString();
        if (probe.PictureTime() >= 0) {
            EXPECT_GE(probe.PictureTime(), half - 40000);
            EXPECT_LT(probe.PictureTime(), half + 80000);
        }
        TBitmap bitmap;
        ASSERT_TRUE(probe.GetBitmap(bitmap));
        TVideoStreamInfo v;
        probe.GetVideoStreamInfo(v);
        EXPECT_EQ(bitmap.Width, v.Width);
        EXPECT_EQ(bitmap.Height, v.Height);
        EXPECT_EQ(bitmap.Stride % 4, 0);
        EXPECT_GE(bitmap.Stride, bitmap.Width * 3);

        const QByteArray reference = ReferenceFrame(file, half / 1e6, tmp.path());
        ASSERT_EQ(reference.size(), qsizetype(bitmap.Width) * bitmap.Height * 3);
        EXPECT_GT(Psnr(PackedRows(bitmap), reference), 30.0);
    }
}

TEST_F(ProbeTest, AbsentValuesAreMinusOne)
{
    TAVProbe probe;
    // Closed probe: every fact -1 and a warning.
    TFileStreamInfo info;
    info.Duration = 5;
    probe.GetFileStreamInfo(info);
    EXPECT_EQ(info.Duration, -1);
    EXPECT_EQ(info.BitRate, -1);
    EXPECT_EQ(probe.LastErrorMessage(), "file not loaded.");
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.FileSize(), -1);
    EXPECT_TRUE(probe.GetFileName().isEmpty());

    // Audio only.
    const auto cases = MediaCases();
    const QString mp3 = Fixture(cases[8]);
    ASSERT_TRUE(probe.LoadFile(mp3));
    EXPECT_EQ(probe.FirstVideoStream(), -1);
    EXPECT_EQ(probe.CurrentStream(), probe.FirstAudioStream());
    TVideoStreamInfo v;
    probe.GetVideoStreamInfo(v);
    EXPECT_EQ(probe.LastErrorMessage(), "no video stream.");
    EXPECT_EQ(v.Width, -1);
    EXPECT_EQ(v.Height, -1);
    EXPECT_EQ(v.DisplayAspect, -1.0f);
    EXPECT_TRUE(v.Codec.isEmpty());
    EXPECT_FALSE(probe.DecodeNextFrame(-1));
    EXPECT_EQ(probe.LastErrorMessage(), "no video stream.");

    // Raw stream: no duration anywhere, never the library's no-value constant.
    ASSERT_TRUE(probe.LoadFile(Fixture(cases[9])));
    probe.GetFileStreamInfo(info);
    EXPECT_EQ(info.Duration, -1);
    EXPECT_EQ(info.StartTime, -1);
    probe.GetVideoStreamInfo(v);
    EXPECT_EQ(v.Duration, -1);
    EXPECT_EQ(v.RawDuration, AV_NOPTS_VALUE); // raw fields are copied as they are

    // No sample aspect ratio declared.
    ASSERT_TRUE(probe.LoadFile(Fixture(cases[10])));
    probe.GetVideoStreamInfo(v);
    EXPECT_EQ(v.DisplayAspect, 0.0f);

    probe.CloseFile();
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.FirstAudioStream(), -1);
    EXPECT_EQ(probe.CurrentStream(), -1);
}

TEST_F(ProbeTest, StreamIndexErrorsAreReportedThroughTheLogger)
{
    std::vector<std::pair<TLogLevel, QString>> lines;
    QObject* sender = nullptr;
    FFLogger()->OnLog = [&](QObject* s, std::uint32_t, TLogLevel level, const QString& msg) {
        sender = s;
        lines.emplace_back(level, msg);
    };
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(MediaCases()[0])));
    TVideoStreamInfo v;
    probe.GetVideoStreamInfo(5, v);
    EXPECT_EQ(probe.LastErrorMessage(), "stream index #5 is invalid.");
    probe.GetVideoStreamInfo(probe.FirstAudioStream(), v);
    EXPECT_EQ(probe.LastErrorMessage(), QStringLiteral("stream #%1 is not video stream.").arg(probe.FirstAudioStream()));
    TAudioStreamInfo a;
    probe.GetAudioStreamInfo(probe.FirstVideoStream(), a);
    EXPECT_EQ(probe.LastErrorMessage(), QStringLiteral("stream #%1 is not audio stream.").arg(probe.FirstVideoStream()));
    EXPECT_EQ(a.SampleRate, -1);
    EXPECT_FALSE(probe.DecodeNextFrame(probe.FirstAudioStream()));

    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], std::make_pair(llError, QStringLiteral("stream index #5 is invalid.")));
    EXPECT_EQ(sender, &probe);

    // Unknown forced format: the reason, but nothing logged.
    lines.clear();
    EXPECT_FALSE(probe.LoadFile(Fixture(MediaCases()[0]), "nosuchformat"));
    EXPECT_EQ(probe.LastErrorMessage(), "Unknown input format: nosuchformat");
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(probe.IsOpen());
}

TEST_F(ProbeTest, ForcedFormatAndFileName)
{
    TAVProbe probe;
    const QString file = Fixture(MediaCases()[0]);
    ASSERT_TRUE(probe.LoadFile(file, "mp4"));
    EXPECT_EQ(probe.ForcedFormat(), "mp4");
    EXPECT_EQ(probe.GetFileName(), file);
    ASSERT_TRUE(probe.LoadFile(file));
    EXPECT_TRUE(probe.ForcedFormat().isEmpty());
}

TEST_F(ProbeTest, DecodesToTheEndAndSeeksBackToTheStart)
{
    const auto cases = MediaCases();
    for (const TMediaCase& c : {cases[10], cases[9]}) { // 2 s at 25 frames per second; mkv and raw
        SCOPED_TRACE(c.Name);
        const bool timed = c.Name == cases[10].Name;
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(Fixture(c)));
        int frames = 0;
        std::int64_t last = -1;
        while (probe.DecodeNextFrame(-1)) {
            ++frames;
            if (timed) {
                EXPECT_GT(probe.PictureTime(), last);
                last = probe.PictureTime();
            }
            ASSERT_LT(frames, 200);
        }
        EXPECT_EQ(frames, 50);
        EXPECT_TRUE(probe.EndOfStream());
        EXPECT_EQ(probe.LastErrorMessage(), "stream eof reached.");
        EXPECT_FALSE(probe.DecodeNextFrame(-1));

        // Seek to 0 (and below) starts again from the first picture.
        for (std::int64_t start : {std::int64_t(0), std::int64_t(-5000000)}) {
            ASSERT_TRUE(probe.Seek(0, start)) << probe.LastErrorMessage().toStdString();
            EXPECT_FALSE(probe.PictureReady());
            EXPECT_FALSE(probe.EndOfStream());
            ASSERT_TRUE(probe.DecodeNextFrame(-1));
            EXPECT_TRUE(probe.PictureKeyFrame());
            if (timed) {
                EXPECT_EQ(probe.PictureTime(), 0);
            }
        }
    }
}

TEST_F(ProbeTest, BitmapNeedsADecodedPicture)
{
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(MediaCases()[0])));
    TBitmap bitmap;
    bitmap.SetSize(2, 2);
    bitmap.Bits[0] = 7;
    EXPECT_FALSE(probe.GetBitmap(bitmap));
    EXPECT_EQ(probe.LastErrorMessage(), "picture not ready, please decode first");
    EXPECT_EQ(bitmap.Width, 2);
    EXPECT_EQ(bitmap.Bits[0], 7);
}

TEST_F(ProbeTest, StillImageDecodesOnceAndCannotSeek)
{
    const QString png = MediaFixture("probe_still.png", TestSource("64x48", 1, false) + QStringList{"-frames:v", "1"});
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(png, "image2"));
    EXPECT_FALSE(probe.Seek(0, 1000));
    EXPECT_EQ(probe.LastErrorMessage(), "\"image2\" format cannot to be seeked.");
    ASSERT_TRUE(probe.DecodeNextFrame(-1));
    ASSERT_TRUE(probe.DecodeNextFrame(-1)); // the same picture, not the end of the file
    TBitmap bitmap;
    ASSERT_TRUE(probe.GetBitmap(bitmap));
    EXPECT_EQ(bitmap.Width, 64);
    EXPECT_EQ(bitmap.Height, 48);
}

TEST_F(ProbeTest, AttachedContextGivesFactsButNeverSeeksOrCloses)
{
    const QString file = Fixture(MediaCases()[0]);
    AVFormatContext* context = nullptr;
    ASSERT_EQ(FF.avformat_open_input(&context, file.toUtf8().constData(), nullptr, nullptr), 0);
    ASSERT_GE(FF.avformat_find_stream_info(context, nullptr), 0);
    {
        TAVProbe probe;
        probe.AttachContext(context);
        EXPECT_EQ(probe.StreamCount(), 2);
        TVideoStreamInfo v;
        probe.GetVideoStreamInfo(v);
        EXPECT_EQ(v.Width, 320);
        try {
            probe.Seek(0, 0);
            ADD_FAILURE() << "Seek on an attached context must raise";
        } catch (const FFmpegException& e) {
            EXPECT_EQ(e.Message(), "file cannot be seeked, handle is readonly.");
        }
        EXPECT_THROW(probe.DecodeNextFrame(-1), FFmpegException);
        probe.CloseFile();
        EXPECT_EQ(probe.StreamCount(), -1);
    }
    // Still ours to close: the probe left it alone.
    EXPECT_EQ(context->nb_streams, 2u);
    FF.avformat_close_input(&context);
}

TEST_F(ProbeTest, CodecDescriptionNamesTheDecoder)
{
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(MediaCases()[0])));
    EXPECT_EQ(probe.CodecDescription(probe.FirstVideoStream()), "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
    EXPECT_TRUE(probe.CodecDescription(probe.FirstAudioStream()).startsWith("aac("));
    EXPECT_TRUE(probe.CodecDescription(99).isEmpty());
}

TEST_F(ProbeTest, SeekPastTheLastPictureGivesTheLastPicture)
{
    // A header that overstates the duration must still give a thumbnail.
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(MediaCases()[10]))); // 2 s
    ASSERT_TRUE(probe.Seek(0, 6000000)) << probe.LastErrorMessage().toStdString();
    ASSERT_TRUE(probe.DecodeNextFrame(-1)) << probe.LastErrorMessage().toStdString();
    EXPECT_EQ(probe.PictureTime(), 1960000);
    EXPECT_FALSE(probe.DecodeNextFrame(-1));
    EXPECT_EQ(probe.LastErrorMessage(), "stream eof reached.");
}
