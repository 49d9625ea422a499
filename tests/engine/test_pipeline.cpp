// The transcoder converting generated clips end to end; ffprobe and a decode by the ffmpeg
// command line judge the results.
#include "test_pipeline_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Pipeline = PipelineTest;

struct TFormatCase {
    const char* File;
    const char* VideoCodec; // nullptr: audio only
    const char* AudioCodec;
    const char* VideoName;
    const char* AudioName;
};

TEST_F(Pipeline, ConvertsIntoCommonFormats)
{
    const QString src = H264Clip();
    const TFormatCase cases[] = {
        {"out.mp4", "libx264", "aac", "h264", "aac"},
        {"out.avi", "mpeg4", "libmp3lame", "mpeg4", "mp3"},
        {"out.mpg", "mpeg2video", "mp2", "mpeg2video", "mp2"},
        {"out.wmv", "wmv2", "wmav2", "wmv2", "wmav2"},
        {"out.flv", "flv", "libmp3lame", "flv1", "mp3"},
        {"out.ogv", "libtheora", "libvorbis", "theora", "vorbis"},
        {"out.mp3", nullptr, "libmp3lame", nullptr, "mp3"},
        {"out.wav", nullptr, "pcm_s16le", nullptr, "pcm_s16le"},
        {"out.ogg", nullptr, "libvorbis", nullptr, "vorbis"},
    };
    for (const TFormatCase& c : cases) {
        SCOPED_TRACE(c.File);
        TJob job;
        ASSERT_TRUE(job.Input(src)) << job.Error.toStdString();
        TOptionList options{{"acodec", c.AudioCodec}, {"ab", "128000"}};
        if (c.VideoCodec) options.push_back({"vcodec", c.VideoCodec});
        else options.push_back({"vn", "1"});
        const QString out = Out(c.File);
        ASSERT_TRUE(job.Output(out, options)) << job.Error.toStdString();
        ASSERT_EQ(job.Run().toStdString(), "");
        EXPECT_TRUE(job.T.Finished());
        EXPECT_EQ(DecodeErrors(out).toStdString(), "");
        if (c.VideoName) {
            EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0").toStdString(), c.VideoName);
            EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "320");
        } else {
            EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v"), "");
        }
        EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0").toStdString(), c.AudioName);
        EXPECT_NEAR(Duration(out), 2.0, 0.15);

        // Progress: a last report for the whole run.
        ASSERT_FALSE(job.Reports.empty());
        const TProgressInfo& last = job.Reports.back();
        EXPECT_EQ(last.FileIndex, -1);
        EXPECT_NEAR(double(last.TotalDuration) / 1e6, 2.0, 0.1);
        EXPECT_NEAR(double(last.CurrentDuration) / 1e6, 2.0, 0.2);
        EXPECT_EQ(last.CurrentSize, QFileInfo(out).size());
        if (c.VideoName) EXPECT_EQ(last.FrameNumber, 50);
        else EXPECT_EQ(last.FrameNumber, -1);
    }
}

TEST_F(Pipeline, StreamCopyKeepsEveryPacket)
{
    const QString src = H264Clip();
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("copy.mkv");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "copy"}, {"acodec", "copy"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "h264");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), "aac");
    EXPECT_EQ(CountFrames(out, "v:0"), CountFrames(src, "v:0"));
    EXPECT_EQ(job.Reports.back().Quality, -1.0f);
}

TEST_F(Pipeline, AudioOnlyInputGetsNoVideoStreamFromTheMuxerDefault)
{
    const QString src = Clip("pipe_tone.wav", 1, {"-c:a", "pcm_s16le"}, {}, true, false);
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("tone.avi"); // the AVI muxer's default video codec is MPEG-4
    ASSERT_TRUE(job.Output(out));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=codec_type"), "audio");
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");
}

TEST_F(Pipeline, FitsTheFrameWithPadding)
{
    const QString src = Clip("pipe_wide.mp4", 1, {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"},
                             "640x360", false);
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("fit.mp4");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "libx264"}, {"s", "320x180"}, {"padtop", "30"}, {"padbottom", "30"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "320");
    EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), "240");
    // Black bars above and below, picture between.
    const QString gray = Out("fit.gray");
    RunCommand("ffmpeg", {"-v", "error", "-i", out, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "gray", gray});
    QFile f(gray);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray y = f.readAll();
    ASSERT_EQ(y.size(), 320 * 240);
    auto rowMean = [&](int row) {
        int sum = 0;
        for (int x = 0; x < 320; ++x) sum += quint8(y[row * 320 + x]);
        return sum / 320;
    };
    EXPECT_LT(rowMean(5), 24);
    EXPECT_LT(rowMean(235), 24);
    EXPECT_GT(rowMean(120), 40);
}

TEST_F(Pipeline, VolumeDoublesSamplesAndClips)
{
    const QString src = MediaFixture("pipe_ramp.wav", {"-f", "lavfi", "-i",
                                                       "aevalsrc=0.75*sin(2*PI*50*t):s=8000:d=0.5", "-c:a",
                                                       "pcm_s16le"});
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("loud.wav");
    ASSERT_TRUE(job.Output(out, {{"acodec", "pcm_s16le"}, {"vol", "512"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    const std::vector<qint16> in = Samples(src, Out("in.raw"));
    const std::vector<qint16> loud = Samples(out, Out("out.raw"));
    ASSERT_EQ(in.size(), loud.size());
    ASSERT_GT(in.size(), 1000u);
    int clipped = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const int expected = std::clamp((in[i] * 512 + 128) >> 8, -32768, 32767);
        ASSERT_EQ(loud[i], expected) << "sample " << i;
        if (expected == 32767 || expected == -32768) ++clipped;
    }
    EXPECT_GT(clipped, 100);
}

TEST_F(Pipeline, HigherFrameRateDuplicatesFrames)
{
    const QString src = H264Clip();
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("ntsc.avi");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"r", "30000/1001"}, {"an", "1"}, {"vsync", "1"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    const int frames = CountFrames(out);
    EXPECT_NEAR(frames, 60, 1); // 2 s at 29.97 fps from 50 frames: about one in six repeated
    EXPECT_EQ(job.Reports.back().FrameNumber, frames);
}

TEST_F(Pipeline, AudioSyncAddsSilenceForALateStart)
{
    const QString src = MediaFixture("pipe_late_audio.mkv",
                                     {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:d=2", "-itsoffset", "0.5",
                                      "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000:d=1.5", "-c:v",
                                      "mpeg4", "-c:a", "pcm_s16le"});
    for (int method : {0, 1}) {
        SCOPED_TRACE(method);
        TJob job;
        ASSERT_TRUE(job.Input(src));
        const QString out = Out(QString("sync%1.wav").arg(method));
        ASSERT_TRUE(job.Output(out, {{"acodec", "pcm_s16le"}, {"async", QString::number(method)}}));
        ASSERT_EQ(job.Run().toStdString(), "");
        const std::vector<qint16> s = Samples(out, Out("sync.raw"));
        const double seconds = double(s.size()) / 8000.0;
        if (method == 0) {
            EXPECT_NEAR(seconds, 1.5, 0.03);
        } else {
            EXPECT_NEAR(seconds, 2.0, 0.03);
            // The first 0.5 s are silent, the tone follows.
            int loud = 0;
            for (size_t i = 0; i < 3900; ++i) loud += std::abs(s[i]) > 100;
            EXPECT_EQ(loud, 0);
            EXPECT_GT(std::abs(*std::max_element(s.begin() + 4200, s.begin() + 4400)), 1000);
        }
    }
}

TEST_F(Pipeline, RecordingTimeAndFileSizeLimitEndTheRun)
{
    const QString src = H264Clip();
    {
        TJob job;
        ASSERT_TRUE(job.Input(src));
        const QString out = Out("short.mp4");
        ASSERT_TRUE(job.Output(out, {{"vcodec", "libx264"}, {"acodec", "aac"}, {"t", "1"}}));
        ASSERT_EQ(job.Run().toStdString(), "");
        EXPECT_NEAR(Duration(out), 1.0, 0.1);
        EXPECT_EQ(DecodeErrors(out).toStdString(), "");
        EXPECT_EQ(job.Reports.back().TotalDuration, 1000000);
    }
    {
        // A start position on the output skips the first second, for copies and encodes alike.
        TJob job;
        ASSERT_TRUE(job.Input(src));
        const QString out = Out("later.mkv");
        ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"acodec", "copy"}, {"ss", "1"}}));
        ASSERT_EQ(job.Run().toStdString(), "");
        EXPECT_NEAR(Duration(out), 1.0, 0.1);
        EXPECT_NEAR(CountFrames(out), 25, 1);
        EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    }
    {
        TJob job;
        ASSERT_TRUE(job.Input(src));
        const QString out = Out("limited.avi");
        ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"qscale", "2"}, {"acodec", "libmp3lame"}, {"fs", "100000"}}));
        ASSERT_EQ(job.Run().toStdString(), "");
        const qint64 size = QFileInfo(out).size();
        EXPECT_GE(size, 100000);
        EXPECT_LT(size, 160000);
        EXPECT_LT(Duration(out), 1.9);
        EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    }
}

TEST_F(Pipeline, ShortestEndsWithTheFirstInputToEnd)
{
    // Video from one file, sound from another that is half as long.
    const QString video = H264Clip();
    const QString sound = Clip("pipe_tone.wav", 1, {"-c:a", "pcm_s16le"}, {}, true, false);
    for (bool shortest : {false, true}) {
        SCOPED_TRACE(shortest);
        TJob job;
        ASSERT_TRUE(job.Input(video, {{"an", "1"}}));
        ASSERT_TRUE(job.Input(sound, {{"an", "0"}}));
        const QString out = Out(shortest ? "shortest.avi" : "longest.avi");
        TOptionList options{{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}};
        if (shortest) options.push_back({"shortest", "1"});
        ASSERT_TRUE(job.Output(out, options));
        ASSERT_EQ(job.Run().toStdString(), "");
        EXPECT_EQ(DecodeErrors(out).toStdString(), "");
        EXPECT_NEAR(Duration(out, "v:0"), shortest ? 1.0 : 2.0, 0.25);
    }
}

TEST_F(Pipeline, LoopedInputRunsToTheRecordingTime)
{
    TJob job;
    ASSERT_TRUE(job.Input(Clip("pipe_tone.wav", 1, {"-c:a", "pcm_s16le"}, {}, true, false), {{"loop_input", "1"}}));
    const QString out = Out("looped.wav");
    ASSERT_TRUE(job.Output(out, {{"t", "2.5"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_NEAR(Duration(out), 2.5, 0.05);
}

TEST_F(Pipeline, TwoPassEncoding)
{
    const QString src = H264Clip();
    const QString log = Out("passlog");
    {
        TJob job;
        ASSERT_TRUE(job.Input(src));
        ASSERT_TRUE(job.Output(Out("pass1.avi"), {{"vcodec", "mpeg4"}, {"b", "300000"}, {"an", "1"}, {"pass", "1"},
                                                  {"passlogfile", log}}));
        ASSERT_EQ(job.Run().toStdString(), "");
    }
    ASSERT_GT(QFileInfo(log + "-0.log").size(), 100);
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("pass2.avi");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"b", "300000"}, {"an", "1"}, {"pass", "2"},
                                 {"passlogfile", log}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    EXPECT_EQ(CountFrames(out), 50);

    TJob missing;
    ASSERT_TRUE(missing.Input(src));
    ASSERT_TRUE(missing.Output(Out("pass2b.avi"), {{"vcodec", "mpeg4"}, {"an", "1"}, {"pass", "2"},
                                                   {"passlogfile", Out("nolog")}}));
    EXPECT_NE(missing.Run().indexOf("for pass-2 encoding"), -1);
}

TEST_F(Pipeline, StreamMapsMustMatchTheOutputStreams)
{
    TJob job;
    ASSERT_TRUE(job.Input(H264Clip()));
    ASSERT_TRUE(job.Output(Out("map.mp4"), {{"map", "0:0"}}));
    EXPECT_EQ(job.Run().toStdString(), "Number of stream maps must match number of output streams");

    TJob swapped;
    ASSERT_TRUE(swapped.Input(H264Clip()));
    ASSERT_TRUE(swapped.Output(Out("map2.mp4"), {{"map", "0:1"}, {"map", "0:0"}}));
    EXPECT_EQ(swapped.Run().toStdString(), "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)");
}

TEST_F(Pipeline, JoinsTwoInputsIntoOneOutput)
{
    const QString a = H264Clip();
    const QString b = Clip("pipe_b.avi", 1, {"-c:v", "mpeg4", "-c:a", "libmp3lame", "-ar", "48000"}, "160x120");
    TJob job;
    ASSERT_TRUE(job.Input(a));
    ASSERT_TRUE(job.Input(b));
    const QString out = Out("joined.mp4");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "libx264"}, {"acodec", "aac"}, {"s", "320x240"}}, true));
    EXPECT_EQ(job.T.OutputFileCount(), 2); // one entry per input, one file
    EXPECT_TRUE(job.T.Joining());
    const std::int64_t total = job.T.TotalDuration();

    EXPECT_FALSE(job.Output(Out("second.mp4")));
    EXPECT_EQ(job.Error.toStdString(), "Cannot join more than one output file.");

    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    const double expected = double(total) / 1e6;
    EXPECT_NEAR(expected, 3.0, 0.1);
    EXPECT_NEAR(Duration(out, "v:0"), expected, 0.04 + 0.001);
    EXPECT_NEAR(Duration(out), expected, 0.1);
    EXPECT_NEAR(job.Reports.back().FrameNumber, 75, 1);

    // Timestamps never go back.
    for (const char* stream : {"v:0", "a:0"}) {
        const CommandResult r = RunCommand("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries",
                                                       "packet=dts_time", "-of", "csv=p=0", out});
        double previous = -1;
        for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
            bool ok = false;
            const double t = line.trimmed().toDouble(&ok);
            if (!ok) continue;
            EXPECT_GT(t, previous) << stream;
            previous = t;
        }
    }
}

TEST_F(Pipeline, StopRequestLeavesADecodableFile)
{
    const QString src = Clip("pipe_long.mp4", 8, {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                                                  "-c:a", "aac"});
    TJob job;
    job.T.ProgressInterval = 1;
    job.T.OnProgressReport = [&job](const TProgressInfo& info) {
        job.Reports.push_back(info);
        if (info.CurrentDuration > 1000000) job.T.RequestStop();
    };
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("stopped.mp4");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "libx264"}, {"acodec", "aac"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_FALSE(job.T.Finished());
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    const double d = Duration(out);
    EXPECT_GT(d, 0.5);
    EXPECT_LT(d, 6.0);
    EXPECT_EQ(job.Reports.back().FileIndex, -1);
}

QByteArray Digest(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

TEST_F(Pipeline, DamagedInputsEndCleanly)
{
    const QString good = Clip("pipe_damage.mpg", 2, {"-c:v", "mpeg2video", "-c:a", "mp2"});
    QFile source(good);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();

    // Cut in the middle.
    const QString truncated = Out("truncated.mpg");
    {
        QFile f(truncated);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.left(bytes.size() / 2));
    }
    // Garbage over a stretch of packets.
    const QString corrupt = Out("corrupt.mpg");
    {
        QByteArray damaged = bytes;
        for (int i = damaged.size() / 3; i < damaged.size() / 3 + 20000 && i < damaged.size(); ++i)
            damaged[i] = char((i * 7919) & 0xff);
        QFile f(corrupt);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged);
    }
    for (const QString& input : {truncated, corrupt}) {
        SCOPED_TRACE(input.toStdString());
        const QByteArray before = Digest(input);
        TJob job;
        ASSERT_TRUE(job.Input(input));
        const QString out = input + ".mp4";
        ASSERT_TRUE(job.Output(out, {{"vcodec", "libx264"}, {"acodec", "aac"}}));
        EXPECT_EQ(job.Run().toStdString(), "");
        EXPECT_GT(QFileInfo(out).size(), 1000);
        EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "h264");
        EXPECT_EQ(Digest(input), before);
    }

    // Not a media file at all.
    const QString text = Out("notes.mp4");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("just some words, no media here\n");
    }
    TJob job;
    EXPECT_FALSE(job.Input(text));
    EXPECT_TRUE(job.Error.startsWith(text + ": ")) << job.Error.toStdString();
}

TEST_F(Pipeline, WriteFailuresNameTheProblem)
{
    const QString src = H264Clip();
    const QByteArray before = Digest(src);

    // The disk fills up: the process may not write more than 60 kB per file.
    {
        TJob job;
        ASSERT_TRUE(job.Input(src));
        const QString out = Out("full.avi");
        ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"qscale", "1"}, {"acodec", "libmp3lame"}}));
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 60000;
        setrlimit(RLIMIT_FSIZE, &limited);
        const QString error = job.Run();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_NE(error.indexOf("File too large"), -1) << error.toStdString();
    }

    // The output folder cannot take files.
    {
        QString folder = Out("locked");
        QDir().mkpath(folder);
        QString out = folder + "/out.mp4";
        if (geteuid() == 0) out = src + "/out.mp4"; // root writes anywhere; a file is no folder
        else QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        TJob job;
        ASSERT_TRUE(job.Input(src));
        EXPECT_FALSE(job.Output(out));
        EXPECT_TRUE(job.Error.startsWith("Could not open '" + out + "': ")) << job.Error.toStdString();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // Converting a file onto itself would truncate it before reading.
    {
        const QString self = Out("self.mp4");
        ASSERT_TRUE(QFile::copy(src, self));
        TJob job;
        ASSERT_TRUE(job.Input(self));
        EXPECT_FALSE(job.Output(self));
        EXPECT_NE(job.Error.indexOf("is the same as input file"), -1) << job.Error.toStdString();
        EXPECT_EQ(Digest(self), before);
    }
    EXPECT_EQ(Digest(src), before);
}

} // namespace
