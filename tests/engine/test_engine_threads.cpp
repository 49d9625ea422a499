// label: sanitize
// Background runs of the task component: how many tasks run at once, that every task reports
// its end exactly once and the run exactly once more, stopping, and that no thread of the
// component outlives it.
#include "test_engine_support.h"

#include <QDir>
#include <QThread>

#include <cstdio>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Frames of the first video stream, decoded in this process: starting ffprobe from a process
// full of sanitized threads confuses the sanitizer, so the threaded checks use our probe.
int DecodedFrames(const QString& file)
{
    TAVProbe probe;
    if (!probe.LoadFile(file)) return -1;
    int frames = 0;
    while (probe.DecodeNextFrame()) ++frames;
    return frames;
}

// Makes a clip where MediaFixture looks for it, with a plain fork and exec: the way the
// toolkit starts processes shares the parent's memory until exec, behind the sanitizer's back.
void MakeClip(const QString& name, const QStringList& args)
{
    const QString path = FixtureDir() + "/" + name;
    if (QFileInfo::exists(path)) return;
    const QString part = path + QString(".%1.part.avi").arg(getpid());
    std::vector<QByteArray> bytes{"ffmpeg", "-v", "error", "-y"};
    for (const QString& a : args) bytes.push_back(a.toUtf8());
    bytes.push_back(part.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ffmpeg failed for " << name.toStdString();
    std::rename(part.toUtf8().constData(), path.toUtf8().constData()); // others see it whole
}

// The clips are made before any test starts a thread.
class Clips : public ::testing::Environment {
public:
    void SetUp() override
    {
        LoadEngineLibraries();
        const QStringList source{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi",
                                 "-i", "sine=frequency=440:sample_rate=22050"};
        const QStringList codecs{"-c:v", "mpeg4", "-c:a", "mp2"};
        MakeClip("engine_tiny.avi", source + QStringList{"-t", "1"} + codecs);
        MakeClip("engine_long.avi", source + QStringList{"-t", "3"} + codecs);
    }
};
const auto* const clips = ::testing::AddGlobalTestEnvironment(new Clips);

int ProcessThreads()
{
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Counts the tasks running at every report the workers make.
struct TConcurrency {
    std::atomic<int> Max{0};
    void Watch(TFFmpegEngine& engine)
    {
        engine.SetTriggerEventInMainThread(false);
        engine.OnProgress = [this, &engine](QObject*, TProgressInfo*) { Sample(engine); };
    }
    void Sample(TFFmpegEngine& engine)
    {
        int running = 0;
        for (int i = 0; i < engine.TaskCount(); ++i) running += engine.Task(i)->Running() ? 1 : 0;
        int seen = Max.load();
        while (running > seen && !Max.compare_exchange_weak(seen, running)) {
        }
    }
};

void ExpectOneReportPerTaskThenTheFinal(const std::vector<TTerminateInfo>& t, int tasks)
{
    ASSERT_EQ(int(t.size()), tasks + 1);
    std::vector<int> seen(size_t(tasks), 0);
    for (int i = 0; i < tasks; ++i) {
        ASSERT_GE(t[size_t(i)].TaskIndex, 0);
        ASSERT_LT(t[size_t(i)].TaskIndex, tasks);
        ++seen[size_t(t[size_t(i)].TaskIndex)];
    }
    for (int n : seen) EXPECT_EQ(n, 1);
    EXPECT_EQ(t.back().TaskIndex, -1);
    EXPECT_TRUE(t.back().Finished);
    EXPECT_FALSE(t.back().Exception);
}

TEST_F(EngineTest, OneThreadRunsTheTasksOneAfterAnother)
{
    TRecordedEvents events;
    TConcurrency concurrency;
    TFFmpegEngine engine;
    events.Attach(engine);
    concurrency.Watch(engine);
    const QString src = TinyClip();
    for (int i = 0; i < 3; ++i) AddConversion(engine, src, Out(QString("one%1.avi").arg(i)));
    engine.StartTask(1);
    ASSERT_TRUE(events.WaitFinal());

    const auto t = events.Snapshot();
    ASSERT_EQ(t.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t[size_t(i)].TaskIndex, i); // one at a time keeps the order
        EXPECT_TRUE(t[size_t(i)].Finished);
    }
    EXPECT_EQ(t[3].TaskIndex, -1);
    EXPECT_EQ(concurrency.Max.load(), 1);
    for (std::thread::id id : events.TerminateThreads) EXPECT_NE(id, std::this_thread::get_id());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(DecodedFrames(Out(QString("one%1.avi").arg(i))), 25);
    engine.ClearTasks();
}

class ParallelRuns : public EngineTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(ParallelRuns, EveryTaskReportsOnceAndTheRunOnceMore)
{
    const auto [threads, tasks] = GetParam();
    TRecordedEvents events;
    TConcurrency concurrency;
    TFFmpegEngine engine;
    events.Attach(engine);
    concurrency.Watch(engine);
    engine.SetProgressInterval(100);
    const QString src = TinyClip();
    for (int i = 0; i < tasks; ++i) AddConversion(engine, src, Out(QString("p%1.avi").arg(i)));
    engine.StartTask(threads);
    ASSERT_TRUE(events.WaitFinal());
    // Nothing more arrives after the final report.
    QThread::msleep(100);
    ExpectOneReportPerTaskThenTheFinal(events.Snapshot(), tasks);
    for (const TTerminateInfo& info : events.Snapshot()) EXPECT_TRUE(info.Finished) << info.TaskIndex;
    EXPECT_LE(concurrency.Max.load(), threads);
    for (int i = 0; i < tasks; ++i) EXPECT_EQ(DecodedFrames(Out(QString("p%1.avi").arg(i))), 25) << i;
}

INSTANTIATE_TEST_SUITE_P(Threads, ParallelRuns, ::testing::Values(std::pair{2, 4}, std::pair{4, 6}));

TEST_F(EngineTest, StopWithWaitDuringTheFirstOfThreeTasks)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    std::atomic<int> reports{0};
    engine.SetTriggerEventInMainThread(false);
    engine.SetProgressInterval(100);
    engine.OnProgress = [&](QObject*, TProgressInfo*) { ++reports; };
    const TInputOptions realTime = RealTime();
    for (int i = 0; i < 3; ++i) AddConversion(engine, LongClip(), Out(QString("s%1.avi").arg(i)), &realTime);
    engine.StartTask(1);
    ASSERT_TRUE(WaitServicingEvents([&] { return reports.load() > 0; }, 30000));
    engine.StopTasks(true);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(engine.Task(i)->Running()) << i;
    EXPECT_TRUE(engine.Task(0)->TaskTerminated());
    ASSERT_TRUE(events.WaitFinal(10000));

    const auto t = events.Snapshot();
    ExpectOneReportPerTaskThenTheFinal(t, 3);
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        EXPECT_FALSE(t[i].Finished) << t[i].TaskIndex;
        EXPECT_FALSE(t[i].Exception) << t[i].TaskIndex;
    }
    // The stopped task's file is complete; the others were never written.
    EXPECT_GT(DecodedFrames(Out("s0.avi")), 0);
    EXPECT_LT(DecodedFrames(Out("s0.avi")), 75);
    EXPECT_LE(DecodedFrames(Out("s1.avi")), 0);
}

TEST_F(EngineTest, StopWithoutWaitStillEndsWithTheFinalReport)
{
    TRecordedEvents events;
    TFFmpegEngine engine;
    events.Attach(engine);
    const TInputOptions realTime = RealTime();
    for (int i = 0; i < 4; ++i) AddConversion(engine, LongClip(), Out(QString("n%1.avi").arg(i)), &realTime);
    engine.StartTask(2);
    QThread::msleep(300);
    engine.StopTasks(false);
    ASSERT_TRUE(events.WaitFinal(20000));
    QThread::msleep(100);
    ExpectOneReportPerTaskThenTheFinal(events.Snapshot(), 4);
}

TEST_F(EngineTest, ClearTasksIsRefusedDuringTheRunAndWorksFromTheFinalReport)
{
    std::atomic<bool> cleared{false};
    std::atomic<int> finals{0};
    TFFmpegEngine engine;
    engine.OnTerminate = [&](QObject*, TTerminateInfo info) {
        if (info.TaskIndex >= 0) return;
        ++finals;
        // As the application does: free the tasks when the run is over.
        static_cast<TFFmpegEngine*>(&engine)->ClearTasks();
        cleared = true;
    };
    const TInputOptions realTime = RealTime();
    AddConversion(engine, TinyClip(), Out("c0.avi"), &realTime);
    AddConversion(engine, TinyClip(), Out("c1.avi"), &realTime);
    engine.StartTask(1);
    EXPECT_THROW(engine.ClearTasks(), FFmpegException);
    ASSERT_TRUE(WaitServicingEvents([&] { return cleared.load(); }, 30000));
    EXPECT_EQ(finals.load(), 1);
    EXPECT_EQ(engine.TaskCount(), 0);
    EXPECT_FALSE(engine.Working());
    EXPECT_EQ(engine.AddTask(TinyClip()), 0);
}

// The application frees the tasks from the final report; a StopTasks(true) on the main thread
// may still be waiting on those tasks then, and must never touch them after they are freed.
TEST_F(EngineTest, StopWithWaitWhileTheFinalReportClearsTheTasks)
{
    for (int round = 0; round < 4; ++round) {
        std::atomic<bool> cleared{false};
        std::atomic<int> reports{0};
        TFFmpegEngine engine;
        engine.SetTriggerEventInMainThread(false);
        engine.SetProgressInterval(100);
        engine.OnProgress = [&](QObject*, TProgressInfo*) { ++reports; };
        engine.OnTerminate = [&](QObject*, TTerminateInfo info) {
            if (info.TaskIndex >= 0) return;
            engine.ClearTasks();
            cleared = true;
        };
        const TInputOptions realTime = RealTime();
        for (int i = 0; i < 3; ++i)
            AddConversion(engine, LongClip(), Out(QString("w%1_%2.avi").arg(round).arg(i)), &realTime);
        engine.StartTask(round % 2 + 1);
        ASSERT_TRUE(WaitServicingEvents([&] { return reports.load() > 0; }, 30000));
        engine.StopTasks(true);
        ASSERT_TRUE(WaitServicingEvents([&] { return cleared.load(); }, 30000)) << round;
        EXPECT_EQ(engine.TaskCount(), 0);
        // The component stays usable for the next run.
        EXPECT_EQ(engine.AddTask(TinyClip()), 0);
    }
}

TEST_F(EngineTest, FreeingTheComponentStopsItsTasksAndLeavesNoThread)
{
    const QString src = LongClip();
    (void)TinyClip();
    const int before = ProcessThreads();
    TRecordedEvents events;
    {
        TFFmpegEngine engine;
        events.Attach(engine);
        std::atomic<int> reports{0};
        engine.SetTriggerEventInMainThread(true);
        engine.SetProgressInterval(100);
        engine.OnProgress = [&](QObject*, TProgressInfo*) { ++reports; };
        const TInputOptions realTime = RealTime();
        for (int i = 0; i < 3; ++i) AddConversion(engine, src, Out(QString("d%1.avi").arg(i)), &realTime);
        engine.StartTask(2);
        ASSERT_TRUE(WaitServicingEvents([&] { return reports.load() >= 2; }, 30000));
        // Leave the workers waiting in a hand-over to this thread when the component goes.
        QThread::msleep(300);
    }
    EXPECT_EQ(ProcessThreads(), before);
    ExpectOneReportPerTaskThenTheFinal(events.Snapshot(), 3);
    EXPECT_GT(DecodedFrames(Out("d0.avi")), 0); // stopped, yet complete
}

} // namespace
