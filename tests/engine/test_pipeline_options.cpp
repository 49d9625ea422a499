// Options that must change what the transcoder writes: scaler flags, forced decoders and their
// options, private muxer and encoder options, a later codec replacing "copy", the options that
// have no effect here, and the statistics file.
#include "EngineFixtures.h"
#include "FFmpegEngine.h"
#include "FFmpegTask.h"
#include "test_options_support.h"
#include "test_pipeline_support.h"

#include <QDir>
#include <QFile>

namespace {

using PipelineOptions = PipelineTest;

// The first picture of a file scaled by the ffmpeg command line with the given flags.
QByteArray CommandLineScaled(const QString& src, const QString& flags, const QString& dir)
{
    const QString out = dir + "/cli_" + flags + ".avi";
    RunCommand("ffmpeg", {"-v", "error", "-y", "-i", src, "-frames:v", "1", "-vf",
                          "scale=160:120:flags=" + flags, "-c:v", "rawvideo", "-pix_fmt", "yuv420p", out});
    return ReferenceFrame(out, 0, dir);
}

TEST_F(PipelineOptions, ScalerFlagsChangeTheScaledPicture)
{
    const QString src = Clip("opt_scale_src.avi", 1, {"-c:v", "rawvideo", "-pix_fmt", "yuv420p"}, "320x240", false);
    QByteArray pictures[2];
    const char* flags[2] = {nullptr, "neighbor"};
    for (int i = 0; i < 2; ++i) {
        TJob job;
        ASSERT_TRUE(job.Input(src));
        const QString out = Out(QString("scaled%1.avi").arg(i));
        TOptionList options{{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}, {"s", "160x120"}};
        if (flags[i]) options.insert(options.begin(), {"sws_flags", flags[i]});
        ASSERT_TRUE(job.Output(out, options)) << job.Error.toStdString();
        ASSERT_EQ(job.Run().toStdString(), "");
        pictures[i] = ReferenceFrame(out, 0, Dir.path());
        ASSERT_FALSE(pictures[i].isEmpty());
    }
    EXPECT_NE(pictures[0], pictures[1]);
    // Each output is the command line's picture for the same flags.
    EXPECT_GT(Psnr(pictures[0], CommandLineScaled(src, "bicubic", Dir.path())), 50);
    EXPECT_GT(Psnr(pictures[1], CommandLineScaled(src, "neighbor", Dir.path())), 50);
}

TEST_F(PipelineOptions, ForcedDecoderAndDecoderOptionsApplyToTheirInput)
{
    // Little-endian samples read by the big-endian decoder come out byte-swapped.
    const QString wav = MediaFixture("opt_tone.wav", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000",
                                                      "-t", "1", "-c:a", "pcm_s16le"});
    TJob job;
    ASSERT_TRUE(job.Input(wav, {{"acodec", "pcm_s16be"}}));
    const QString out = Out("swapped.wav");
    ASSERT_TRUE(job.Output(out, {{"acodec", "pcm_s16le"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    const std::vector<qint16> source = Samples(wav, Out("a.raw"));
    const std::vector<qint16> swapped = Samples(out, Out("b.raw"));
    ASSERT_EQ(source.size(), swapped.size());
    size_t same = 0;
    for (size_t i = 0; i < source.size(); ++i)
        same += qint16(quint16(source[i]) << 8 | quint16(source[i]) >> 8) == swapped[i];
    EXPECT_EQ(same, source.size());

    // A decoding option given before the input: the picture is decoded at half size.
    const QString jpeg = Clip("opt_mjpeg.avi", 1, {"-c:v", "mjpeg", "-q:v", "3"}, "320x240", false);
    TJob small;
    ASSERT_TRUE(small.Input(jpeg, {{"lowres", "1"}}));
    const QString half = Out("half.avi");
    ASSERT_TRUE(small.Output(half, {{"vcodec", "mpeg4"}}));
    ASSERT_EQ(small.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(half, "stream=width", "v:0"), "160");
    EXPECT_EQ(ProbeValue(half, "stream=height", "v:0"), "120");
}

// program_mux_rate of the first pack header of an MPEG-1 program stream, in 50 bytes/s.
int MuxRateOf(const QByteArray& ps)
{
    if (ps.size() < 12 || !ps.startsWith(QByteArray("\x00\x00\x01\xba", 4))) return -1;
    const auto b = [&ps](int i) { return int(uchar(ps[i])); };
    return ((b(9) & 0x7f) << 15) | (b(10) << 7) | (b(11) >> 1);
}

TEST_F(PipelineOptions, PrivateMuxerAndEncoderOptionsReachAGuessedFormat)
{
    const QString src = Clip("opt_mux_src.avi", 1, {"-c:v", "mpeg4", "-c:a", "mp2"}, "160x120");
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString mpg = Out("rate.mpg");
    ASSERT_TRUE(job.Output(mpg, {{"muxrate", "10080000"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(MuxRateOf(FileBytes(mpg)), 10080000 / 400);

    // An encoder guessed from the name takes its own options ("crf" of the H.264 encoder, whose
    // settings are written into the stream).
    TJob h264;
    ASSERT_TRUE(h264.Input(src));
    const QString mp4 = Out("crf.mp4");
    ASSERT_TRUE(h264.Output(mp4, {{"crf", "31"}}));
    ASSERT_EQ(h264.Run().toStdString(), "");
    const QByteArray bytes = FileBytes(mp4);
    EXPECT_TRUE(bytes.contains("crf=31.0")) << bytes.mid(bytes.indexOf("x264"), 600).constData();
}

TEST_F(PipelineOptions, AFieldAppliedAfterTheCustomTextReplacesItsCopy)
{
    const QString src = H264Clip();
    TFFmpegEngine engine;
    const int task = engine.AddTask(src);
    ASSERT_GE(task, 0) << engine.LastError().toStdString();
    TOutputOptions o;
    o.ExtOptions = "vcodec=copy<CRLF>acodec=copy";
    o.VideoCodec = "mpeg4";
    ASSERT_TRUE(engine.SetOutputFile(task, Out("replaced.avi"), &o)) << engine.LastError().toStdString();
    TOutputOptions copied;
    copied.ExtOptions = "vcodec=mpeg4\nvcodec=copy";
    ASSERT_TRUE(engine.SetOutputFile(task, Out("copied.mkv"), &copied)) << engine.LastError().toStdString();
    engine.StartTask(0);
    EXPECT_EQ(ProbeValue(Out("replaced.avi"), "stream=codec_name", "v:0"), "mpeg4");
    EXPECT_EQ(ProbeValue(Out("replaced.avi"), "stream=codec_name", "a:0"), "aac"); // still copied
    EXPECT_EQ(ProbeValue(Out("copied.mkv"), "stream=codec_name", "v:0"), "h264");
}

TEST_F(PipelineOptions, OptionsWithoutEffectSaySoAndPgmyuvWritesItsCodec)
{
    TLogCapture log;
    TJob job;
    for (const char* name : {"tvstd", "vc", "me_threshold"}) {
        log.Clear();
        job.T.SetOption(name, "1");
        EXPECT_TRUE(log.Contains(QString("Option \"%1\" has no effect on this library version").arg(name)))
            << name;
    }

    const QString src = Clip("opt_pgm_src.avi", 0.2, {"-c:v", "mpeg4"}, "160x120", false);
    TJob pgm;
    ASSERT_TRUE(pgm.Input(src));
    ASSERT_TRUE(pgm.Output(Out("img%03d.pgm"), {{"f", "pgmyuv"}, {"vframes", "1"}}));
    ASSERT_EQ(pgm.Run().toStdString(), "");
    // A picture of the pgmyuv codec: the chroma planes stand below the luma, half as high.
    EXPECT_EQ(ProbeValue(Out("img001.pgm"), "stream=height", "v:0"), "180");
}

TEST_F(PipelineOptions, StatisticsFileHasPsnrAndThePictureTypes)
{
    const QString src = Clip("opt_stats_src.avi", 1, {"-c:v", "mpeg4"}, "160x120", false);
    const QString stats = Out("stats.log");
    TJob job;
    ASSERT_TRUE(job.Input(src));
    ASSERT_TRUE(job.Output(Out("stats.avi"), {{"vcodec", "mpeg4"}, {"g", "5"}, {"psnr", "1"}, {"vstats_file", stats}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    const QStringList lines = QString::fromUtf8(FileBytes(stats)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 25);
    static const QRegularExpression form(
        QStringLiteral("^frame= +\\d+ q= *[\\d.]+ PSNR= *[\\d.]+ f_size= +\\d+ s_size= +\\d+kB time= [\\d.]+ "
                       "br= +[\\d.]+kbits/s avg_br= +[\\d.]+kbits/s type= ([IPB])$"));
    QString types;
    for (const QString& line : lines) {
        const auto m = form.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        types += m.captured(1);
    }
    EXPECT_TRUE(types.startsWith("IPPPPI")) << types.toStdString();
}

} // namespace
