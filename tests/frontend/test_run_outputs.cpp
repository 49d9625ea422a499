// label: tsan
// What a run leaves on disk and how it is prepared: outputs of tasks that did not finish are
// removed (failure, Stop, the run destroyed mid-way), files that were there stay; with the
// preparation on a worker, Start returns at once, rows come one by one, and Stop or the end of
// the run while it prepares leaves neither tasks nor files behind.
#include "test_run_support.h"

#include <QFileInfo>

namespace {

class RunOutputsTest : public RunFolderTest {
protected:
    static void Write(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

TEST_F(RunOutputsTest, FailedTaskLeavesNoOutputAndTheFinishedOneStays)
{
    const QString in = Dir("in"), out = Dir("out");
    const QString small = CopyInput(RunClip(1), in, "small.avi");
    const QString large = CopyInput(RunClip(8, "640x480"), in, "large.avi");
    // Taken names: the run writes beside them and never touches them.
    Write(out + "/large.wav", "the user's own file");
    RunHarness h;
    {
        FileSizeLimit limit(100 * 1024); // the 8 s output runs into it
        ASSERT_TRUE(limit.Ok());
        ASSERT_EQ(h.run->Start(Rows({small, large}), WavChoice(out), false), 2);
        ASSERT_TRUE(h.WaitEnd());
    }
    EXPECT_EQ(h.run->Rows()[1].Third, "Failed.");
    EXPECT_EQ(h.run->Rows()[1].OutputFile, out + "/large(1).wav");
    EXPECT_EQ(FilesIn(out), QStringList({"large.wav", "small.wav"}));
    EXPECT_EQ(FileBytes(out + "/large.wav"), "the user's own file");
}

TEST_F(RunOutputsTest, StopAndDestroyingTheRunRemoveEveryIncompleteOutput)
{
    const QString in = Dir("in");
    const QString longer = CopyInput(RunClip(8, "640x480"), in, "long.avi");
    const QString other = CopyInput(RunClip(1), in, "short.avi");
    for (bool destroy : {false, true}) {
        const QString out = Dir(destroy ? "destroyed" : "stopped");
        Write(out + "/long.avi", "taken");
        RunHarness h;
        bool converting = false;
        h.onRow = [&](int row) {
            if (!converting && h.run->Rows()[size_t(row)].Third == "Converting...") {
                converting = true;
                if (!destroy)
                    h.run->Stop();
            }
        };
        ASSERT_EQ(h.run->Start(Rows({longer, other}), AviChoice(out), false), 2);
        // Both outputs exist from the start: the second one is made before it converts.
        EXPECT_EQ(FilesIn(out), QStringList({"long(1).avi", "long.avi", "short.avi"}));
        if (destroy) {
            ASSERT_TRUE(WaitServicingEvents([&] { return converting; }, 60000));
            h.run.reset(); // as the window's close does
            EXPECT_EQ(h.engine.TaskCount(), 0);
        } else {
            ASSERT_TRUE(h.WaitEnd());
            EXPECT_EQ(h.run->Successes(), 0);
        }
        EXPECT_EQ(FilesIn(out), QStringList{"long.avi"}) << destroy;
        EXPECT_EQ(FileBytes(out + "/long.avi"), "taken");
    }
}

TEST_F(RunOutputsTest, PreparedOnAWorkerRowsComeOneByOneAndTheRunConverts)
{
    const QString in = Dir("in"), out = Dir("out");
    const QString a = CopyInput(RunClip(1), in, "a.avi");
    const QString b = CopyInput(RunClip(2), in, "b.avi");
    const QString broken = in + "/broken.avi";
    Write(broken, "not media");
    for (bool join : {false, true}) {
        const QString dir = Dir(join ? "join" : "files");
        RunHarness h;
        h.run->PrepareOnWorker = true;
        std::vector<TInputRow> inputs{{a, 1000000, 160, 120, 4.0 / 3.0}, {broken}, {b, 2000000, 160, 120, 4.0 / 3.0}};
        EXPECT_EQ(h.run->Start(inputs, AviChoice(dir), join), 0);
        EXPECT_TRUE(h.run->Running());
        EXPECT_EQ(h.rowsBuilt, 0); // built on the worker, announced later
        // A second start while it prepares is the same request.
        EXPECT_EQ(h.run->Start(Rows({a}), AviChoice(dir), join), 0);
        EXPECT_EQ(h.LogCount("Cannot do convert, error: a conversion is already running."), 1);
        ASSERT_TRUE(h.WaitEnd());
        EXPECT_EQ(h.rowsAdded, QStringList({"a.avi", "b.avi"})) << join;
        EXPECT_EQ(h.rowsBuilt, 1);
        EXPECT_EQ(h.run->Successes(), 1 + (join ? 0 : 1));
        EXPECT_EQ(h.run->TotalFiles(), join ? 1 : 2);
        EXPECT_EQ(h.run->TotalDuration(), join ? 3000000 : h.run->Rows()[0].DurationUs + h.run->Rows()[1].DurationUs);
        EXPECT_EQ(h.LogCount(join ? "Adding file error: " : "File load error: "), 1);
        EXPECT_EQ(FilesIn(dir), join ? QStringList{"Output_Merge.avi"} : QStringList({"a.avi", "b.avi"}));
    }
}

TEST_F(RunOutputsTest, StopOrTheRunGoneWhilePreparingLeavesNothingBehind)
{
    const QString in = Dir("in");
    const QString clip = CopyInput(RunClip(1), in, "clip.avi");
    std::vector<TInputRow> inputs = Rows(QStringList(QList<QString>(100, clip)));
    for (bool destroy : {false, true}) {
        const QString out = Dir(destroy ? "destroyed" : "stopped");
        RunHarness h;
        h.run->PrepareOnWorker = true;
        EXPECT_EQ(h.run->Start(inputs, AviChoice(out), false), 0);
        // Some outputs are made by now.
        ASSERT_TRUE(WaitServicingEvents([&] { return !h.rowsAdded.isEmpty(); }, 60000));
        if (destroy) {
            h.run.reset();
        } else {
            h.run->Stop();
            EXPECT_TRUE(h.run->Running()); // until the input in hand is done
            ASSERT_TRUE(h.WaitEnd(1, 60000));
            EXPECT_FALSE(h.run->Running());
            EXPECT_EQ(h.run->Successes(), 0);
            EXPECT_LT(h.run->Rows().size(), inputs.size()); // it stopped preparing
            EXPECT_EQ(h.run->TotalFiles(), int(h.run->Rows().size()));
            for (const TConversionRow& row : h.run->Rows())
                EXPECT_EQ(row.Third, "Failed.");
            EXPECT_TRUE(h.run->ErrorLines().isEmpty()); // stopped, not broken
        }
        EXPECT_EQ(h.engine.TaskCount(), 0);
        EXPECT_FALSE(h.engine.Working());
        EXPECT_TRUE(FilesIn(out).isEmpty()) << FilesIn(out).join(' ').toStdString();
    }
}

} // namespace
