// Frame offers (custom hook, preview) and what the transcoder does where today's library build
// differs from what an option text asks for.
#include "test_pipeline_support.h"

#include "AVProbe.h"
#include "FFmpegLogger.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <mutex>

namespace {

class PipelineFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEngineLibraries();
        ASSERT_TRUE(Dir.isValid());
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->OnLog = [this](QObject*, std::uint32_t, TLogLevel, const QString& msg) {
            std::lock_guard<std::mutex> lock(LogLock);
            Lines << msg;
        };
    }
    void TearDown() override { FFLogger()->OnLog = nullptr; }
    QString Out(const QString& name) const { return Dir.filePath(name); }
    bool Logged(const QString& part)
    {
        std::lock_guard<std::mutex> lock(LogLock);
        for (const QString& line : Lines)
            if (line.contains(part)) return true;
        return false;
    }
    QTemporaryDir Dir;
    std::mutex LogLock;
    QStringList Lines;
};

QString Small() { return Clip("pipe_small.avi", 1, {"-c:v", "mpeg4", "-q:v", "3", "-c:a", "pcm_s16le"}, "160x120"); }

TEST_F(PipelineFrames, CustomHookChangesFramesUntilStopped)
{
    TJob job;
    int calls = 0;
    job.T.CustomHook = true;
    job.T.OnHookFrame = [&calls](THookInfo& info) {
        ++calls;
        EXPECT_EQ(info.FrameNumber, calls);
        EXPECT_EQ(info.Bitmap->Width, 160);
        for (int y = 0; y < info.Bitmap->Height; ++y)
            std::fill_n(info.Bitmap->ScanLine(y), info.Bitmap->Width * 3, std::uint8_t(255));
        if (calls == 10) info.StopHook = true;
    };
    ASSERT_TRUE(job.Input(Small()));
    const QString out = Out("hooked.avi");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"qscale", "2"}, {"an", "1"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(calls, 10);
    // Frame 1 came out white, frame 20 is the test picture again.
    auto meanY = [&](int frame) {
        const QString gray = Out(QString("f%1.gray").arg(frame));
        RunCommand("ffmpeg", {"-v", "error", "-i", out, "-vf", QString("select=eq(n\\,%1)").arg(frame), "-frames:v", "1",
                              "-f", "rawvideo", "-pix_fmt", "gray", gray});
        QFile f(gray);
        f.open(QIODevice::ReadOnly);
        const QByteArray y = f.readAll();
        long sum = 0;
        for (char c : y) sum += quint8(c);
        return y.isEmpty() ? -1 : int(sum / y.size());
    };
    EXPECT_GT(meanY(0), 230);
    EXPECT_LT(meanY(20), 200);
}

TEST_F(PipelineFrames, HookErrorsAreReportedAndLeaveTheFrame)
{
    TJob job;
    job.T.CustomHook = true;
    job.T.OnHookFrame = [](THookInfo&) { throw std::runtime_error("handler broke"); };
    ASSERT_TRUE(job.Input(Small()));
    ASSERT_TRUE(job.Output(Out("hookerr.avi"), {{"vcodec", "mpeg4"}, {"an", "1"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_TRUE(Logged("Error occurs OnCustomHook: handler broke"));
    EXPECT_EQ(DecodeErrors(Out("hookerr.avi")).toStdString(), "");
}

TEST_F(PipelineFrames, PreviewOffersBitmapsAndRefusesVideoCopy)
{
    TJob job;
    int offers = 0;
    job.T.PreviewFlags = pfPreviewBitmap;
    job.T.PreviewInterval = 0;
    job.T.OnPreviewFrame = [&offers](TPreviewInfo& info) {
        ++offers;
        EXPECT_EQ(info.Bitmap->Width, 160);
        EXPECT_EQ(info.Bitmap->Stride % 4, 0);
    };
    ASSERT_TRUE(job.Input(Small()));
    ASSERT_TRUE(job.Output(Out("preview.avi"), {{"vcodec", "mpeg4"}, {"an", "1"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(offers, 25);

    TJob copy;
    copy.T.PreviewFlags = pfPreviewBitmap;
    copy.T.OnPreviewFrame = [](TPreviewInfo&) {};
    ASSERT_TRUE(copy.Input(Small()));
    ASSERT_TRUE(copy.Output(Out("preview.mkv"), {{"vcodec", "copy"}}));
    EXPECT_EQ(copy.Run().toStdString(), "-vcodec copy and PostHooks are incompatible (frames are not decoded)");

    // Preview on, but no window and no handler takes the frames: nothing is converted for
    // them, and a stream copy is no reason to refuse.
    for (const char* codec : {"copy", "mpeg4"}) {
        TJob unheard;
        int offered = 0;
        unheard.T.PreviewFlags = pfPreview | pfPreviewBitmap;
        unheard.T.PreviewInterval = 0;
        unheard.T.OnPreviewFrame = [&offered](TPreviewInfo&) { ++offered; };
        unheard.T.PreviewListeners = [] { return 0; };
        ASSERT_TRUE(unheard.Input(Small()));
        ASSERT_TRUE(unheard.Output(Out(QString("unheard_%1.mkv").arg(codec)), {{"vcodec", codec}, {"an", "1"}}));
        EXPECT_EQ(unheard.Run().toStdString(), "") << codec;
        EXPECT_EQ(offered, 0) << codec;
    }

    TJob loud;
    ASSERT_TRUE(loud.Input(Small()));
    ASSERT_TRUE(loud.Output(Out("loud.mkv"), {{"acodec", "copy"}, {"vol", "300"}}));
    EXPECT_EQ(loud.Run().toStdString(), "-acodec copy and -vol are incompatible (frames are not decoded)");
}

TEST_F(PipelineFrames, MissingEncodersAndUnsupportedValuesGetTheNearestChoice)
{
    // An encoder this build lacks, by name.
    TJob job;
    ASSERT_TRUE(job.Input(Small()));
    const QString m4a = Out("faac.m4a");
    ASSERT_TRUE(job.Output(m4a, {{"acodec", "libfaac"}, {"vn", "1"}})) << job.Error.toStdString();
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(m4a, "stream=codec_name", "a:0"), "aac");
    EXPECT_TRUE(Logged("'libfaac' is not available"));

    // A muxer whose default audio codec has no encoder here, a rate and a layout the encoders
    // do not take.
    TJob phone;
    ASSERT_TRUE(phone.Input(Small()));
    const QString gp = Out("phone.3gp");
    ASSERT_TRUE(phone.Output(gp, {{"s", "176x144"}, {"ar", "22000"}, {"ac", "2"}})) << phone.Error.toStdString();
    ASSERT_EQ(phone.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(gp, "stream=codec_name", "v:0"), "h263");
    EXPECT_EQ(ProbeValue(gp, "stream=codec_name", "a:0"), "aac");
    EXPECT_EQ(DecodeErrors(gp).toStdString(), "");

    TJob mp3;
    ASSERT_TRUE(mp3.Input(Small()));
    const QString out = Out("rate.mp3");
    ASSERT_TRUE(mp3.Output(out, {{"ar", "22000"}, {"ac", "2"}}));
    ASSERT_EQ(mp3.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=sample_rate", "a:0"), "22050");

    TJob unknown;
    ASSERT_TRUE(unknown.Input(Small()));
    EXPECT_FALSE(unknown.Output(Out("x.avi"), {{"vcodec", "nosuchcodec"}}));
    EXPECT_EQ(unknown.Error.toStdString(), "new_video_stream fail: Unknown encoder 'nosuchcodec'");
}

TEST_F(PipelineFrames, BitstreamFilterAndVideoFilterChain)
{
    TJob job;
    ASSERT_TRUE(job.Input(H264Clip()));
    const QString out = Out("annexb.ts");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "copy"}, {"acodec", "copy"}, {"vbsf", "h264_mp4toannexb"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");

    TJob filtered;
    ASSERT_TRUE(filtered.Input(Small()));
    const QString flipped = Out("flipped.avi");
    ASSERT_TRUE(filtered.Output(flipped, {{"vcodec", "mpeg4"}, {"vfilters", "transpose=1"}, {"an", "1"}}));
    ASSERT_EQ(filtered.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(flipped, "stream=width", "v:0"), "120");
    EXPECT_EQ(ProbeValue(flipped, "stream=height", "v:0"), "160");

    TJob deinterlaced;
    ASSERT_TRUE(deinterlaced.Input(Small()));
    const QString out2 = Out("deint.avi");
    ASSERT_TRUE(deinterlaced.Output(out2, {{"vcodec", "mpeg4"}, {"deinterlace", "1"}, {"croptop", "8"}, {"an", "1"}}));
    ASSERT_EQ(deinterlaced.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out2, "stream=height", "v:0"), "112");
    EXPECT_EQ(CountFrames(out2), 25);
}

// Options an old option text may carry: each one either changes the output or says in the log
// that it cannot.
TEST_F(PipelineFrames, OptionsTakeEffectOrSaySoInTheLog)
{
    // A user's filter chain with a frame size and pads: the chain first, then the size, then the pads.
    TJob sized;
    ASSERT_TRUE(sized.Input(Small()));
    const QString out = Out("chain_sized.avi");
    ASSERT_TRUE(sized.Output(out, {{"vcodec", "mpeg4"}, {"vfilters", "transpose=1"}, {"s", "80x96"},
                                   {"padtop", "8"}, {"padleft", "16"}, {"an", "1"}}));
    ASSERT_EQ(sized.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "96");
    EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), "104");

    // Two outputs of one audio stream, each at its own volume.
    const QString tone = Clip("pipe_tone.wav", 1, {"-c:a", "pcm_s16le"}, "320x240", true, false);
    TJob loud;
    ASSERT_TRUE(loud.Input(tone));
    ASSERT_TRUE(loud.Output(Out("louder.wav"), {{"vol", "512"}}));
    ASSERT_TRUE(loud.Output(Out("softer.wav"), {{"vol", "128"}}));
    ASSERT_EQ(loud.Run().toStdString(), "");
    auto peak = [&](const QString& file) {
        int p = 0;
        for (qint16 v : Samples(file, Out("peak.raw"))) p = std::max(p, std::abs(int(v)));
        return p;
    };
    const int source = peak(tone);
    EXPECT_NEAR(peak(Out("louder.wav")), 2 * source, source / 20);
    EXPECT_NEAR(peak(Out("softer.wav")), source / 2, source / 20);

    // A bitstream filter that holds samples back gives them up at the end: 44100 samples in
    // chunks of 1024, the last one padded.
    TJob chunked;
    ASSERT_TRUE(chunked.Input(tone));
    ASSERT_TRUE(chunked.Output(Out("chunked.wav"), {{"acodec", "copy"}, {"absf", "pcm_rechunk"}}));
    ASSERT_EQ(chunked.Run().toStdString(), "");
    EXPECT_EQ(Samples(Out("chunked.wav"), Out("chunked.raw")).size(), 44u * 1024u);

    // The input's quality cannot be kept: said, not ignored.
    TJob same;
    ASSERT_TRUE(same.Input(Small(), {{"sameq", "1"}}));
    EXPECT_TRUE(Logged("Option \"sameq\" has no effect"));
}

// Interlaced pictures with motion: a bar moving fast, its two fields taken 20 ms apart.
QString Combed()
{
    return MediaFixture("pipe_combed.mpg",
                        {"-f", "lavfi", "-i",
                         "color=c=black:size=160x120:rate=50,format=yuv420p,"
                         "geq=lum='if(between(X\\,mod(T*400\\,140)\\,mod(T*400\\,140)+20)\\,235\\,16)':"
                         "cb=128:cr=128,tinterlace=mode=interleave_top",
                         "-t", "1", "-c:v", "mpeg2video", "-flags", "+ildct+ilme", "-top", "1", "-q:v", "2", "-an"});
}

// How far each row stands from the mean of its neighbours: large for combing.
double CombScore(const TBitmap& b)
{
    double sum = 0;
    for (int y = 1; y + 1 < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            const int above = b.ScanLine(y - 1)[x * 3 + 1], here = b.ScanLine(y)[x * 3 + 1];
            const int below = b.ScanLine(y + 1)[x * 3 + 1];
            sum += std::abs(here - (above + below) / 2);
        }
    return sum / (double(b.Width) * b.Height);
}

// The hook sees the pictures the outputs get: deinterlaced ones, numbered from 1 without gaps,
// every one of them also after the deinterlacer's one-picture delay is drained.
TEST_F(PipelineFrames, DeinterlacingComesBeforeTheHook)
{
    const QString source = Combed();
    ASSERT_FALSE(source.isEmpty());
    auto run = [&](bool deinterlace, double& comb, std::vector<int>& numbers) {
        TJob job;
        comb = 0;
        job.T.CustomHook = true;
        job.T.OnHookFrame = [&](THookInfo& info) {
            numbers.push_back(info.FrameNumber);
            comb = std::max(comb, CombScore(*info.Bitmap));
            info.Update = false;
        };
        ASSERT_TRUE(job.Input(source));
        const QString out = Out(deinterlace ? "deint_hook.avi" : "combed_hook.avi");
        TOptionList options{{"vcodec", "mpeg4"}, {"qscale", "2"}};
        if (deinterlace) options.push_back({"deinterlace", "1"});
        ASSERT_TRUE(job.Output(out, options));
        ASSERT_EQ(job.Run().toStdString(), "");
        EXPECT_EQ(CountFrames(out), 25);
    };
    double combed = 0, deinterlaced = 0;
    std::vector<int> plain, numbered;
    run(false, combed, plain);
    run(true, deinterlaced, numbered);
    ASSERT_EQ(numbered.size(), 25u);
    for (size_t i = 0; i < numbered.size(); ++i) EXPECT_EQ(numbered[i], int(i + 1));
    EXPECT_GT(combed, 1.0);
    EXPECT_LT(deinterlaced, combed / 3) << "combed " << combed << ", deinterlaced " << deinterlaced;
}

// A frame-hook module built from source at test time: it blanks the luma plane.
QString BuildHookModule(const QString& dir)
{
    const QString source = dir + "/blank.c";
    QFile f(source);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write("#include <stdint.h>\n#include <string.h>\n"
            "typedef struct { uint8_t* data[4]; int linesize[4]; } Pic;\n"
            "static int frames;\n"
            "int Configure(void** ctx, int argc, char* argv[]) {\n"
            "  *ctx = &frames; return argc > 1 && strcmp(argv[1], \"fail\") == 0; }\n"
            "void Process(void* ctx, Pic* p, int fmt, int w, int h, int64_t pts) {\n"
            "  ++*(int*)ctx; for (int y = 0; y < h; ++y) memset(p->data[0] + y * p->linesize[0], 0, w); }\n"
            "void Release(void* ctx) { (void)ctx; }\n");
    f.close();
    const QString module = dir + "/libblank.so";
    const CommandResult r = RunCommand("cc", {"-shared", "-fPIC", "-o", module, source});
    return r.exitCode == 0 ? module : QString();
}

TEST_F(PipelineFrames, FrameHookModulesProcessEveryFrame)
{
    const QString module = BuildHookModule(Dir.path());
    if (module.isEmpty()) GTEST_SKIP() << "no C compiler to build the module";
    TJob job;
    ASSERT_TRUE(job.Input(Small()));
    const QString out = Out("blank.avi");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"an", "1"}, {"vhook", module + " run"}})) << job.Error.toStdString();
    ASSERT_EQ(job.Run().toStdString(), "");
    const QString gray = Out("blank.gray");
    RunCommand("ffmpeg", {"-v", "error", "-i", out, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "gray", gray});
    QFile g(gray);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    const QByteArray y = g.readAll();
    ASSERT_EQ(y.size(), 160 * 120);
    EXPECT_LT(quint8(y[60 * 160 + 80]), 20);

    TJob refused;
    ASSERT_TRUE(refused.Input(Small()));
    EXPECT_FALSE(refused.Output(Out("fail.avi"), {{"vhook", module + " fail"}}));
    EXPECT_EQ(refused.Error, "Failed to add video hook function: " + module + " fail");
    EXPECT_TRUE(Logged("Failed to Configure " + module));

    TJob copy;
    ASSERT_TRUE(copy.Input(Small()));
    ASSERT_TRUE(copy.Output(Out("hookcopy.mkv"), {{"vhook", module}, {"vcodec", "copy"}}));
    EXPECT_EQ(copy.Run().toStdString(), "-vcodec copy and -vhook are incompatible (frames are not decoded)");
}

TEST_F(PipelineFrames, ReportLineWithoutAHandler)
{
    TJob job;
    job.T.OnProgressReport = nullptr;
    ASSERT_TRUE(job.Input(Small()));
    ASSERT_TRUE(job.Output(Out("psnr.avi"), {{"vcodec", "mpeg4"}, {"psnr", "1"}, {"r", "50"}, {"vsync", "1"}, {"an", "1"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    QString last;
    {
        std::lock_guard<std::mutex> lock(LogLock);
        for (const QString& line : Lines)
            if (line.startsWith("frame=")) last = line;
    }
    // The last report: 25 frames stretched to 50 fps by repeats, marked "L", with the quality figures.
    const QRegularExpression shape("^frame= +(\\d+) fps= *\\d+ q=[0-9.]+ LPSNR=Y:[0-9.]+ U:[0-9.]+ V:[0-9.]+ "
                                   "\\*:[0-9.]+ size= +\\d+kB time=[0-9.]+ bitrate= *[0-9.]+kbits/s "
                                   "dup=(\\d+) drop=0$");
    const QRegularExpressionMatch m = shape.match(last);
    ASSERT_TRUE(m.hasMatch()) << last.toStdString();
    EXPECT_GE(m.captured(1).toInt(), 48);
    EXPECT_EQ(m.captured(2).toInt(), m.captured(1).toInt() - 25);
    EXPECT_TRUE(Logged("muxing overhead"));
}

TEST_F(PipelineFrames, RtpOutputsLogTheirSessionDescription)
{
    TJob job;
    ASSERT_TRUE(job.Input(Small()));
    ASSERT_TRUE(job.Output("rtp://127.0.0.1:23456", {{"f", "rtp"}, {"vcodec", "mpeg4"}, {"an", "1"}}))
        << job.Error.toStdString();
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_TRUE(Logged("SDP:\r\n"));
    EXPECT_TRUE(Logged("m=video 23456 RTP/AVP"));
}

} // namespace
