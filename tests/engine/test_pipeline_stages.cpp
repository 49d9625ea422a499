// label: sanitize
// The transcoder with its encoders and muxer on stage threads: the same bytes as the run on the
// worker alone, the task's events still on the worker, and faults in any stage (a decoder, an
// encoder, a full disk, a stop at any moment) ending the run with the reason and every thread
// joined.
#include "test_pipeline_support.h"

#include <QCryptographicHash>
#include <QThread>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <future>
#include <random>
#include <thread>

namespace {

QByteArray FileHash(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

struct TStagedRun {
    QString Error;
    int Stages = 0;
};

TStagedRun Convert(const QString& input, const QString& output, const TOptionList& options, bool staged)
{
    TJob job;
    job.T.StageThreads = staged;
    TStagedRun r;
    if (!job.Input(input) || !job.Output(output, options)) {
        r.Error = job.Error;
        return r;
    }
    r.Error = job.Run();
    r.Stages = job.T.StagesUsed();
    return r;
}

// Three seconds of a float sine whose middle holds samples that are not numbers.
QString NotANumberWave(const QString& path)
{
    const int rate = 44100, samples = rate * 3;
    QByteArray data;
    data.reserve(samples * 4);
    for (int i = 0; i < samples; ++i) {
        float v = float(0.5 * std::sin(2 * M_PI * 440.0 * i / rate));
        if (i >= rate * 3 / 2 && i < rate * 3 / 2 + 4096) v = std::nanf("");
        data.append(reinterpret_cast<const char*>(&v), 4);
    }
    QByteArray header("RIFF");
    auto u32 = [&header](quint32 v) { header.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&header](quint16 v) { header.append(reinterpret_cast<const char*>(&v), 2); };
    u32(quint32(36 + data.size()));
    header.append("WAVEfmt ");
    u32(16);
    u16(3); // IEEE float
    u16(1);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(32);
    header.append("data");
    u32(quint32(data.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(header + data);
    return path;
}

class StagesTest : public PipelineTest {};

// Each kind of output of the catalogue, converted on the worker alone and with stages: the
// encoders are given the same frames in the same order and the muxer the same packets.
TEST_F(StagesTest, OutputIsTheSameAsOnTheWorkerAlone)
{
    const QString src = Clip("stages_src.mkv", 3, {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                                                   "-c:a", "aac"});
    ASSERT_FALSE(src.isEmpty());
    struct TCase {
        const char* Name;
        const char* Extension;
        TOptionList Options;
    };
    const std::vector<TCase> cases = {
        {"avi_mpeg4_mp3", "avi", {{"vcodec", "mpeg4"}, {"b", "800000"}, {"acodec", "libmp3lame"}, {"ab", "128000"}}},
        {"mpeg2_mp2_deinterlaced", "mpg",
         {{"vcodec", "mpeg2video"}, {"b", "2000000"}, {"deinterlace", "1"}, {"acodec", "mp2"}, {"ab", "192000"}}},
        {"h264_aac_fit", "mp4",
         {{"vcodec", "libx264"}, {"s", "240x136"}, {"padtop", "52"}, {"padbottom", "52"}, {"acodec", "aac"},
          {"ab", "96000"}}},
        {"h263_3gp", "3gp", {{"vcodec", "h263"}, {"s", "176x144"}, {"acodec", "aac"}, {"ar", "8000"}, {"ac", "1"}}},
        {"flv_louder", "flv", {{"vcodec", "flv"}, {"acodec", "libmp3lame"}, {"ar", "22050"}, {"vol", "512"}}},
        {"mp3_only", "mp3", {{"vn", "1"}, {"acodec", "libmp3lame"}, {"ab", "192000"}}},
        {"flac_only", "flac", {{"vn", "1"}, {"acodec", "flac"}}},
        {"wav_pcm", "wav", {{"vn", "1"}, {"acodec", "pcm_s16le"}, {"ar", "22050"}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString serial = Out(QString("%1_serial.%2").arg(c.Name, c.Extension));
        const QString staged = Out(QString("%1_staged.%2").arg(c.Name, c.Extension));
        const TStagedRun one = Convert(src, serial, c.Options, false);
        const TStagedRun many = Convert(src, staged, c.Options, true);
        ASSERT_EQ(one.Error.toStdString(), "");
        ASSERT_EQ(many.Error.toStdString(), "");
        EXPECT_EQ(one.Stages, 0);
        // Sound alone stays on the worker.
        EXPECT_EQ(many.Stages, c.Options.front().first == "vn" ? 0 : 1);
        EXPECT_EQ(FileHash(serial), FileHash(staged));
        EXPECT_GT(QFileInfo(staged).size(), 0);
    }
}

// Stream copies stay with the worker: nothing to overlap, no threads.
TEST_F(StagesTest, StreamCopyUsesNoStage)
{
    const QString src = H264Clip();
    const TStagedRun r = Convert(src, Out("copy.mkv"), {{"vcodec", "copy"}, {"acodec", "copy"}}, true);
    ASSERT_EQ(r.Error.toStdString(), "");
    EXPECT_EQ(r.Stages, 0);
    EXPECT_EQ(CountFrames(Out("copy.mkv")), CountFrames(src));
}

// Progress reports and preview pictures reach the task on the thread that runs it, as before.
TEST_F(StagesTest, ProgressAndPreviewStayOnTheWorker)
{
    const QString src = H264Clip();
    TJob job;
    job.T.ProgressInterval = 0;
    job.T.PreviewInterval = 0;
    job.T.PreviewFlags = pfPreviewBitmap;
    std::vector<Qt::HANDLE> threads;
    int previews = 0, validPreviews = 0;
    job.T.OnProgressReport = [&](const TProgressInfo&) { threads.push_back(QThread::currentThreadId()); };
    job.T.OnPreviewFrame = [&](TPreviewInfo& info) {
        threads.push_back(QThread::currentThreadId());
        ++previews;
        if (info.Bitmap && info.Bitmap->Width == 320 && info.Bitmap->Height == 240) ++validPreviews;
    };
    ASSERT_TRUE(job.Input(src));
    ASSERT_TRUE(job.Output(Out("events.avi"), {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}));
    Qt::HANDLE runner = nullptr;
    std::thread worker([&] {
        runner = QThread::currentThreadId();
        EXPECT_EQ(job.Run().toStdString(), "");
    });
    worker.join();
    EXPECT_GE(job.T.StagesUsed(), 1);
    EXPECT_GT(previews, 0);
    EXPECT_EQ(validPreviews, previews);
    ASSERT_FALSE(threads.empty());
    for (Qt::HANDLE t : threads) EXPECT_EQ(t, runner);
}

// A decoder that fails mid-file with "xerror" set ends the run with its reason while the
// encoders' stages run; they are drained and joined.
TEST_F(StagesTest, DecoderFailingMidFileEndsTheRun)
{
    const QString png = Clip("stages_png.avi", 3, {"-c:v", "png", "-c:a", "pcm_s16le"}, "160x120");
    ASSERT_FALSE(png.isEmpty());
    // Spoil the signature of a picture in the middle.
    const QString broken = Out("broken_png.avi");
    ASSERT_TRUE(QFile::copy(png, broken));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    int at = -1;
    for (int i = 0; i < 40; ++i) at = bytes.indexOf("\x89PNG", at + 1);
    ASSERT_GT(at, 0);
    bytes[at + 1] = 'X';
    f.seek(0);
    f.write(bytes);
    f.close();

    TJob job;
    ASSERT_TRUE(job.Input(broken, {{"xerror", "1"}}));
    ASSERT_TRUE(job.Output(Out("from_broken.avi"), {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}));
    const QString error = job.Run();
    EXPECT_TRUE(error.contains("Error while decoding stream")) << error.toStdString();
    EXPECT_GE(job.T.StagesUsed(), 1);
    EXPECT_FALSE(job.T.Finished());

    // Without it the picture is left out, as the command line does.
    EXPECT_EQ(Convert(broken, Out("past_broken.avi"), {{"vcodec", "mpeg4"}}, true).Error.toStdString(), "");
}

// The picture's stage fails mid-file (its filters cannot take the input's new picture size):
// the run ends with the stage's reason while the worker is still reading.
TEST_F(StagesTest, PictureStageFailingMidFileEndsTheRun)
{
    const QString both = SizeChangingStream("stages_shrinking", "320x240", "160x120", 2);
    TJob job;
    ASSERT_TRUE(job.Input(both));
    ASSERT_TRUE(job.Output(Out("shrinking.avi"), {{"vcodec", "mpeg4"}, {"vfilters", "crop=200:200:0:0"}}));
    const QString error = job.Run();
    EXPECT_TRUE(error.startsWith("Error opening filters")) << error.toStdString();
    EXPECT_EQ(job.T.StagesUsed(), 1);
    EXPECT_FALSE(job.T.Finished());
}

// The sound encoder (on the worker) refuses a frame (samples that are not numbers) while the
// picture's stage runs: the run ends with the encoder's reason, the stage drained and joined.
TEST_F(StagesTest, EncoderRefusingAFrameEndsTheRun)
{
    const QString wave = NotANumberWave(Out("nan.wav"));
    ASSERT_FALSE(wave.isEmpty());
    const QString withVideo = Out("nan_video.mkv");
    const CommandResult made = RunCommand("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                                     "testsrc=size=320x240:rate=25", "-i", wave, "-t", "3", "-c:v",
                                                     "mpeg4", "-c:a", "copy", withVideo});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const TStagedRun r = Convert(withVideo, Out("nan.mp4"), {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, true);
    EXPECT_TRUE(r.Error.contains("Audio encoding failed")) << r.Error.toStdString();
    EXPECT_GE(r.Stages, 1);
}

// A disk that fills up mid-file (a file-size limit): the muxer's failure ends the run.
TEST_F(StagesTest, FullDiskEndsTheRun)
{
    const QString src = H264Clip();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const TStagedRun r = Convert(src, Out("full.avi"), {{"vcodec", "mpeg4"}, {"b", "4000000"},
                                                        {"acodec", "pcm_s16le"}}, true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(r.Error.isEmpty());
    EXPECT_GE(r.Stages, 1);
}

// Stop at random moments: every run returns promptly and without an error, none hangs. Leaks
// and races are the sanitizer builds' to find.
TEST_F(StagesTest, StopAtRandomMomentsNeverHangs)
{
    const QString src = Clip("stages_stop.mkv", 1, {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                                                    "-c:a", "aac"}, "160x120");
    ASSERT_FALSE(src.isEmpty());
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> delay(0, 60000); // microseconds
    int stopped = 0;
    for (int run = 0; run < 200; ++run) {
        SCOPED_TRACE(run);
        auto job = std::make_shared<TJob>();
        ASSERT_TRUE(job->Input(src));
        ASSERT_TRUE(job->Output(Out("stop.avi"), {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}));
        auto result = std::async(std::launch::async, [job] { return job->Run(); });
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        job->T.RequestStop();
        if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "the run did not end after Stop";
            std::abort(); // a hung thread cannot be joined
        }
        EXPECT_EQ(result.get().toStdString(), "");
        if (job->T.StagesUsed() > 0 && !job->T.Finished()) ++stopped;
    }
    EXPECT_GT(stopped, 0);
    EXPECT_EQ(LeakedSoFar(), 0);
}

} // namespace
