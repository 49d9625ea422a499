// label: asan
// Faults of the engine under hostile input and unlucky timing: workers that must never wait for
// the main thread, timestamps that jump by an hour, an output whose set-up fails half-way, a
// picture size that changes mid-stream, and the memory that worker threads leave behind.
#include "test_engine_support.h"
#include "test_pipeline_support.h"

#include "AVProbe.h"
#include "FFmpegLogger.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Ends the program when a step hangs: a deadlocked main thread cannot fail the test itself.
class TWatchdog {
public:
    TWatchdog(int seconds, const char* what)
        : FThread([this, seconds, what] {
              std::unique_lock lock(FLock);
              if (!FDone.wait_for(lock, std::chrono::seconds(seconds), [this] { return FFinished; })) {
                  std::fprintf(stderr, "FAILED: %s did not finish within %d s\n", what, seconds);
                  std::fflush(stderr);
                  _exit(1);
              }
          })
    {
    }
    ~TWatchdog()
    {
        {
            std::lock_guard lock(FLock);
            FFinished = true;
        }
        FDone.notify_all();
        FThread.join();
    }

private:
    std::mutex FLock;
    std::condition_variable FDone;
    bool FFinished = false;
    std::thread FThread;
};

// Every log line, from any thread, once the main thread has served the queue.
struct TLogLines {
    std::mutex Lock;
    QStringList Lines;
    TLogLines()
    {
        FFLogger()->SetTriggerEventInMainThread(true);
        FFLogger()->OnLog = [this](QObject*, std::uint32_t, TLogLevel, const QString& message) {
            std::lock_guard guard(Lock);
            Lines << message;
        };
    }
    ~TLogLines() { FFLogger()->OnLog = nullptr; }
    bool Contains(const QString& part)
    {
        std::lock_guard guard(Lock);
        for (const QString& l : Lines)
            if (l.contains(part)) return true;
        return false;
    }
};

long PeakMemoryMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

using Faults = EngineTest;

TEST_F(Faults, ATaskRefusedOnAWorkerDoesNotWaitForABusyMainThread)
{
    TLogLines log;
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    AddConversion(engine, TinyClip(), Out("first.avi"));
    ASSERT_GE(engine.AddTask(TinyClip()), 0); // no output: refused when its turn comes
    engine.StartTask(1);

    // The main thread serves nothing meanwhile: the worker runs the first task, then refuses the
    // second under the engine's terminate lock, logging why.
    QElapsedTimer clock;
    clock.start();
    while (events.Snapshot().size() < 2 && clock.elapsed() < 60000) QThread::msleep(20);
    ASSERT_GE(events.Snapshot().size(), 2u) << "a worker waited for the main thread";
    {
        TWatchdog watchdog(30, "StopTasks while the worker holds the terminate lock");
        engine.StopTasks(false); // takes that lock on the main thread
    }
    ASSERT_TRUE(events.WaitFinal(30000));
    auto t = events.Snapshot();
    ASSERT_EQ(t.size(), 3u);
    // Each report comes on a thread of its own: the two may arrive in either order.
    if (t[0].TaskIndex == 1) std::swap(t[0], t[1]);
    EXPECT_TRUE(t[0].Finished);
    EXPECT_EQ(t[1].ExceptionMsg, "At least one output file must be specified");
    WaitServicingEvents([&] { return log.Contains("At least one output file must be specified"); }, 10000);
    EXPECT_TRUE(log.Contains("At least one output file must be specified"));
}

TEST_F(Faults, AnHourLongTimestampJumpIsNotFilled)
{
    TLogLines log;
    // One second of sound, then one second an hour later.
    const QString audio = MediaFixture("fault_audio_jump.mka",
                                       {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-ac", "2", "-af", "asetpts=PTS+gte(T\\,1)*3600/TB", "-c:a", "pcm_s16le"});
    const QString video = MediaFixture("fault_video_jump.mkv",
                                       {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-vf",
                                        "setpts=PTS+gte(T\\,1)*3600/TB", "-c:v", "mjpeg"});
    {
        TWatchdog watchdog(120, "the audio conversion");
        TJob job;
        ASSERT_TRUE(job.Input(audio));
        const QString out = Out("jump.wav");
        ASSERT_TRUE(job.Output(out, {{"acodec", "pcm_s16le"}, {"async", "1"}}));
        ASSERT_EQ(job.Run().toStdString(), "");
        EXPECT_NEAR(Duration(out), 2.0, 0.1);
    }
    EXPECT_LT(PeakMemoryMB(), 500) << "the gap was allocated";
    {
        TWatchdog watchdog(120, "the video conversion");
        TJob job;
        ASSERT_TRUE(job.Input(video));
        const QString out = Out("jump.avi");
        ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"r", "25"}, {"vsync", "1"}}));
        ASSERT_EQ(job.Run().toStdString(), "");
        EXPECT_NEAR(CountFrames(out), 50, 2);
    }
    WaitServicingEvents([&] { return log.Contains("frame duplication too large"); }, 10000);
    EXPECT_TRUE(log.Contains("audio timestamp gap of 3600.0")) << log.Lines.join("\n").toStdString();
    EXPECT_TRUE(log.Contains("frame duplication too large, skipping"));
}

// A crafted file whose sound stream starts a few milliseconds short of the largest time the
// clock can hold: adding a frame's duration would overflow. Converted and copied, it ends with a
// result or a message, never with undefined arithmetic (the sanitizer build halts on that).
TEST_F(Faults, TimestampsAtTheEdgeOfTheClockDoNotOverflow)
{
    const QString src = MediaFixture("fault_edge_ts.mkv",
                                     {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:d=1", "-f", "lavfi", "-i",
                                      "sine=sample_rate=8000:d=1", "-map", "0", "-map", "1", "-c:v", "mpeg4", "-c:a",
                                      "pcm_s16le", "-bsf:a", "setts=ts=TS+9223372036854770"});
    TWatchdog watchdog(120, "the conversions at the edge of the clock");
    // Input options, output options.
    const std::vector<std::pair<TOptionList, TOptionList>> cases{
        {{}, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}},
        {{}, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}, {"async", "1"}, {"vsync", "1"}}},
        {{}, {{"vcodec", "copy"}, {"acodec", "copy"}}},
        {{{"itsscale", "1:3"}}, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        TJob job;
        ASSERT_TRUE(job.Input(src, cases[i].first)) << job.Error.toStdString();
        const QString out = Out(QString("edge%1.mkv").arg(i));
        ASSERT_TRUE(job.Output(out, cases[i].second)) << job.Error.toStdString();
        const QString error = job.Run();
        // The picture converts, or the run says why it could not.
        if (error.isEmpty()) {
            EXPECT_GE(CountFrames(out), 20);
        }
    }
}

TEST_F(Faults, ASmallGapIsStillFilledAndTheProgressLineCountsTheDuplicates)
{
    TLogLines log;
    const QString video = MediaFixture("fault_video_gap.mkv",
                                       {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-vf",
                                        "setpts=PTS+gte(T\\,1)*0.5/TB", "-c:v", "mpeg4"});
    TJob job;
    ASSERT_TRUE(job.Input(video));
    const QString out = Out("gap.avi");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"r", "25"}, {"vsync", "1"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_NEAR(CountFrames(out), 62, 2); // half a second of repeats
    WaitServicingEvents([&] { return log.Contains(" dup="); }, 10000);
    static const QRegularExpression dups(QStringLiteral(".* dup=1[0-3] drop=0"));
    EXPECT_GE(log.Lines.indexOf(dups), 0) << log.Lines.join("\n").toStdString();
}

TEST_F(Faults, AnOutputWhoseExtraStreamFailsIsTakenBackOut)
{
    TFFmpegEngine engine;
    const int task = engine.AddTask(TinyClip());
    TOutputOptions o;
    o.ExtOptions = "newvideo=1"; // a sound file has no room for a picture
    const QString wav = Out("sound.wav");
    EXPECT_FALSE(engine.SetOutputFile(task, wav, &o));
    EXPECT_FALSE(engine.LastError().isEmpty());
    EXPECT_EQ(engine.Task(task)->OutputFileCount(), 0);
    EXPECT_EQ(engine.Task(task)->OutputOptions(0), nullptr);
    EXPECT_FALSE(QFileInfo::exists(wav));
    ASSERT_TRUE(engine.SetOutputFile(task, wav));
    EXPECT_EQ(engine.Task(task)->OutputFileCount(), 1);
}

TEST_F(Faults, AFrameSizeChangeMidStreamIsLoggedAndScaled)
{
    TLogLines log;
    const QString both = SizeChangingStream("fault_sizes", "160x120", "320x240", 1);
    TJob job;
    ASSERT_TRUE(job.Input(both));
    const QString out = Out("sizes.avi");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"s", "160x120"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "160");
    EXPECT_NEAR(CountFrames(out), 50, 3);
    EXPECT_EQ(DecodeErrors(out).toStdString(), "");
    WaitServicingEvents([&] { return log.Contains("frame size changed to 320x240"); }, 10000);
    EXPECT_TRUE(log.Contains("Input Stream #0.0 frame size changed to 320x240, yuv420p"));

    // Deinterlacing holds one picture back; a new size must not lose it, nor the last one.
    TJob deinterlaced;
    ASSERT_TRUE(deinterlaced.Input(both));
    const QString out2 = Out("sizes_deint.avi");
    ASSERT_TRUE(deinterlaced.Output(out2, {{"vcodec", "mpeg4"}, {"s", "160x120"}, {"deinterlace", "1"}}));
    ASSERT_EQ(deinterlaced.Run().toStdString(), "");
    EXPECT_EQ(CountFrames(out2), CountFrames(out));
    EXPECT_EQ(DecodeErrors(out2).toStdString(), "");

    // So must a filter of the user's that holds a picture.
    TJob held;
    ASSERT_TRUE(held.Input(both));
    const QString out3 = Out("sizes_held.avi");
    ASSERT_TRUE(held.Output(out3, {{"vcodec", "mpeg4"}, {"s", "160x120"},
                                   {"vfilters", "yadif=mode=0:deint=0,scale=160:120"}}));
    ASSERT_EQ(held.Run().toStdString(), "");
    EXPECT_EQ(CountFrames(out3), CountFrames(out));
}

TEST_F(Faults, SeekingBeforeTheStartLandsOnTheFirstPicture)
{
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(TinyClip()));
    ASSERT_TRUE(probe.DecodeNextFrame());
    ASSERT_TRUE(probe.DecodeNextFrame());
    EXPECT_TRUE(probe.Seek(0, -5000000));
    ASSERT_TRUE(probe.DecodeNextFrame());
    TBitmap first, again;
    ASSERT_TRUE(probe.GetBitmap(again));
    TAVProbe fresh;
    ASSERT_TRUE(fresh.LoadFile(TinyClip()));
    ASSERT_TRUE(fresh.DecodeNextFrame());
    ASSERT_TRUE(fresh.GetBitmap(first));
    EXPECT_EQ(first.Bits, again.Bits);
}

TEST_F(Faults, WorkerThreadsLeaveNoPacketsOrHalfLinesBehind)
{
    const QString src = Clip("fault_bsf.mp4", 1, {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "160x120", false);
    const int before = TFFLogger::PendingLineCount();
    std::thread worker([&] {
        TJob job;
        ASSERT_TRUE(job.Input(src));
        ASSERT_TRUE(job.Output(Out("annexb.h264"), {{"vcodec", "copy"}, {"vbsf", "h264_mp4toannexb"}}));
        EXPECT_EQ(job.Run().toStdString(), "");
        FF.av_log(nullptr, AV_LOG_INFO, "a line the thread never ends");
    });
    worker.join();
    EXPECT_EQ(TFFLogger::PendingLineCount(), before);
    EXPECT_EQ(LeakedSoFar(), 0);
    EXPECT_EQ(CountFrames(Out("annexb.h264")), 25);
}

} // namespace
