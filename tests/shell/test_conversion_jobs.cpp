// Several files converting at once on the real window and the real engine: the rows and the
// status box while they run, Exit with several running, and the setting from system.dat to
// Step2 and back.
#include "ShellTestSupport.h"

#include "ConversionRun.h"
#include "FFmpegEngine.h"
#include "ImageButton.h"
#include "MainThread.h"
#include "PageStep2.h"
#include "PageStep3.h"
#include "PageSummary.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <algorithm>
#include <vector>

namespace {

// `count` different files of one generated clip (the run would refuse nothing, but the rows
// must be told apart).
QStringList Clips(const QString& folder, int count, int seconds, const QString& size)
{
    const QString clip = MediaFixture(QStringLiteral("jobs_%1s_%2.avi").arg(seconds).arg(size),
                                      {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=25", "-f", "lavfi", "-i",
                                       "sine=frequency=440:sample_rate=22050", "-t", QString::number(seconds),
                                       "-c:v", "mpeg4", "-c:a", "mp2"});
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << QStringLiteral("%1/clip%2.avi").arg(folder).arg(i);
        QFile::remove(files.last());
        QFile::copy(clip, files.last());
    }
    return files;
}

// "h:nn:ss" in seconds; -1 when the label holds no time yet.
int Seconds(const QString& label)
{
    const QStringList parts = label.section(u' ', -1).split(u':');
    if (parts.size() != 3)
        return -1;
    return parts[0].toInt() * 3600 + parts[1].toInt() * 60 + parts[2].toInt();
}

// What Step3 showed after one status report of the run.
struct TSnapshot {
    bool Idle = false;          // the box between runs ("...")
    int Bar = 0;
    QString Percent, CurrentFile;
    int Estimated = -1, Elapsed = -1, TimeLeft = -1;
    int Converting = 0;         // rows reading "Converting..." with a percent
};

class ConversionJobsTest : public ShellTest {
protected:
    QString out;
    std::vector<TSnapshot> shots;

    TFormMain& StartEdition(bool merge = false)
    {
        LinkSkins();
        WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=0\nAVI=1\nMP3=1\nMerge=%1\n").arg(merge ? 1 : 0));
        TFormMain& w = Start(std::make_unique<TEngineComponent>());
        EXPECT_TRUE(w.Engine().LibrariesLoaded());
        out = home.filePath(QStringLiteral("out"));
        AppSettings.OutputFileDir = out + u'/';
        AppSettings.OutputFormatClass = 0;
        AppSettings.OutputVideoFormat = 0;
        // More reports, so the picture of several files at once is not left to chance.
        w.Engine().FFmpegEngine().SetProgressInterval(100);
        Record(w);
        return w;
    }

    // Every status report leaves a snapshot of the page, after the page has shown it.
    void Record(TFormMain& w)
    {
        TConversionRun& run = w.ConversionRun();
        auto shown = run.OnStatus;
        TPageStep3* page = w.PageStep3;
        run.OnStatus = [this, shown, page](const TRunStatus& status) {
            if (shown)
                shown(status);
            TSnapshot s;
            s.Idle = page->LabelCurrentFile->text() == "...";
            s.Bar = page->ProgressBar->value();
            s.Percent = page->LabelProgress->text();
            s.CurrentFile = page->LabelCurrentFile->text();
            s.Estimated = Seconds(page->LabelEstimated->text());
            s.Elapsed = Seconds(page->LabelElapsed->text());
            s.TimeLeft = Seconds(page->LabelTimeLeft->text());
            QTreeWidget* list = page->ListViewConverting;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                if (list->topLevelItem(i)->text(2) == "Converting..." && list->topLevelItem(i)->text(3).endsWith(u'%'))
                    ++s.Converting;
            shots.push_back(s);
        };
    }


    int MostConverting() const
    {
        int most = 0;
        for (const TSnapshot& s : shots)
            most = std::max(most, s.Converting);
        return most;
    }

    QString Cell(TFormMain& w, int row, int column)
    {
        QTreeWidgetItem* item = w.PageStep3->ListViewConverting->topLevelItem(row);
        return item ? item->text(column) : QStringLiteral("<no row>");
    }
};

TEST_F(ConversionJobsTest, SeveralRowsConvertAtOnceAndTheBoxFollowsTheWholeRun)
{
    TFormMain& w = StartEdition();
    AppSettings.ConversionJobs = 2;
    AppSettings.OutputAVIPreset = 3; // MPEG-4 at the source size: quick, with reports on the way
    AppSettings.PlayASoundWhenFinished = true;
    const QStringList files = Clips(home.filePath("in"), 6, 12, "640x480");
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, files));
    ASSERT_TRUE(WaitForSummary(w, 180000));

    // Two rows at a time, each with its own percent; never more than asked for.
    EXPECT_EQ(MostConverting(), 2);
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(Cell(w, row, 2), "Finish.") << row;
        EXPECT_EQ(Cell(w, row, 3), "100%") << row;
    }
    EXPECT_TRUE(std::any_of(shots.begin(), shots.end(),
                            [](const TSnapshot& s) { return s.CurrentFile.endsWith("(+1 more)"); }));

    // The bar is the whole run's: it never falls back while the run goes on, and it reaches
    // the end; its label says the same.
    int last = 0, reports = 0;
    for (const TSnapshot& s : shots) {
        if (s.Idle)
            continue;
        ++reports;
        EXPECT_GE(s.Bar, last);
        EXPECT_EQ(s.Percent, QString::number(s.Bar) + u'%');
        last = s.Bar;
    }
    EXPECT_GT(reports, 4);
    EXPECT_EQ(last, 100);
    // The times agree with that percent: the estimate is elapsed time over the share done,
    // the time left what remains of it. The labels hold whole seconds and percents, so the
    // bounds allow for what they cut off (and a second for a bar moved by a file's end
    // without a new estimate).
    int checked = 0;
    for (const TSnapshot& s : shots) {
        if (s.Idle || s.Estimated < 0 || s.Elapsed < 1 || s.Bar < 5 || s.Bar >= 100)
            continue;
        ++checked;
        EXPECT_LE(s.Estimated, (s.Elapsed + 1) * 100.0 / s.Bar + 1)
            << "estimated " << s.Estimated << " s after " << s.Elapsed << " s at " << s.Bar << "%";
        EXPECT_GE(s.Estimated + 1, s.Elapsed * 100.0 / (s.Bar + 1) - 1)
            << "estimated " << s.Estimated << " s after " << s.Elapsed << " s at " << s.Bar << "%";
        EXPECT_NEAR(s.TimeLeft, s.Estimated - s.Elapsed, 1);
        EXPECT_GE(s.TimeLeft, 0);
    }
    EXPECT_GT(checked, 0) << "the run was too quick to check its times";

    // The end as with one file at a time.
    EXPECT_EQ(w.PageStep3->LabelCurrentFile->text(), "...");
    EXPECT_EQ(w.PageStep3->LabelProgress->text(), "0%");
    EXPECT_EQ(w.PageStep4->LabelTotal->text(), "6");
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "6");
    EXPECT_EQ(desktop->sounds, QStringList{w.AppDir() + "sounds/done.wav"});
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 6);
}

TEST_F(ConversionJobsTest, OneAtATimeWhenTheSettingSaysOne)
{
    TFormMain& w = StartEdition();
    AppSettings.ConversionJobs = 1;
    AppSettings.OutputAVIPreset = 3;
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, Clips(home.filePath("in"), 3, 2, "320x240")));
    ASSERT_TRUE(WaitForSummary(w, 180000));
    EXPECT_EQ(MostConverting(), 1);
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "3");
    EXPECT_FALSE(std::any_of(shots.begin(), shots.end(),
                             [](const TSnapshot& s) { return s.CurrentFile.contains("more)"); }));
    // One at a time, the bar is the file's: it starts again with the next one.
    bool fellBack = false;
    int last = 0;
    for (const TSnapshot& s : shots) {
        if (s.Idle)
            continue;
        fellBack = fellBack || s.Bar < last;
        last = s.Bar;
    }
    EXPECT_TRUE(fellBack);
}

TEST_F(ConversionJobsTest, ExitWithSeveralConvertingEndsEveryRow)
{
    TFormMain& w = StartEdition();
    AppSettings.ConversionJobs = 2;
    AppSettings.OutputAVIPreset = 1; // H.264 at 1920x1080: slow enough to be caught running
    AppSettings.PlayASoundWhenFinished = true;
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, Clips(home.filePath("in"), 3, 8, "640x480")));
    ASSERT_TRUE(WaitServicingEvents([&] { return MostConverting() == 2; }, 120000));
    desktop->answers.push_back(mrYes);
    w.ActionExitExecute();
    EXPECT_EQ(desktop->shown.back().message, "Do you really want to cancel the conversion?");
    ASSERT_TRUE(WaitForSummary(w, 180000));

    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(Cell(w, row, 2), "Failed.") << row;
    EXPECT_EQ(w.PageStep4->LabelTotal->text(), "3");
    EXPECT_EQ(w.PageStep4->LabelFailed->text(), "3");
    EXPECT_FALSE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4)) << "stopped, not broken";
    EXPECT_EQ(desktop->sounds, QStringList{w.AppDir() + "sounds/fail.wav"});

    // The engine is free for the next run.
    w.ActionNextExecute(); // Finish
    shots.clear();
    AppSettings.OutputAVIPreset = 3;
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, Clips(home.filePath("again"), 2, 1, "160x120")));
    ASSERT_TRUE(WaitForSummary(w, 180000));
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "2");
}

TEST_F(ConversionJobsTest, JoinEditionStaysOneTask)
{
    TFormMain& w = StartEdition(true);
    AppSettings.ConversionJobs = 4;
    AppSettings.OutputAVIPreset = 3;
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, Clips(home.filePath("in"), 3, 1, "160x120")));
    ASSERT_TRUE(WaitForSummary(w, 180000));
    EXPECT_EQ(w.PageStep4->LabelTotal->text(), "1");
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "1");
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"Output_Merge.avi"});
    for (const TSnapshot& s : shots)
        EXPECT_FALSE(s.CurrentFile.contains("more)")) << s.CurrentFile.toStdString();
}

TEST_F(ShellTest, FilesAtOnceComesFromSystemDatAndGoesBackToIt)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=0\nAVI=1\n"));
    // A settings folder with the count a user set by hand.
    const QString folder = home.filePath(QStringLiteral("config/Wizard"));
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        QFile file(folder + QStringLiteral("/system.dat"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[System]\nConversionJobs=3\n");
    }
    TFormMain& w = Start();
    ASSERT_EQ(SettingsFile(), folder + QStringLiteral("/system.dat"));
    w.ShowPage(wpStep1);
    AddPlaceholderRows(*w.PageStep1, {home.filePath("a.avi")});
    w.ActionNextExecute();
    ASSERT_EQ(w.CurrentPage(), wpStep2);
    QSpinBox* jobs = Find<QSpinBox>("SpinBoxConversionJobs");
    ASSERT_NE(jobs, nullptr);
    EXPECT_TRUE(jobs->isVisible());
    EXPECT_EQ(jobs->value(), 3);

    jobs->setValue(5);
    w.ActionBackExecute(); // kept without going on to the run
    QTest::mouseClick(w.ButtonClose, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    TAppSettings stored;
    ASSERT_TRUE(LoadSettingsFrom(stored, SettingsFile()));
    EXPECT_EQ(stored.ConversionJobs, 5);
}

} // namespace
