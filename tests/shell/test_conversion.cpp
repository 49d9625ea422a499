// The convert branch on the real window and the real engine: Step1 -> Step2 -> Step3 -> Step4
// with generated files, the end sound, the shutdown countdown with a fake power-off, and Exit
// during the run.
#include "ShellTestSupport.h"
#include "SummaryBadge.h"

#include "ConversionRun.h"
#include "PageStep1.h"
#include "PageStep3.h"
#include "PageSummary.h"
#include "MainThread.h"
#include "TestSupport.h"

#include <QCloseEvent>
#include <QCryptographicHash>
#include <QWindow>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>

namespace {

QString Clip(int seconds, const QString& size)
{
    return MediaFixture(QStringLiteral("conversion_%1s_%2.avi").arg(seconds).arg(size),
                        {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=25", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=22050", "-t", QString::number(seconds), "-c:v", "mpeg4",
                         "-c:a", "mp2"});
}

QByteArray Checksum(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5);
}

class ConversionTest : public ShellTest {
protected:
    QString out;

    TFormMain& StartEdition(bool merge)
    {
        LinkSkins();
        WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=0\nAVI=1\nMP3=1\nMerge=%1\n").arg(merge ? 1 : 0));
        TFormMain& w = Start(std::make_unique<TEngineComponent>());
        EXPECT_TRUE(w.Engine().LibrariesLoaded());
        out = home.filePath(QStringLiteral("out"));
        AppSettings.OutputFileDir = out + u'/';
        return w;
    }


    QString Cell(TFormMain& w, int row, int column)
    {
        QTreeWidgetItem* item = w.PageStep3->ListViewConverting->topLevelItem(row);
        return item ? item->text(column) : QStringLiteral("<no row>");
    }
};

TEST_F(ConversionTest, FilesRunToTheSummaryAndTheDoneSoundPlays)
{
    TFormMain& w = StartEdition(false);
    AppSettings.PlayASoundWhenFinished = true;
    const QString a = Clip(1, "160x120"), b = Clip(2, "160x120");
    const QByteArray sumA = Checksum(a), sumB = Checksum(b);
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, {a, b}));
    ASSERT_TRUE(WaitForSummary(w));

    QTreeWidget* list = w.PageStep3->ListViewConverting;
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(2), "Status");
    EXPECT_EQ(list->headerItem()->text(3), "Progress");
    EXPECT_EQ(w.PageStep3->LabelCurrentFileTitle->text(), "Current file:");
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(Cell(w, row, 2), "Finish.");
        EXPECT_EQ(Cell(w, row, 3), "100%");
    }
    EXPECT_EQ(Cell(w, 1, 0), QFileInfo(b).fileName());
    EXPECT_EQ(w.PageStep3->LabelCurrentFile->text(), "...");
    EXPECT_EQ(w.PageStep3->LabelProgress->text(), "0%");

    EXPECT_EQ(w.PageStep4->LabelTotal->text(), "2");
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "2");
    EXPECT_EQ(w.PageStep4->LabelFailed->text(), "0");
    EXPECT_FALSE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4));
    EXPECT_EQ(desktop->sounds, QStringList{w.AppDir() + "sounds/done.wav"});
    EXPECT_EQ(desktop->powerOffs, 0);
    EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep4)), "success");
    EXPECT_EQ(LogText().count("File has been added to convert list."), 2);
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(Checksum(a), sumA);
    EXPECT_EQ(Checksum(b), sumB);

    // Finish: back to the start with both lists empty, ready for another run.
    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), wpStep1);
    EXPECT_EQ(list->topLevelItemCount(), 0);
}

TEST_F(ConversionTest, ExitDuringTheRunFailsTheRowsThenTheCountdownPowersOff)
{
    TFormMain& w = StartEdition(false);
    AppSettings.PlayASoundWhenFinished = true;
    AppSettings.ShutDownWhenFinished = true;
    w.ShutdownTickMs = 1;
    desktop->powerOffResult = false; // the system refuses: the log says so
    // H.264 at 1920x1080: slow enough that the first task is still working when Exit comes.
    AppSettings.OutputFormatClass = 0;
    AppSettings.OutputVideoFormat = 0;
    AppSettings.OutputAVIPreset = 1;
    const QString longer = Clip(8, "640x480");
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, {longer, Clip(1, "160x120")}));
    ASSERT_TRUE(WaitServicingEvents([&] { return Cell(w, 0, 2) == "Converting..."; }, 60000));
    desktop->answers.push_back(mrYes);
    w.ActionExitExecute();
    EXPECT_EQ(desktop->shown.back().message, "Do you really want to cancel the conversion?");
    ASSERT_TRUE(WaitForSummary(w));

    EXPECT_EQ(Cell(w, 0, 2), "Failed.");
    EXPECT_EQ(Cell(w, 1, 2), "Failed.");
    EXPECT_EQ(w.PageStep4->LabelTotal->text(), "2");
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "0");
    EXPECT_EQ(w.PageStep4->LabelFailed->text(), "2");
    // Stopped, not broken: no error lines.
    EXPECT_FALSE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4));
    EXPECT_EQ(desktop->sounds, QStringList{w.AppDir() + "sounds/fail.wav"});
    EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep4)), "failure");
    // Neither the cut output nor the one made for the second file stays behind.
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty()) << QDir(out).entryList(QDir::Files).join(' ').toStdString();
    EXPECT_EQ(desktop->powerOffs, 1);
    // The refusal comes when the system answers, after the summary is shown.
    EXPECT_TRUE(WaitServicingEvents([&] { return LogText().contains("could not be shut down"); }, 5000))
        << LogText().toStdString();
}

TEST_F(ConversionTest, WindowManagerCloseDuringTheRunAsksAndNoLetsItFinish)
{
    TFormMain& w = StartEdition(false);
    AppSettings.OutputFormatClass = 0;
    AppSettings.OutputVideoFormat = 0;
    AppSettings.OutputAVIPreset = 1;
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, {Clip(8, "640x480")}));
    ASSERT_TRUE(WaitServicingEvents([&] { return Cell(w, 0, 2) == "Converting..."; }, 60000));
    desktop->answers.push_back(mrNo);
    QCloseEvent close;
    QCoreApplication::sendEvent(w.windowHandle(), &close); // as the window manager sends it
    ASSERT_FALSE(desktop->shown.empty());
    EXPECT_EQ(desktop->shown.back().message, "Do you really want to cancel the conversion?");
    EXPECT_TRUE(w.isVisible());
    ASSERT_TRUE(WaitForSummary(w));
    EXPECT_EQ(Cell(w, 0, 2), "Finish.");
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "1");
}

TEST_F(ConversionTest, ClosingTheWindowDuringTheRunLeavesNoIncompleteOutput)
{
    TFormMain& w = StartEdition(false);
    AppSettings.OutputFormatClass = 0;
    AppSettings.OutputVideoFormat = 0;
    AppSettings.OutputAVIPreset = 1;
    QDir().mkpath(out);
    QFile taken(out + "/conversion_1s_160x120.avi");
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.write("the user's own file");
    taken.close();
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, {Clip(8, "640x480"), Clip(1, "160x120")}));
    ASSERT_TRUE(WaitServicingEvents([&] { return Cell(w, 0, 2) == "Converting..."; }, 60000));
    desktop->answers.push_back(mrYes);
    QCloseEvent close;
    QCoreApplication::sendEvent(w.windowHandle(), &close);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"conversion_1s_160x120.avi"});
    EXPECT_EQ(taken.size(), QByteArray("the user's own file").size());
}

// The run is prepared on a worker: Exit right after the start is answered at once, and the
// run ends on the summary with nothing started and no file made.
TEST_F(ConversionTest, ExitWhileTheRunIsPreparedStopsItAtOnce)
{
    TFormMain& w = StartEdition(false);
    QStringList files;
    QDir().mkpath(home.filePath("in"));
    for (int i = 0; i < 100; ++i) {
        files << home.filePath(QStringLiteral("in/clip_%1.avi").arg(i));
        ASSERT_TRUE(QFile::copy(Clip(1, "160x120"), files.last()));
    }
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, files));
    // The start is posted; once it has run the preparation works and the window is free.
    ASSERT_TRUE(WaitServicingEvents([&] { return w.ConversionRun().Running(); }, 10000));
    desktop->answers.push_back(mrYes);
    w.ActionExitExecute();
    ASSERT_TRUE(WaitForSummary(w));
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "0");
    EXPECT_LT(w.PageStep4->LabelTotal->text().toInt(), 100);
    EXPECT_FALSE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4));
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

TEST_F(ConversionTest, JoinEditionMakesOneOutputAndUnreadableFilesAreReported)
{
    TFormMain& w = StartEdition(true);
    const QString a = Clip(1, "160x120"), b = Clip(2, "160x120");
    ASSERT_NO_FATAL_FAILURE(RunTo3(w, {a, b}));
    ASSERT_TRUE(WaitForSummary(w));
    QTreeWidget* list = w.PageStep3->ListViewConverting;
    EXPECT_EQ(list->headerItem()->text(2), "Width x Height");
    EXPECT_EQ(list->headerItem()->text(3), "Aspect Ratio");
    EXPECT_EQ(w.PageStep3->LabelCurrentFileTitle->text(), "Output file:");
    EXPECT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(Cell(w, 0, 4), out + "/Output_Merge.avi");
    EXPECT_EQ(Cell(w, 1, 2), "160x120"); // the geometry columns stay to the end
    EXPECT_EQ(Cell(w, 1, 3), "1.33333");
    EXPECT_EQ(w.PageStep4->LabelTotal->text(), "1");
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), "1");
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"Output_Merge.avi"});

    // A second run whose only input vanished after it was added: the summary says why.
    w.ActionNextExecute(); // Finish
    const QString gone = home.filePath("gone.avi");
    ASSERT_TRUE(QFile::copy(a, gone));
    w.ShowPage(wpStep1);
    w.PageStep1->AddInputFiles({gone});
    ASSERT_TRUE(w.PageStep1->WaitForAdd(60000));
    ASSERT_EQ(w.PageStep1->RowCount(), 1);
    ASSERT_TRUE(QFile::remove(gone));
    w.ActionNextExecute();
    w.ActionNextExecute();
    ASSERT_TRUE(WaitForSummary(w));
    EXPECT_EQ(w.PageStep4->LabelTotal->text(), "0");
    EXPECT_TRUE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4));
    EXPECT_TRUE(w.PageStep4->MemoErrorLog->toPlainText().contains(gone));
    EXPECT_TRUE(LogText().contains("Adding file error: "));
}

} // namespace
