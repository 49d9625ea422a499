// Next, Back and Exit on every page of both branches, the summaries, drops, the
// clipboard flag and the close path, on the real window.
#include "ShellTestSupport.h"
#include "SummaryBadge.h"

#include "ImageButton.h"
#include "MainThread.h"
#include "PageMode.h"
#include "PageStep1.h"
#include "PageStep2.h"
#include "PageStep3.h"
#include "PageStep5.h"
#include "PageStep6.h"
#include "PageSummary.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QMimeData>
#include <QDropEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {

const QString FolderMessage =
    QStringLiteral("Fail to create directory! Please check if output folder have the right format!");

class WizardTest : public ShellTest, public ::testing::WithParamInterface<bool> {
protected:
    bool download() const { return GetParam(); }
    TWizardPage startPage() const { return download() ? wpMode : wpStep1; }
    TFormMain& StartEdition()
    {
        LinkSkins();
        WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=%1\nAVI=1\nMP3=1\n").arg(download() ? 1 : 0));
        TFormMain& w = Start();
        desktop->shown.clear();
        return w;
    }

    // Puts the window on a page with some input rows and links, as a user would have.
    void OnPage(TFormMain& w, TWizardPage page)
    {
        if (w.PageStep1->RowCount() == 0)
            AddPlaceholderRows(*w.PageStep1, {appDir.filePath("a.mp4"), appDir.filePath("b.mp3")});
        if (w.PageStep5->URLCount() == 0)
            w.PageStep5->AddURL(QStringLiteral("http://www.youtube.com/watch?v=abc"));
        w.ShowPage(page);
    }

    QString LastMessage() { return desktop->shown.empty() ? QString() : desktop->shown.back().message; }
    void Answer(TModalResult r) { desktop->answers.push_back(r); }
};

} // namespace

TEST_P(WizardTest, CaptionsFollowThePage)
{
    TFormMain& w = StartEdition();
    EXPECT_EQ(w.CurrentPage(), startPage());
    w.ShowPage(wpStep1);
    EXPECT_EQ(w.LabelTitle->text(),
              QStringLiteral("Select the videos you want to convert. Use \"Move Up\" and \"Move Down\" to change the order."));
    EXPECT_EQ(w.ActionBack->isEnabled(), download());
    EXPECT_EQ(w.ActionExit->text(), download() ? QStringLiteral("Cancel") : QStringLiteral("Exit"));
    w.ShowPage(wpStep3);
    EXPECT_FALSE(w.ActionBack->isEnabled());
    EXPECT_FALSE(w.ActionNext->isEnabled());
    EXPECT_TRUE(w.ActionExit->isEnabled());
    // the image buttons show their action
    EXPECT_FALSE(w.ButtonNext->isEnabled());
    EXPECT_EQ(w.ButtonExit->text(), QStringLiteral("Cancel"));
    w.ShowPage(wpStep7);
    EXPECT_EQ(w.LabelTitle->text(), QStringLiteral("The downloading is finished."));
    EXPECT_EQ(w.ActionNext->text(), QStringLiteral("Finish"));
    EXPECT_EQ(w.ButtonNext->text(), QStringLiteral("Finish"));
}

TEST_P(WizardTest, NextOnModeFollowsTheChoice)
{
    TFormMain& w = StartEdition();
    w.ShowPage(wpMode);
    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), wpStep5);
    EXPECT_EQ(w.PageStep5->EditURLOutput->text(), AppSettings.OutputURLDir);
    EXPECT_EQ(w.ActionNext->text(), QStringLiteral("Download"));

    w.ShowPage(wpMode);
    QTest::mouseClick(w.PageMode->ImageConvertVideo, Qt::LeftButton);
    EXPECT_TRUE(w.PageMode->RadioButtonConvert->isChecked());
    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), wpStep1);
}

TEST_P(WizardTest, ConvertBranchRunsToTheSummaryAndBack)
{
    TFormMain& w = StartEdition();
    w.ShowPage(wpStep1);
    w.ActionNextExecute();
    EXPECT_EQ(LastMessage(), QStringLiteral("Please add the video files you want to convert"));
    EXPECT_EQ(desktop->shown.back().kind, TMsgDlgType::mtInformation);
    EXPECT_EQ(desktop->shown.back().caption, QStringLiteral("Wizard"));
    EXPECT_EQ(w.CurrentPage(), wpStep1);

    OnPage(w, wpStep1);
    AppSettings.OutputFileDir = home.filePath(QStringLiteral("out/deeper/"));
    AppSettings.PlayASoundWhenFinished = true;
    w.ActionNextExecute();
    ASSERT_EQ(w.CurrentPage(), wpStep2);
    EXPECT_EQ(w.PageStep2->EditOutputDir->text(), AppSettings.OutputFileDir);

    w.ActionNextExecute();
    EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("out/deeper"))).isDir());
    EXPECT_EQ(w.CurrentPage(), wpStep3);
    EXPECT_TRUE(w.PageStep3->CheckBoxPlayASound->isChecked());
    EXPECT_FALSE(w.PageStep3->CheckBoxShutdown->isChecked());
    // the start message is handled after the page shows; files that are gone still end the run,
    // on the summary with the reason of each
    ASSERT_TRUE(WaitServicingEvents([&] { return w.CurrentPage() == wpStep4; }, 30000));
    EXPECT_EQ(w.PageStep4->LabelTotal->text(), QStringLiteral("0"));
    EXPECT_TRUE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4));
    EXPECT_TRUE(w.PageStep4->MemoErrorLog->toPlainText().contains(QStringLiteral("a.mp4")));
    EXPECT_TRUE(w.PageStep4->MemoErrorLog->toPlainText().contains(QStringLiteral("b.mp3")));

    new QTreeWidgetItem(w.PageStep3->ListViewConverting, {QStringLiteral("a.mp4")});
    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), startPage());
    EXPECT_EQ(w.PageStep1->RowCount(), 0);
    EXPECT_EQ(w.PageStep3->ListViewConverting->topLevelItemCount(), 0);
}

TEST_P(WizardTest, NextOnStep2RefusesAFolderThatCannotBeMade)
{
    TFormMain& w = StartEdition();
    OnPage(w, wpStep2);
    QFile blocker(home.filePath(QStringLiteral("plainfile")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& bad : {home.filePath(QStringLiteral("plainfile/sub")), QStringLiteral("relative/folder"),
                               QString()}) {
        w.PageStep2->EditOutputDir->setText(bad);
        desktop->shown.clear();
        w.ActionNextExecute();
        EXPECT_EQ(LastMessage(), FolderMessage) << bad.toStdString();
        EXPECT_EQ(w.CurrentPage(), wpStep2);
        EXPECT_EQ(AppSettings.OutputFileDir, WithTrailingBackslash(bad));   // stored all the same
    }
}

TEST_P(WizardTest, BackAsksOnStep1AndStep5Only)
{
    TFormMain& w = StartEdition();
    // Step2 keeps the input list
    OnPage(w, wpStep2);
    w.ActionBackExecute();
    EXPECT_EQ(w.CurrentPage(), wpStep1);
    EXPECT_EQ(w.PageStep1->RowCount(), 2);
    EXPECT_TRUE(desktop->shown.empty());

    if (download()) {
        Answer(mrNo);
        w.ActionBackExecute();
        EXPECT_EQ(LastMessage(), QStringLiteral("Are you sure to cancel and go back?"));
        EXPECT_EQ(desktop->shown.back().kind, TMsgDlgType::mtConfirmation);
        EXPECT_EQ(w.CurrentPage(), wpStep1);
        EXPECT_EQ(w.PageStep1->RowCount(), 2);
        Answer(mrYes);
        w.ActionBackExecute();
        EXPECT_EQ(w.CurrentPage(), wpMode);
        EXPECT_EQ(w.PageStep1->RowCount(), 0);
    } else {
        w.ActionBackExecute();   // disabled here
        EXPECT_TRUE(desktop->shown.empty());
        EXPECT_EQ(w.PageStep1->RowCount(), 2);
    }

    OnPage(w, wpStep5);
    Answer(mrNo);
    w.ActionBackExecute();
    EXPECT_EQ(w.PageStep5->URLCount(), 1);
    Answer(mrYes);
    w.ActionBackExecute();
    EXPECT_EQ(w.PageStep5->URLCount(), 0);
    EXPECT_EQ(w.CurrentPage(), startPage());

    for (TWizardPage page : {wpMode, wpStep3, wpStep4, wpStep6, wpStep7}) {
        OnPage(w, page);
        desktop->shown.clear();
        w.ActionBackExecute();
        EXPECT_EQ(w.CurrentPage(), page);
        EXPECT_TRUE(desktop->shown.empty());
    }
}

TEST_P(WizardTest, ExitCancelsThePageOrQuits)
{
    TFormMain& w = StartEdition();
    struct Cell { TWizardPage page; QString question; };
    const QString quit = QStringLiteral("Are you sure to quit now?");
    const QString cancel = QStringLiteral("Are you sure to cancel?");

    // No: nothing changes on any page
    for (const Cell& cell : {Cell{wpMode, quit}, Cell{wpStep1, download() ? cancel : quit}, Cell{wpStep2, cancel},
                             Cell{wpStep3, QStringLiteral("Do you really want to cancel the conversion?")},
                             Cell{wpStep4, quit}, Cell{wpStep5, cancel},
                             Cell{wpStep6, QStringLiteral("Do you really want to cancel the downloading?")},
                             Cell{wpStep7, quit}}) {
        OnPage(w, cell.page);
        Answer(mrNo);
        w.ActionExitExecute();
        EXPECT_EQ(LastMessage(), cell.question) << cell.page;
        EXPECT_EQ(w.CurrentPage(), cell.page);
        EXPECT_EQ(w.PageStep1->RowCount(), 2);
        EXPECT_EQ(w.PageStep5->URLCount(), 1);
        EXPECT_TRUE(w.isVisible());
    }
    EXPECT_EQ(stops, 0);

    // Yes
    OnPage(w, wpStep2);
    Answer(mrYes);
    w.ActionExitExecute();
    EXPECT_EQ(w.CurrentPage(), startPage());
    EXPECT_EQ(w.PageStep1->RowCount(), 0);

    OnPage(w, wpStep3);
    Answer(mrYes);
    w.ActionExitExecute();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(w.CurrentPage(), wpStep3);   // the run's own end leads on
    EXPECT_TRUE(w.isVisible());

    OnPage(w, wpStep5);
    Answer(mrYes);
    w.ActionExitExecute();
    EXPECT_EQ(w.PageStep5->URLCount(), 0);
    EXPECT_EQ(w.CurrentPage(), startPage());

    OnPage(w, wpStep6);
    Answer(mrYes);
    w.ActionExitExecute();   // no run in progress: nothing to cancel
    EXPECT_EQ(w.CurrentPage(), wpStep6);

    OnPage(w, wpStep1);
    Answer(mrYes);
    w.ActionExitExecute();
    if (download()) {
        EXPECT_EQ(w.CurrentPage(), wpMode);
        EXPECT_EQ(w.PageStep1->RowCount(), 0);
        EXPECT_TRUE(w.isVisible());
    } else {
        EXPECT_FALSE(w.isVisible());
    }
}

TEST_P(WizardTest, YesToQuitClosesFromEveryFinalPage)
{
    for (TWizardPage page : {wpMode, wpStep4, wpStep7}) {
        TFormMain& w = StartEdition();
        QSignalSpy closed(&w, &TFormMain::Closed);
        OnPage(w, page);
        Answer(mrYes);
        w.ActionExitExecute();
        EXPECT_EQ(closed.count(), 1) << page;
        EXPECT_FALSE(w.isVisible());
        EXPECT_TRUE(QFile::exists(SettingsFile()));
    }
}

INSTANTIATE_TEST_SUITE_P(Editions, WizardTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "WithDownload" : "ConvertOnly"; });

TEST_F(ShellTest, AltF4OnStep3AsksInsteadOfClosing)
{
    LinkSkins();
    TFormMain& w = Start();
    EXPECT_EQ(w.ActionExit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
    w.ShowPage(wpStep3);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    desktop->answers.push_back(mrNo);
    QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
    ASSERT_FALSE(desktop->shown.empty());
    EXPECT_EQ(desktop->shown.back().message, QStringLiteral("Do you really want to cancel the conversion?"));
    EXPECT_TRUE(w.isVisible());
}

TEST_F(ShellTest, ClosingDuringADownloadStopsEverythingAndSaves)
{
    LinkSkins();
    TFormMain& w = Start();
    w.ShowPage(wpStep6);
    w.PageStep3->CheckBoxShutdown->click();   // stored at once
    EXPECT_TRUE(AppSettings.ShutDownWhenFinished);
    AppSettings.OutputURLDir = home.filePath(QStringLiteral("saved-dir/"));
    desktop->shown.clear();

    QTest::mouseClick(w.ButtonClose, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(desktop->shown.empty());   // no question
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(detaches, 1);

    TAppSettings stored;
    ASSERT_TRUE(LoadSettingsFrom(stored, SettingsFile()));
    EXPECT_TRUE(stored.ShutDownWhenFinished);
    EXPECT_EQ(stored.OutputURLDir, home.filePath(QStringLiteral("saved-dir/")));
    QFile file(SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("[Form]")));
    EXPECT_FALSE(text.contains(QStringLiteral("[FormLog]"))) << "the log window was never shown";
}

TEST_F(ShellTest, DroppedFilesAreFilteredByExtension)
{
    LinkSkins();
    TFormMain& w = Start();
    const QString folder = home.filePath(QStringLiteral("clips.avi"));   // a folder, whatever its name
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList dropped{home.filePath("b.MP4"), folder, home.filePath("notes.txt"), home.filePath("a.mp3"),
                              home.filePath("noext"), home.filePath("x.mpeg")};
    MakeMediaFiles({home.filePath("b.MP4"), home.filePath("notes.txt"), home.filePath("a.mp3"),
                    home.filePath("noext"), home.filePath("x.mpeg")});
    w.ShowPage(wpStep3);   // drops count on every page
    w.DropFiles(dropped);
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    ASSERT_EQ(w.PageStep1->RowCount(), 2);
    EXPECT_EQ(w.PageStep1->RowFileName(0), home.filePath("b.MP4"));
    EXPECT_EQ(w.PageStep1->RowFileName(1), home.filePath("a.mp3"));
    EXPECT_EQ(w.CurrentPage(), wpStep3);
    EXPECT_EQ(desktop->busy, 0);   // the busy cursor is off again
}

TEST_F(ShellTest, ClipboardTextEnablesPaste)
{
    LinkSkins();
    TFormMain& w = Start();
    QApplication::clipboard()->setText(QStringLiteral("http://www.youtube.com/watch?v=xyz"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.ClipboardHasText);
    EXPECT_TRUE(w.PageStep5->ActionURLPaste->isEnabled());
    QApplication::clipboard()->clear();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.ClipboardHasText);
    EXPECT_FALSE(w.PageStep5->ActionURLPaste->isEnabled());
}

TEST_F(ShellTest, SummaryShowsCountsAndErrorsOnlyWhenThereAreSome)
{
    LinkSkins();
    TFormMain& w = Start();
    w.ShowConversionSummary(5, 5, {});
    EXPECT_EQ(w.CurrentPage(), wpStep4);
    EXPECT_EQ(w.ActionNext->text(), QStringLiteral("Finish"));
    EXPECT_EQ(w.PageStep4->LabelSucceeded->text(), QStringLiteral("5"));
    EXPECT_EQ(w.PageStep4->LabelFailed->text(), QStringLiteral("0"));
    EXPECT_FALSE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4));
    EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep4)), "success");
    w.ShowConversionSummary(3, 1, {QStringLiteral("one"), QStringLiteral("two")});
    EXPECT_TRUE(w.PageStep4->MemoErrorLog->isVisibleTo(w.PageStep4));
    EXPECT_EQ(w.PageStep4->MemoErrorLog->toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep4)), "mixed");
    // Nothing converted, or nothing could even start: the failure picture, never the tick.
    for (int total : {3, 0}) {
        w.ShowConversionSummary(total, 0, {QStringLiteral("one")});
        EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep4)), "failure") << total;
        EXPECT_EQ(w.PageStep4->Outcome(), TSummaryPage::TOutcome::Failure);
    }

    AppSettings.OutputFileDir = home.filePath(QStringLiteral("converted/"));
    QTest::mouseClick(w.PageStep4->LabelOpenFolder, Qt::LeftButton);
    ASSERT_EQ(desktop->opened.size(), 1);
    EXPECT_EQ(desktop->opened.front(), home.filePath(QStringLiteral("converted/")));
}

TEST_F(ShellTest, ClosingDuringAConversionStopsTheTasksAndSaves)
{
    LinkSkins();
    TFormMain& w = Start();
    w.ShowPage(wpStep3);
    w.PageStep3->CheckBoxPlayASound->click();
    QTest::mouseClick(w.ButtonClose, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(desktop->shown.empty());
    EXPECT_EQ(stops, 1);
    TAppSettings stored;
    ASSERT_TRUE(LoadSettingsFrom(stored, SettingsFile()));
    EXPECT_TRUE(stored.PlayASoundWhenFinished);
}

TEST_F(ShellTest, DropEventTakesLocalFiles)
{
    LinkSkins();
    TFormMain& w = Start();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(home.filePath("clip.avi")), QUrl(QStringLiteral("http://example.com/x.avi")),
                  QUrl::fromLocalFile(home.filePath("readme.txt"))});
    QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    MakeMediaFiles({home.filePath("clip.avi"), home.filePath("readme.txt")});
    QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &drop);
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    ASSERT_EQ(w.PageStep1->RowCount(), 1);
    EXPECT_EQ(w.PageStep1->RowFileName(0), home.filePath("clip.avi"));
}

TEST_F(ShellTest, NextOnStep1WaitsForRowsStillBeingAdded)
{
    LinkSkins();
    TFormMain& w = Start();
    const QStringList files{home.filePath("one.mp4"), home.filePath("two.mp4"), home.filePath("three.mp4")};
    MakeMediaFiles(files);
    w.ShowPage(wpStep1);
    w.PageStep1->AddInputFiles(files);
    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), wpStep2);
    EXPECT_FALSE(w.PageStep1->Adding());
    ASSERT_EQ(w.PageStep1->RowCount(), 3);
    EXPECT_EQ(w.PageStep1->RowFileName(2), files[2]);
    EXPECT_TRUE(desktop->shown.empty());   // no "Please add the video files" while rows arrive
}
