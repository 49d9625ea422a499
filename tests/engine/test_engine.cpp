// The task component on the calling thread: properties, the add operations with their limits
// and refusals, option records reaching the output, and foreground runs.
#include "test_engine_support.h"

namespace {

TEST_F(EngineTest, PropertiesHaveTheirDefaultsAndLimits)
{
    TFFmpegEngine engine;
    EXPECT_EQ(engine.Version(), "3.2a");
    EXPECT_FALSE(engine.Preview());
    EXPECT_FALSE(engine.PreviewBitmap());
    EXPECT_EQ(engine.ProgressInterval(), 500);
    EXPECT_EQ(engine.ThreadPriority(), tpNormal);
    EXPECT_TRUE(engine.TriggerEventInMainThread());
    EXPECT_TRUE(engine.LibrariesLoaded());
    EXPECT_NE(engine.AVProbe(), nullptr);
    EXPECT_EQ(engine.TaskCount(), 0);

    engine.SetProgressInterval(50);
    EXPECT_EQ(engine.ProgressInterval(), 100);
    engine.SetProgressInterval(100);
    EXPECT_EQ(engine.ProgressInterval(), 100);
    engine.SetProgressInterval(101);
    EXPECT_EQ(engine.ProgressInterval(), 101);
    engine.SetProgressInterval(-5);
    EXPECT_EQ(engine.ProgressInterval(), 100);
}

TEST_F(EngineTest, LoadingLoadedLibrariesAgainSucceeds)
{
    TFFmpegEngine engine;
    // Already loaded: loading again from anywhere is a no-op that succeeds.
    EXPECT_TRUE(engine.LoadLibraries(Out("nowhere")));
    EXPECT_TRUE(engine.LastError().isEmpty());
    FFLoader().SetLibraryFolder({});
}

TEST_F(EngineTest, AddTaskOnAMissingFileLeavesTheListUnchanged)
{
    TFFmpegEngine engine;
    ASSERT_EQ(engine.AddTask(TinyClip()), 0);
    const QString missing = Out("missing.avi");
    EXPECT_EQ(engine.AddTask(missing), -1);
    EXPECT_EQ(engine.LastError(), missing + ": No such file or directory");
    EXPECT_EQ(engine.TaskCount(), 1);

    // Not media at all.
    const QString text = Out("notes.avi");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("just some words, not a container\n");
    f.close();
    EXPECT_EQ(engine.AddTask(text), -1);
    EXPECT_TRUE(engine.LastError().startsWith(text)) << engine.LastError().toStdString();
    EXPECT_EQ(engine.TaskCount(), 1);

    // Bad indexes answer with a message, never a crash.
    EXPECT_FALSE(engine.AddInputFile(7, TinyClip()));
    EXPECT_EQ(engine.LastError(), "Invalid task index 7");
    EXPECT_FALSE(engine.SetOutputFile(-1, Out("x.avi")));
    EXPECT_THROW(engine.RemoveTask(3), FFmpegException);
}

TEST_F(EngineTest, TwentyInputsAndTwentyOutputsAtMost)
{
    TFFmpegEngine engine;
    const QString src = TinyClip();
    const int task = engine.AddTask(src);
    ASSERT_EQ(task, 0);
    for (int i = 1; i < 20; ++i) ASSERT_TRUE(engine.AddInputFile(task, src)) << i;
    EXPECT_FALSE(engine.AddInputFile(task, src));
    EXPECT_EQ(engine.LastError(), "max input files 20 reached");
    EXPECT_EQ(engine.Task(task)->InputFileCount(), 20);

    for (int i = 0; i < 20; ++i) ASSERT_TRUE(engine.SetOutputFile(task, Out(QString("o%1.avi").arg(i)))) << i;
    EXPECT_FALSE(engine.SetOutputFile(task, Out("o20.avi")));
    EXPECT_EQ(engine.LastError(), "max output files 20 reached");
    EXPECT_EQ(engine.Task(task)->OutputFileCount(), 20);
}

TEST_F(EngineTest, AFailedOutputKeepsTheEarlierOnesAndLeavesNoOptionsBehind)
{
    TRecordedEvents events; // outlives the engine, whose event threads report into it
    TFFmpegEngine engine;
    events.Attach(engine);
    const int task = engine.AddTask(TinyClip());
    TOutputOptions good;
    good.VideoCodec = "mpeg4";
    good.FrameSize = "96x64";
    ASSERT_TRUE(engine.SetOutputFile(task, Out("good.avi"), &good));

    TOutputOptions bad;
    bad.VideoCodec = "mjpeg";
    bad.FrameSize = "huge";
    EXPECT_FALSE(engine.SetOutputFile(task, Out("bad.avi"), &bad));
    EXPECT_EQ(engine.LastError(), "Incorrect frame size");
    EXPECT_EQ(engine.Task(task)->OutputFileCount(), 1);
    EXPECT_EQ(engine.Task(task)->OutputOptions(1), nullptr);

    // The next output gets none of the refused one's settings (codec mjpeg).
    ASSERT_TRUE(engine.SetOutputFile(task, Out("plain.avi")));
    engine.StartTask(0);
    const auto t = events.Snapshot();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(t[0].Finished) << t[0].ExceptionMsg.toStdString();
    EXPECT_EQ(ProbeValue(Out("good.avi"), "stream=width", "v:0"), "96");
    EXPECT_NE(ProbeValue(Out("plain.avi"), "stream=codec_name", "v:0"), "mjpeg");
    EXPECT_FALSE(QFileInfo::exists(Out("bad.avi")));
}

TEST_F(EngineTest, OptionRecordsReachTheOutput)
{
    TRecordedEvents events; // outlives the engine, whose event threads report into it
    TFFmpegEngine engine;
    events.Attach(engine);
    TInputOptions in;
    in.StartTime = 500000; // skip half of the second
    const int task = engine.AddTask(TinyClip(), &in);
    ASSERT_EQ(task, 0);
    ASSERT_NE(engine.Task(task)->InputOptions(0), nullptr);
    EXPECT_EQ(engine.Task(task)->InputOptions(0)->FileName, TinyClip()); // filled from the call

    TOutputOptions o;
    o.ForceFormat = "matroska";
    o.VideoCodec = "mpeg4";
    o.AudioCodec = "mp2";
    o.FrameSize = "80x64";
    o.AudioSampleRate = 16000;
    o.AudioChannels = 1;
    o.Info.Title = "Vornic title";
    o.Info.Year = 2009;
    o.ExtOptions = "vcodec=mjpeg<CRLF>ar=8000"; // replaced by the fields applied after the text
    const QString out = Out("records.mkv");
    ASSERT_TRUE(engine.SetOutputFile(task, out, &o)) << engine.LastError().toStdString();
    engine.StartTask(0);
    ASSERT_EQ(events.Snapshot().size(), 2u);
    EXPECT_TRUE(events.Snapshot()[0].Finished);

    EXPECT_EQ(ProbeValue(out, "format=format_name"), "matroska,webm");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
    EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "80");
    EXPECT_EQ(ProbeValue(out, "stream=sample_rate", "a:0"), "16000");
    EXPECT_EQ(ProbeValue(out, "stream=channels", "a:0"), "1");
    EXPECT_EQ(ProbeValue(out, "format_tags=title"), "Vornic title");
    const int frames = VideoFrames(out);
    EXPECT_GE(frames, 10);
    EXPECT_LE(frames, 15); // half of 25
}

TEST_F(EngineTest, ForegroundRunsEveryTaskBeforeReturning)
{
    TRecordedEvents events; // outlives the engine, whose event threads report into it
    TFFmpegEngine engine;
    events.Attach(engine);
    const QString src = TinyClip();
    for (int i = 0; i < 3; ++i) AddConversion(engine, src, Out(QString("fg%1.avi").arg(i)));
    engine.StartTask(0);

    const auto t = events.Snapshot();
    ASSERT_EQ(t.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t[size_t(i)].TaskIndex, i);
        EXPECT_TRUE(t[size_t(i)].Finished);
        EXPECT_FALSE(t[size_t(i)].Exception);
        EXPECT_EQ(VideoFrames(Out(QString("fg%1.avi").arg(i))), 25);
    }
    EXPECT_EQ(t[3].TaskIndex, -1);
    EXPECT_TRUE(t[3].Finished);
    for (std::thread::id id : events.TerminateThreads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_TRUE(engine.AllFinished());
}

TEST_F(EngineTest, ATaskWithoutOutputEndsAtOnceAndTheOthersRun)
{
    TRecordedEvents events; // outlives the engine, whose event threads report into it
    TFFmpegEngine engine;
    events.Attach(engine);
    ASSERT_EQ(engine.AddTask(TinyClip()), 0); // no output
    AddConversion(engine, TinyClip(), Out("after.avi"));
    engine.StartTask(0);
    const auto t = events.Snapshot();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].TaskIndex, 0);
    EXPECT_FALSE(t[0].Finished);
    EXPECT_TRUE(t[0].Exception);
    EXPECT_EQ(t[0].ExceptionMsg, "At least one output file must be specified");
    EXPECT_TRUE(t[1].Finished);
    EXPECT_EQ(t[2].TaskIndex, -1);
    EXPECT_EQ(VideoFrames(Out("after.avi")), 25);
}

TEST_F(EngineTest, ARunErrorEndsOnlyItsTask)
{
    TRecordedEvents events; // outlives the engine, whose event threads report into it
    TFFmpegEngine engine;
    events.Attach(engine);
    const int task = engine.AddTask(TinyClip());
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.ExtOptions = "map=0:7"; // no such stream: refused when the run maps its streams
    ASSERT_TRUE(engine.SetOutputFile(task, Out("broken.avi"), &o)) << engine.LastError().toStdString();
    AddConversion(engine, TinyClip(), Out("fine.avi"));
    engine.StartTask(0);
    const auto t = events.Snapshot();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_TRUE(t[0].Exception);
    EXPECT_FALSE(t[0].Finished);
    EXPECT_FALSE(t[0].ExceptionMsg.isEmpty());
    EXPECT_TRUE(t[1].Finished);
    EXPECT_FALSE(t[1].Exception);
}

TEST_F(EngineTest, OperationsAreRefusedUntilClearTasks)
{
    TRecordedEvents events; // outlives the engine, whose event threads report into it
    TFFmpegEngine engine;
    events.Attach(engine);
    AddConversion(engine, TinyClip(), Out("r0.avi"));
    engine.StartTask(0);
    ASSERT_EQ(events.FinalCount.load(), 1);

    auto message = [](auto&& call) -> std::string {
        try {
            call();
        } catch (const FFmpegException& e) {
            return e.what();
        }
        return "no refusal";
    };
    EXPECT_EQ(message([&] { engine.AddTask(TinyClip()); }), "Cannot AddTask while working.");
    EXPECT_EQ(message([&] { engine.AddInputFile(0, TinyClip()); }), "Cannot AddInputFile while working.");
    EXPECT_EQ(message([&] { engine.SetOutputFile(0, Out("x.avi")); }), "Cannot SetOutputFile while working.");
    EXPECT_EQ(message([&] { engine.RemoveTask(0); }), "Cannot RemoveTask while working.");
    EXPECT_EQ(message([&] { engine.StartTask(1); }), "Cannot StartTask while working.");

    engine.ClearTasks();
    EXPECT_EQ(engine.TaskCount(), 0);
    EXPECT_FALSE(engine.Working());
    EXPECT_EQ(engine.AddTask(TinyClip()), 0);
    engine.RemoveTask(0);
    EXPECT_EQ(engine.TaskCount(), 0);
}

TEST_F(EngineTest, AnEmptyRunStillReportsItsEnd)
{
    TRecordedEvents events; // outlives the engine, whose event threads report into it
    TFFmpegEngine engine;
    events.Attach(engine);
    engine.StartTask(0);
    ASSERT_EQ(events.Snapshot().size(), 1u);
    EXPECT_EQ(events.Snapshot()[0].TaskIndex, -1);
    engine.ClearTasks();
    engine.StartTask(2);
    ASSERT_TRUE(WaitServicingEvents([&] { return events.FinalCount.load() == 2; }, 10000));
}

TEST_F(EngineTest, RemoveTaskShiftsLaterIndexes)
{
    TFFmpegEngine engine;
    const QString src = TinyClip();
    const QString other = LongClip();
    ASSERT_EQ(engine.AddTask(src), 0);
    ASSERT_EQ(engine.AddTask(other), 1);
    engine.RemoveTask(0);
    ASSERT_EQ(engine.TaskCount(), 1);
    TAVProbe* probe = engine.Task(0)->InputProbe(0);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->GetFileName(), other);
}

} // namespace
