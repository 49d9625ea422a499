// The conversion run on the real engine: tasks built from the input rows (per file and joined),
// the rows and counts it reports, stops, refusals, and failures while the tasks run.
#include "test_run_support.h"

#include "UtilFuncs.h"

#include <QDirIterator>
#include <QFileInfo>

#include <unistd.h>

namespace {

class RunTest : public RunFolderTest {};

TEST_F(RunTest, UnreadableInputGetsNoRowAndTheOthersConvert)
{
    const QString in = Dir("in"), out = Dir("out");
    const QString first = CopyInput(RunClip(1), in, "first.avi");
    const QString broken = in + "/broken.avi";
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("no media in here, only words\n");
    }
    const QString third = CopyInput(RunClip(2), in, "third.avi");
    const QByteArray sumFirst = Checksum(first), sumThird = Checksum(third);

    RunHarness h;
    EXPECT_EQ(h.run->Start(Rows({first, broken, third}), AviChoice(out), false), 2);
    EXPECT_EQ(h.LogCount("File load error: "), 1);
    EXPECT_EQ(h.LogCount("File has been added to convert list."), 2);
    EXPECT_EQ(h.rowsBuilt, 1);
    ASSERT_EQ(h.run->Rows().size(), 2u);
    EXPECT_FALSE(h.run->JoinMode());
    EXPECT_EQ(h.run->TotalFiles(), 2);
    const TConversionRow& row0 = h.run->Rows()[0];
    EXPECT_EQ(row0.Name, "first.avi");
    EXPECT_EQ(row0.Path, in + u'/');
    EXPECT_EQ(row0.Third, "Waiting...");
    EXPECT_EQ(row0.Fourth, "");
    EXPECT_EQ(row0.Duration, FormatMicroseconds(row0.DurationUs));
    EXPECT_EQ(h.run->Rows()[1].Name, "third.avi");
    EXPECT_EQ(h.run->TotalDuration(), h.run->Rows()[0].DurationUs + h.run->Rows()[1].DurationUs);
    EXPECT_NEAR(double(h.run->Rows()[1].DurationUs), 2e6, 1e5);
    EXPECT_TRUE(h.run->Running());

    ASSERT_TRUE(h.WaitEnd());
    EXPECT_FALSE(h.run->Running());
    EXPECT_EQ(h.ended, 1);
    EXPECT_EQ(h.run->Successes(), 2);
    EXPECT_TRUE(h.run->ErrorLines().isEmpty()) << h.run->ErrorLines().join('\n').toStdString();
    // Both rows end as finished; the second row was updated by the task of the third input.
    for (const TConversionRow& row : h.run->Rows()) {
        EXPECT_EQ(row.Third, "Finish.");
        EXPECT_EQ(row.Fourth, "100%");
    }
    bool secondRowFinished = false;
    for (const auto& [index, row] : h.rowUpdates)
        secondRowFinished |= index == 1 && row.Third == "Finish." && row.Name == "third.avi";
    EXPECT_TRUE(secondRowFinished);
    EXPECT_EQ(h.run->ProcessedDuration(), h.run->TotalDuration());
    EXPECT_EQ(h.engine.TaskCount(), 0);
    EXPECT_EQ(h.run->Status().CurrentFile, "...");
    EXPECT_EQ(h.run->Status().Percent, 0);

    // The outputs are the inputs converted, each under its own name.
    EXPECT_EQ(FilesIn(out), QStringList({"first.avi", "third.avi"}));
    EXPECT_EQ(ProbeValue(out + "/third.avi", "stream=codec_name", "v:0"), "mpeg4");
    EXPECT_NEAR(ProbeValue(out + "/third.avi", "format=duration").toDouble(), 2.0, 0.2);
    EXPECT_EQ(Checksum(first), sumFirst);
    EXPECT_EQ(Checksum(third), sumThird);
}

TEST_F(RunTest, SameBaseNameInTwoFoldersGivesTwoOutputs)
{
    const QString a = CopyInput(RunClip(1), Dir("a"), "clip.avi");
    const QString b = CopyInput(RunClip(1), Dir("b"), "clip.avi");
    // An unknown duration shows its text and adds nothing to the total.
    const QString raw = MediaFixture("run_raw.m4v", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-t", "1",
                                                    "-c:v", "mpeg4", "-f", "m4v"});
    const QString out = Dir("out");
    RunHarness h;
    ASSERT_EQ(h.run->Start(Rows({a, b, raw}), AviChoice(out), false), 3);
    const auto& rows = h.run->Rows();
    EXPECT_NE(rows[0].OutputFile, rows[1].OutputFile);
    EXPECT_EQ(rows[2].Duration, "Duration is not preseted");
    EXPECT_EQ(rows[2].DurationUs, -1);
    EXPECT_EQ(h.run->TotalDuration(), rows[0].DurationUs + rows[1].DurationUs);
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_EQ(h.run->Successes(), 3);
    EXPECT_EQ(FilesIn(out), QStringList({"clip(1).avi", "clip.avi", "run_raw.avi"}));
    // Without a known length the progress column cannot give a share.
    for (const auto& [index, row] : h.rowUpdates) {
        if (index == 2 && row.Third != "Finish.") {
            EXPECT_EQ(row.Fourth, "N/A");
        }
    }
}

TEST_F(RunTest, StoppedTasksFailWithoutErrorLineAndTheNextRunStartsAfresh)
{
    const QString in = Dir("in"), out = Dir("out");
    const QString longer = CopyInput(RunClip(8, "640x480"), in, "long.avi");
    const QString other = CopyInput(RunClip(1), in, "short.avi");
    const QByteArray sum = Checksum(longer);

    RunHarness h;
    bool stopped = false;
    h.onRow = [&](int row) {
        // Stop while the first task is converting; the second is still waiting.
        if (!stopped && h.run->Rows()[size_t(row)].Third == "Converting...") {
            stopped = true;
            h.run->Stop();
        }
    };
    ASSERT_EQ(h.run->Start(Rows({longer, other}), AviChoice(out), false), 2);
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_TRUE(stopped) << "no progress report came before the run ended";
    EXPECT_EQ(h.run->TotalFiles(), 2);
    EXPECT_EQ(h.run->Successes(), 0);
    EXPECT_TRUE(h.run->ErrorLines().isEmpty()) << h.run->ErrorLines().join('\n').toStdString();
    for (const TConversionRow& row : h.run->Rows())
        EXPECT_EQ(row.Third, "Failed.");
    EXPECT_EQ(h.run->ProcessedDuration(), 0);
    bool hadEstimate = false;
    for (const TRunStatus& s : h.statuses)
        hadEstimate |= s.HasEstimate;
    EXPECT_TRUE(hadEstimate);

    // A second run on the same engine: counters, rows and the estimate start from zero.
    h.onRow = nullptr;
    h.statuses.clear();
    ASSERT_EQ(h.run->Start(Rows({other}), AviChoice(out), false), 1);
    EXPECT_FALSE(h.run->Status().HasEstimate);
    EXPECT_EQ(h.run->Status().Percent, 0);
    EXPECT_EQ(h.run->ProcessedDuration(), 0);
    EXPECT_EQ(h.run->TotalFiles(), 1);
    ASSERT_EQ(h.run->Rows().size(), 1u);
    ASSERT_TRUE(h.WaitEnd(2));
    EXPECT_EQ(h.run->Successes(), 1);
    EXPECT_EQ(h.run->ProcessedDuration(), h.run->Rows()[0].DurationUs);
    EXPECT_EQ(h.run->Rows()[0].Third, "Finish.");
    EXPECT_EQ(Checksum(longer), sum);
}

TEST_F(RunTest, JoinModeBuildsOneTaskAndKeepsTheGeometryColumns)
{
    const QString in = Dir("in"), out = Dir("out");
    const QString a = CopyInput(RunClip(1), in, "a.avi");
    const QString b = CopyInput(RunClip(2), in, "b.avi");
    const QByteArray sumA = Checksum(a), sumB = Checksum(b);
    std::vector<TInputRow> inputs{{a, 1000000, 160, 120, 4.0 / 3.0}, {b, 2000000, 160, 120, 4.0 / 3.0}};

    RunHarness h;
    ASSERT_EQ(h.run->Start(inputs, AviChoice(out), true), 1);
    EXPECT_TRUE(h.run->JoinMode());
    EXPECT_EQ(h.run->TotalFiles(), 1);
    EXPECT_EQ(h.LogCount("File has been added to convert list."), 2);
    EXPECT_EQ(h.run->TotalDuration(), 3000000);
    const QString output = out + "/Output_Merge.avi";
    ASSERT_EQ(h.run->Rows().size(), 2u);
    EXPECT_EQ(h.run->Rows()[1].Duration, FormatMicroseconds(2000000));
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_EQ(h.run->Successes(), 1);
    EXPECT_TRUE(h.run->ErrorLines().isEmpty());
    for (const TConversionRow& row : h.run->Rows()) {
        EXPECT_EQ(row.Third, "160x120");
        EXPECT_EQ(row.Fourth, "1.33333");
        EXPECT_EQ(row.Path, output);
    }
    for (const TRunStatus& s : h.statuses) {
        if (s.CurrentFile != "...") {
            EXPECT_EQ(s.CurrentFile, output);
        }
    }
    EXPECT_EQ(FilesIn(out), QStringList({"Output_Merge.avi"}));
    EXPECT_NEAR(ProbeValue(output, "format=duration").toDouble(), 3.0, 0.3);
    EXPECT_EQ(h.run->ProcessedDuration(), 3000000);
    EXPECT_EQ(Checksum(a), sumA);
    EXPECT_EQ(Checksum(b), sumB);
}

TEST_F(RunTest, RunWithoutAnyTaskStillEndsWithTheReasons)
{
    const QString out = Dir("out");
    const QString missing = tmp.filePath("missing.avi");
    const QString text = tmp.filePath("text.avi");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("plain text\n");
    }
    for (bool join : {false, true}) {
        RunHarness h;
        EXPECT_EQ(h.run->Start(Rows({missing, text}), AviChoice(out), join), 0) << join;
        ASSERT_TRUE(h.WaitEnd(1, 20000)) << join;
        EXPECT_EQ(h.run->TotalFiles(), 0);
        EXPECT_EQ(h.run->Successes(), 0);
        const QStringList errors = h.run->ErrorLines();
        ASSERT_EQ(errors.size(), 2) << join;
        EXPECT_TRUE(errors[0].startsWith(missing + ": ")) << errors[0].toStdString();
        EXPECT_TRUE(errors[0].contains(join ? "Adding file error: " : "File load error: "));
        EXPECT_TRUE(errors[1].startsWith(text + ": "));
        EXPECT_EQ(h.engine.TaskCount(), 0);
        EXPECT_FALSE(h.engine.Working());
    }
    // An empty list ends at once, without error lines.
    RunHarness h;
    EXPECT_EQ(h.run->Start({}, AviChoice(out), false), 0);
    ASSERT_TRUE(h.WaitEnd(1, 20000));
    EXPECT_TRUE(h.run->ErrorLines().isEmpty());
    EXPECT_TRUE(FilesIn(out).isEmpty());
}

TEST_F(RunTest, EveryStartEndsWhetherADuplicateTheEngineBusyOrTheLastEndLost)
{
    const QString in = Dir("in"), out = Dir("out");
    const QString longer = CopyInput(RunClip(8, "640x480"), in, "long.avi");
    const QString shorter = CopyInput(RunClip(1), in, "short.avi");

    {
        // A second start while the first works ends with the first, once.
        RunHarness h;
        ASSERT_EQ(h.run->Start(Rows({longer}), AviChoice(out), false), 1);
        EXPECT_EQ(h.run->Start(Rows({shorter}), AviChoice(out), false), 0);
        EXPECT_EQ(h.LogCount("Cannot do convert, error: a conversion is already running."), 1);
        ASSERT_EQ(h.run->Rows().size(), 1u);
        EXPECT_EQ(h.run->Rows()[0].Name, "long.avi");
        h.run->Stop();
        ASSERT_TRUE(h.WaitEnd());
        WaitServicingEvents([] { return false; }, 300);
        EXPECT_EQ(h.ended, 1);
    }
    {
        // A start let through while the tasks are being built is the same duplicate.
        RunHarness h;
        int nested = -1;
        h.run->OnBetweenInputs = [&] {
            if (nested < 0)
                nested = h.run->Start(Rows({shorter}), AviChoice(out), false);
        };
        ASSERT_EQ(h.run->Start(Rows({shorter, shorter}), AviChoice(out), false), 2);
        EXPECT_EQ(nested, 0);
        ASSERT_TRUE(h.WaitEnd());
        EXPECT_EQ(h.run->Successes(), 2);
        EXPECT_EQ(h.run->Rows().size(), 2u);
    }
    {
        // The engine busy with tasks the run did not start: the start ends at once with the reason.
        RunHarness h;
        const int task = h.engine.AddTask(longer);
        ASSERT_GE(task, 0) << h.engine.LastError().toStdString();
        ASSERT_TRUE(h.engine.SetOutputFile(task, out + "/outside.avi")) << h.engine.LastError().toStdString();
        h.engine.StartTask(1);
        EXPECT_EQ(h.run->Start(Rows({shorter}), AviChoice(out), false), 0);
        ASSERT_TRUE(h.WaitEnd(1, 20000)) << "the wizard would wait on Step3 for good";
        EXPECT_EQ(h.run->TotalFiles(), 0);
        EXPECT_TRUE(h.run->Rows().empty());
        EXPECT_EQ(h.run->ErrorLines(), QStringList{"Cannot ClearTasks while working."});
        h.engine.StopTasks(true);
    }
    {
        // The last run's end was lost (its events were detached while it worked): the next start
        // takes over the engine and ends normally.
        RunHarness h;
        bool converting = false;
        h.onRow = [&](int) { converting = true; };
        ASSERT_EQ(h.run->Start(Rows({longer}), AviChoice(out), false), 1);
        ASSERT_TRUE(WaitServicingEvents([&] { return converting; }, 20000));
        h.engine.DetachEvents();
        h.onRow = nullptr;
        ASSERT_EQ(h.ended, 0);
        ASSERT_EQ(h.run->Start(Rows({shorter}), AviChoice(out), false), 1);
        ASSERT_TRUE(h.WaitEnd());
        EXPECT_EQ(h.ended, 1);
        EXPECT_EQ(h.run->Successes(), 1);
        EXPECT_EQ(h.run->Rows()[0].Third, "Finish.");
        h.run.reset(); // must not wait for the lost end
    }
}

TEST_F(RunTest, OutputFolderMissingOrReadOnlyIsRefusedClearly)
{
    const QString input = CopyInput(RunClip(1), Dir("in"), "clip.avi");
    const QByteArray sum = Checksum(input);
    const QString readOnly = Dir("readonly");
    ASSERT_EQ(chmod(readOnly.toLocal8Bit().constData(), 0555), 0);
    // Root writes anywhere: the read-only case only counts where access really fails.
    const bool readOnlyHolds = access(readOnly.toLocal8Bit().constData(), W_OK) != 0;

    QStringList dirs{tmp.filePath("no/such/folder")};
    if (readOnlyHolds)
        dirs << readOnly;
    for (const QString& dir : dirs) {
        RunHarness h;
        EXPECT_EQ(h.run->Start(Rows({input}), AviChoice(dir), false), 0) << dir.toStdString();
        ASSERT_EQ(h.LogCount("Cannot do convert, error: "), 1) << h.log.join('\n').toStdString();
        EXPECT_TRUE(h.log.filter("Cannot do convert").front().contains(dir)) << h.log.join('\n').toStdString();
        ASSERT_TRUE(h.WaitEnd(1, 20000));
        EXPECT_EQ(h.run->ErrorLines().size(), 1);
        EXPECT_TRUE(h.run->Rows().empty());
    }
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("no")));
    EXPECT_TRUE(FilesIn(readOnly).isEmpty());
    chmod(readOnly.toLocal8Bit().constData(), 0755);
    EXPECT_EQ(Checksum(input), sum);
}

TEST_F(RunTest, FullDiskFailsOnlyTheTaskThatHitsIt)
{
    const QString in = Dir("in"), out = Dir("out");
    const QString small = CopyInput(RunClip(1), in, "small.avi");
    const QString large = CopyInput(RunClip(8, "640x480"), in, "large.avi");
    const QByteArray sumSmall = Checksum(small), sumLarge = Checksum(large);

    RunHarness h;
    {
        // 1 s of audio is about 22 KB, 8 s about 176 KB.
        FileSizeLimit limit(100 * 1024);
        ASSERT_TRUE(limit.Ok());
        ASSERT_EQ(h.run->Start(Rows({small, large}), WavChoice(out), false), 2);
        ASSERT_TRUE(h.WaitEnd());
    }
    EXPECT_EQ(h.run->Successes(), 1);
    EXPECT_EQ(h.run->Rows()[0].Third, "Finish.");
    EXPECT_EQ(h.run->Rows()[1].Third, "Failed.");
    const QStringList errors = h.run->ErrorLines();
    ASSERT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
    EXPECT_TRUE(errors[0].startsWith("File (1): ")) << errors[0].toStdString();
    EXPECT_EQ(h.run->ProcessedDuration(), h.run->Rows()[0].DurationUs);
    EXPECT_EQ(Checksum(small), sumSmall);
    EXPECT_EQ(Checksum(large), sumLarge);
}

} // namespace
