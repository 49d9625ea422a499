// label: tsan
// The run's counters and display updates against the engine's termination threads, and
// taking the run apart while its tasks still work.
#include "test_run_support.h"

#include <QFileInfo>

#include <algorithm>

namespace {

class RunThreadsTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    void SetUp() override
    {
        LoadRunEngine();
        ASSERT_TRUE(tmp.isValid());
        for (const char* dir : {"out", "out2"})
            QDir().mkpath(tmp.filePath(dir));
    }
};

TEST_F(RunThreadsTest, ManyShortTasksCountEveryReport)
{
    const QString clip = RunClip(1);
    QStringList inputs;
    for (int i = 0; i < 6; ++i)
        inputs << CopyInput(clip, tmp.filePath("in"), QStringLiteral("c%1.avi").arg(i));
    RunHarness h;
    ASSERT_EQ(h.run->Start(Rows(inputs), WavChoice(tmp.filePath("out")), false), 6);
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_EQ(h.ended, 1);
    EXPECT_EQ(h.run->Successes(), 6);
    EXPECT_EQ(h.run->ProcessedDuration(), h.run->TotalDuration());
    // Each row's final update came before the end of the run.
    int finishedUpdates = 0;
    for (const auto& [index, row] : h.rowUpdates)
        finishedUpdates += row.Third == "Finish." ? 1 : 0;
    EXPECT_EQ(finishedUpdates, 6);
}

TEST_F(RunThreadsTest, SeveralAtOnceCountEachTasksPositionInTheWholeRun)
{
    QStringList inputs;
    for (int i = 0; i < 4; ++i)
        inputs << CopyInput(RunClip(8, "640x480"), tmp.filePath("in"), QStringLiteral("p%1.avi").arg(i));
    RunHarness h;
    ASSERT_EQ(h.run->Start(Rows(inputs), TOutputChoice{fcVideo, 0, 4, tmp.filePath("out") + u'/'}, false, 2), 4);
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_EQ(h.run->Successes(), 4);
    EXPECT_EQ(h.run->ProcessedDuration(), h.run->TotalDuration());

    int mostAtOnce = 0;
    int last = 0;
    for (const TRunStatus& s : h.statuses) {
        if (s.CurrentFile == "...")
            continue;
        mostAtOnce = std::max(mostAtOnce, s.Running);
        EXPECT_LE(s.Running, 2);
        // Whichever task reports, the whole run's share only grows.
        EXPECT_GE(s.OverallPercent, last) << "the run's progress went back";
        last = s.OverallPercent;
    }
    EXPECT_EQ(mostAtOnce, 2) << "two tasks never converted at the same time";
    EXPECT_EQ(last, 100);
    for (const QString& input : inputs)
        EXPECT_TRUE(QFileInfo::exists(tmp.filePath("out/") + QFileInfo(input).fileName()));
}

TEST_F(RunThreadsTest, AFileOfUnknownLengthAmongOthersNeverSetsTheWholeRunBack)
{
    // Its time is in no total: while it converts beside the others it must not count either.
    const QString raw = MediaFixture("run_raw_4s.m4v", {"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-t", "4",
                                                       "-c:v", "mpeg4", "-f", "m4v"});
    const QStringList inputs{CopyInput(raw, tmp.filePath("in"), "raw.m4v"),
                             CopyInput(RunClip(12, "640x480"), tmp.filePath("in"), "known.avi")};
    RunHarness h;
    ASSERT_EQ(h.run->Start(Rows(inputs), AviChoice(tmp.filePath("out")), false, 2), 2);
    ASSERT_EQ(h.run->Rows()[0].DurationUs, -1);
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_EQ(h.run->Successes(), 2);
    int last = 0;
    for (const TRunStatus& s : h.statuses) {
        if (s.CurrentFile == "...")
            continue;
        EXPECT_GE(s.OverallPercent, last) << "the run's progress went back";
        last = s.OverallPercent;
    }
    EXPECT_EQ(last, 100);
}

TEST_F(RunThreadsTest, DestroyingTheRunWhileItWorksLeavesTheEngineReady)
{
    const QString longer = CopyInput(RunClip(8, "640x480"), tmp.filePath("in"), "long.avi");
    const QString shorter = CopyInput(RunClip(1), tmp.filePath("in"), "short.avi");
    const QByteArray sum = Checksum(longer);
    RunHarness h;
    bool converting = false;
    h.onRow = [&](int) { converting = true; };
    ASSERT_EQ(h.run->Start(Rows({longer, longer}), TOutputChoice{fcVideo, 0, 4, tmp.filePath("out") + u'/'}, false),
              2);
    WaitServicingEvents([&] { return converting; }, 20000);
    h.run.reset(); // stops, waits for the end and lets go of the engine
    EXPECT_EQ(h.ended, 0) << "no hook of a destroyed run may be called";
    EXPECT_EQ(h.engine.TaskCount(), 0);
    EXPECT_FALSE(h.engine.Working());

    // A new run on the same engine works from an empty task list.
    h.run = std::make_unique<TConversionRun>(h.engine);
    h.Hook();
    ASSERT_EQ(h.run->Start(Rows({shorter}), WavChoice(tmp.filePath("out2")), false), 1);
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_EQ(h.run->Successes(), 1);
    EXPECT_EQ(Checksum(longer), sum);
}

} // namespace
