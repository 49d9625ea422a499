// The task component's events: on which thread each arrives, how often progress comes,
// handlers that throw, stopping while a worker waits for the main thread, the custom hook and
// the preview sink.
#include "test_engine_support.h"

#include <QElapsedTimer>
#include <QSize>
#include <QThread>

#include <map>

namespace {

TEST_F(EngineTest, ProgressArrivesOnTheMainThreadAtTheIntervalAndOnceAtTheEnd)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    std::vector<TProgressInfo> reports;
    std::vector<qint64> times;
    bool offMain = false;
    QElapsedTimer clock;
    clock.start();
    engine.SetProgressInterval(200);
    engine.OnProgress = [&](QObject* sender, TProgressInfo* info) {
        offMain = offMain || !IsMainThread() || sender != &engine;
        reports.push_back(*info);
        times.push_back(clock.elapsed());
    };
    const TInputOptions realTime = RealTime();
    AddConversion(engine, TinyClip(), Out("progress.avi"), &realTime);
    engine.StartTask(1);
    ASSERT_TRUE(events.WaitFinal());

    EXPECT_FALSE(offMain);
    ASSERT_GE(reports.size(), 4u); // one second at 200 ms, plus the end
    ASSERT_LE(reports.size(), 7u);
    for (size_t i = 0; i + 1 < reports.size(); ++i) {
        EXPECT_EQ(reports[i].TaskIndex, 0);
        EXPECT_GE(reports[i].FileIndex, 0);
        if (i > 0) {
            EXPECT_GE(times[i] - times[i - 1], 150) << i;
        }
    }
    const TProgressInfo& last = reports.back();
    EXPECT_EQ(last.FileIndex, -1);
    EXPECT_EQ(last.FrameNumber, 25);
    EXPECT_GT(last.CurrentSize, 0);
    EXPECT_NEAR(double(last.TotalDuration), 1e6, 1e5);
    EXPECT_GE(last.CurrentDuration, reports.front().CurrentDuration);
}

TEST_F(EngineTest, HandlersThatThrowDoNotEndTheTask)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    std::atomic<int> calls{0};
    engine.SetProgressInterval(100);
    engine.SetPreviewBitmap(true);
    engine.OnProgress = [&](QObject*, TProgressInfo*) {
        ++calls;
        throw std::runtime_error("progress handler broke");
    };
    engine.OnPreviewBitmap = [&](QObject*, const TPreviewInfo&) { throw 42; };
    AddConversion(engine, TinyClip(), Out("throws.avi"));
    engine.StartTask(1);
    ASSERT_TRUE(events.WaitFinal());
    const auto t = events.Snapshot();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(t[0].Finished);
    EXPECT_FALSE(t[0].Exception);
    EXPECT_GE(calls.load(), 1);
    EXPECT_EQ(VideoFrames(Out("throws.avi")), 25);
}

TEST_F(EngineTest, ATerminateHandlerThatThrowsDoesNotLoseTheFinalReport)
{
    std::atomic<int> finals{0};
    TFFmpegEngine engine;
    engine.OnTerminate = [&](QObject*, TTerminateInfo info) {
        if (info.TaskIndex < 0) ++finals;
        throw std::runtime_error("terminate handler broke");
    };
    AddConversion(engine, TinyClip(), Out("t0.avi"));
    AddConversion(engine, TinyClip(), Out("t1.avi"));
    engine.StartTask(1);
    ASSERT_TRUE(WaitServicingEvents([&] { return finals.load() == 1; }, 60000));
}

TEST_F(EngineTest, StopWhileWorkersWaitForTheMainThreadDoesNotDeadlock)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    std::atomic<int> reports{0};
    engine.SetProgressInterval(100);
    engine.SetPreviewBitmap(true);
    engine.OnProgress = [&](QObject*, TProgressInfo*) { ++reports; };
    engine.OnPreviewBitmap = [&](QObject*, const TPreviewInfo&) {};
    const TInputOptions realTime = RealTime();
    for (int i = 0; i < 3; ++i) AddConversion(engine, LongClip(), Out(QString("w%1.avi").arg(i)), &realTime);
    engine.StartTask(2);
    ASSERT_TRUE(WaitServicingEvents([&] { return reports.load() > 0; }, 30000));
    // Not serving events now: both workers end up blocked in a hand-over.
    QThread::msleep(400);
    QElapsedTimer clock;
    clock.start();
    engine.StopTasks(true);
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_TRUE(events.WaitFinal(10000));
    EXPECT_EQ(events.Snapshot().size(), 4u);
}

TEST_F(EngineTest, StopWithWaitFromInsideAProgressHandler)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    bool stopped = false;
    engine.SetProgressInterval(100);
    engine.OnProgress = [&](QObject*, TProgressInfo*) {
        if (stopped) return;
        stopped = true;
        engine.StopTasks(true); // the worker of this report waits for us: it cannot be waited for
    };
    const TInputOptions realTime = RealTime();
    for (int i = 0; i < 3; ++i) AddConversion(engine, LongClip(), Out(QString("h%1.avi").arg(i)), &realTime);
    engine.StartTask(2);
    ASSERT_TRUE(events.WaitFinal(30000));
    for (const TTerminateInfo& info : events.Snapshot())
        if (info.TaskIndex >= 0) {
            EXPECT_FALSE(info.Finished);
        }

    // The same in the foreground, where the handler runs on the task's own thread.
    TRecordedEvents fg;
    TFFmpegEngine foreground;
    fg.Attach(foreground);
    bool fgStopped = false;
    foreground.SetProgressInterval(100);
    foreground.OnProgress = [&](QObject*, TProgressInfo*) {
        if (!fgStopped) foreground.StopTasks(true);
        fgStopped = true;
    };
    for (int i = 0; i < 2; ++i) AddConversion(foreground, LongClip(), Out(QString("f%1.avi").arg(i)), &realTime);
    foreground.StartTask(0);
    ASSERT_EQ(fg.Snapshot().size(), 3u);
    EXPECT_EQ(fg.Snapshot().back().TaskIndex, -1);
}

TEST_F(EngineTest, CustomHookRunsOnTheWorkerAndItsPictureIsWritten)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    std::atomic<int> calls{0};
    std::atomic<bool> onMain{false};
    engine.OnCustomHook = [&](QObject*, THookInfo* info) {
        onMain = onMain || IsMainThread();
        ++calls;
        EXPECT_TRUE(info->Update);
        EXPECT_EQ(info->TaskIndex, 0);
        std::fill(info->Bitmap->Bits.begin(), info->Bitmap->Bits.end(), std::uint8_t(255));
        if (info->FrameNumber == 3) throw std::runtime_error("hook broke"); // frame left alone
    };
    const int task = engine.AddTask(TinyClip());
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.CustomHook = true;
    ASSERT_TRUE(engine.SetOutputFile(task, Out("hooked.avi"), &o));
    engine.StartTask(1);
    ASSERT_TRUE(events.WaitFinal());
    EXPECT_TRUE(events.Snapshot()[0].Finished);
    EXPECT_EQ(calls.load(), 25);
    EXPECT_FALSE(onMain.load());
    // The hook painted the pictures white.
    const QString gray = Out("frame.gray");
    RunCommand("ffmpeg", {"-v", "error", "-y", "-ss", "0.5", "-i", Out("hooked.avi"), "-frames:v", "1", "-f",
                          "rawvideo", "-pix_fmt", "gray", gray});
    QFile f(gray);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray pixels = f.readAll();
    ASSERT_EQ(pixels.size(), 160 * 120);
    double sum = 0;
    for (char c : pixels) sum += uchar(c);
    EXPECT_GT(sum / pixels.size(), 230);
}

// A sink without widgets: records what the engine asks of the window.
struct TFakeSink : TPreviewSink {
    std::map<const void*, int> Frames;
    std::vector<const void*> Closed;
    bool OffMain = false;
    QSize Size;
    void ShowPreview(const void* task, const TBitmap& bitmap, std::int64_t) override
    {
        OffMain = OffMain || !IsMainThread();
        ++Frames[task];
        Size = QSize(bitmap.Width, bitmap.Height);
    }
    void ClosePreview(const void* task) override { Closed.push_back(task); }
};

TEST_F(EngineTest, PreviewFramesGoToTheSinkUntilItsWindowIsClosed)
{
    TFakeSink sink;
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    engine.SetPreviewSink(&sink);
    engine.SetPreview(true);
    const TInputOptions realTime = RealTime();
    AddConversion(engine, LongClip(), Out("pv0.avi"), &realTime);
    AddConversion(engine, LongClip(), Out("pv1.avi"), &realTime);
    const void* first = engine.Task(0);
    const void* second = engine.Task(1);
    engine.StartTask(2);
    ASSERT_TRUE(WaitServicingEvents([&] { return sink.Frames[first] >= 2 && sink.Frames[second] >= 2; }, 30000));
    sink.OnPreviewClosed(first); // the user closes the first window
    const int shown = sink.Frames[first];
    ASSERT_TRUE(events.WaitFinal());
    EXPECT_LE(sink.Frames[first], shown + 1); // at most one already on its way
    EXPECT_GE(sink.Frames[second], 10);       // about every 100 ms of three seconds
    EXPECT_FALSE(sink.OffMain);
    EXPECT_EQ(sink.Size, QSize(160, 120));

    engine.SetPreview(false); // closes the windows of every task
    EXPECT_EQ(std::count(sink.Closed.begin(), sink.Closed.end(), second), 1);
    sink.Closed.clear();
    engine.ClearTasks();
    EXPECT_EQ(sink.Closed.size(), 2u); // freeing a task closes its window
}

// Preview on with no window to show it in and no handler: the frames go nowhere, so a stream
// copy is converted as it would be without preview.
TEST_F(EngineTest, PreviewWithNoOneListeningLetsAStreamCopyThrough)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    engine.SetPreview(true);
    engine.SetPreviewBitmap(true);
    const int index = engine.AddTask(TinyClip());
    ASSERT_GE(index, 0) << engine.LastError().toStdString();
    TOutputOptions copy;
    copy.VideoCodec = "copy";
    copy.AudioCodec = "copy";
    ASSERT_TRUE(engine.SetOutputFile(index, Out("copied.mkv"), &copy)) << engine.LastError().toStdString();
    engine.StartTask(0);
    const std::vector<TTerminateInfo> t = events.Snapshot();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(t[0].Finished) << t[0].ExceptionMsg.toStdString();
    EXPECT_FALSE(t[0].Exception);
    EXPECT_EQ(VideoFrames(Out("copied.mkv")), 25);
}

} // namespace
