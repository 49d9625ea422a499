// The wizard: captions by page, and what Next, Back and Exit do on each page.
#include "Main.h"

#include "AppSettings.h"
#include "ConversionRun.h"
#include "EditionConfig.h"
#include "EngineComponent.h"
#include "PageMode.h"
#include "PageStep1.h"
#include "PageStep2.h"
#include "PageStep3.h"
#include "DownloadRun.h"
#include "PageStep5.h"
#include "PageStep6.h"
#include "PageSummary.h"
#include "UtilFuncs.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {

// The folder exists or could be made with all its parents. A relative text would land
// wherever the program happens to run, so it counts as a wrong folder.
bool ForceOutputDirectory(const QString& dir)
{
    if (dir.trimmed().isEmpty() || !QDir::isAbsolutePath(dir))
        return false;
    return QFileInfo(dir).isDir() || QDir().mkpath(dir);
}

const QString FolderFailedText =
    QStringLiteral("Fail to create directory! Please check if output folder have the right format!");

} // namespace

TWizardPage TFormMain::CurrentPage() const
{
    return TWizardPage(PageControlMain->currentIndex());
}

void TFormMain::ShowPage(TWizardPage page)
{
    PageControlMain->setCurrentIndex(page);
}

void TFormMain::UpdatePageCaptions()
{
    const TPageCaptions c = PageCaptions(CurrentPage(), EditionConfig.Download, EditionConfig.Merge, EditionConfig.Name);
    SetTitle(c.Title);
    ActionBack->setText(c.Back);
    ActionBack->setEnabled(c.BackEnabled);
    ActionNext->setText(c.Next);
    ActionNext->setEnabled(c.NextEnabled);
    ActionExit->setText(c.Exit);
    ActionExit->setEnabled(true);
}

void TFormMain::GoToStartPage()
{
    ShowPage(EditionConfig.Download ? wpMode : wpStep1);
    UpdatePageCaptions();
}

bool TFormMain::Ask(const QString& question)
{
    return Desktop().ShowMessage(question, EditionConfig.Name, TMsgDlgType::mtConfirmation, mbYes | mbNo) == mrYes;
}

void TFormMain::Inform(const QString& message)
{
    Desktop().ShowMessage(message, EditionConfig.Name, TMsgDlgType::mtInformation, mbOK);
}

void TFormMain::ShowError(const QString& message)
{
    Log(message);
    Desktop().ShowMessage(message, EditionConfig.Name, TMsgDlgType::mtError, mbOK);
}

void TFormMain::ActionNextExecute()
{
    if (!ActionNext->isEnabled())
        return;
    switch (CurrentPage()) {
    case wpMode:
        if (PageMode->DownloadChosen()) {
            ShowPage(wpStep5);
            PageStep5->ShowURLPageSettings();
            UpdatePageCaptions();
        } else {
            ShowPage(wpStep1);
        }
        break;
    case wpStep1:
        // Rows still arriving belong to this run: wait for them (events keep being served, so
        // a second Next meanwhile is ignored rather than counted twice).
        if (PageStep1->Adding()) {
            if (waitingForAdd_)
                break;
            waitingForAdd_ = true;
            PageStep1->WaitForAdd();
            waitingForAdd_ = false;
            if (closing_ || CurrentPage() != wpStep1)
                break;
        }
        if (PageStep1->RowCount() > 0) {
            ShowPage(wpStep2);
            PageStep2->ShowOutputSettings();
        } else {
            Inform(tr("Please add the video files you want to convert"));
        }
        break;
    case wpStep2:
        PageStep2->StoreOutputSettings();
        if (!ForceOutputDirectory(AppSettings.OutputFileDir)) {
            Inform(FolderFailedText);
            break;
        }
        QCoreApplication::processEvents();
        ShowPage(wpStep3);
        PageStep3->CheckBoxPlayASound->setChecked(AppSettings.PlayASoundWhenFinished);
        PageStep3->CheckBoxShutdown->setChecked(AppSettings.ShutDownWhenFinished);
        PostStartConversion();
        break;
    case wpStep4:
        PageStep1->ClearInputList();
        PageStep3->ClearConversionList();
        GoToStartPage();
        break;
    case wpStep5:
        PageStep5->StoreURLPageSettings();
        if (PageStep5->URLCount() == 0) {
            Inform(tr("Please Copy & Paste the YouTube video links you want to download."));
        } else if (!ForceOutputDirectory(AppSettings.OutputURLDir)) {
            Inform(FolderFailedText);
        } else {
            ShowPage(wpStep6);
            StartDownload();
        }
        break;
    case wpStep7:
        PageStep5->EmptyURLs();
        PageStep6->EmptyDownloadList();
        GoToStartPage();
        break;
    case wpStep3:
    case wpStep6:
        break;
    }
}

void TFormMain::ActionBackExecute()
{
    if (!ActionBack->isEnabled())
        return;
    switch (CurrentPage()) {
    case wpStep1:
        if (Ask(tr("Are you sure to cancel and go back?"))) {
            PageStep1->ClearInputList();
            GoToStartPage();
        }
        break;
    case wpStep2:
        ShowPage(wpStep1);
        break;
    case wpStep5:
        if (Ask(tr("Are you sure to cancel and go back?"))) {
            PageStep5->EmptyURLs();
            GoToStartPage();
        }
        break;
    default:
        break;
    }
}

void TFormMain::ActionExitExecute()
{
    switch (CurrentPage()) {
    case wpStep1:
        if (EditionConfig.Download) {
            if (Ask(tr("Are you sure to cancel?"))) {
                PageStep1->ClearInputList();
                GoToStartPage();
            }
        } else if (Ask(tr("Are you sure to quit now?"))) {
            close();
        }
        break;
    case wpStep2:
        if (Ask(tr("Are you sure to cancel?"))) {
            PageStep1->ClearInputList();
            GoToStartPage();
        }
        break;
    case wpStep3:
        if (Ask(tr("Do you really want to cancel the conversion?"))) {
            // A running run is stopped without waiting: its final report frees the tasks a
            // waiting stop would still walk, and that report leads to Step4 in any case.
            if (run_ && run_->Running())
                run_->Stop();
            else
                engine_->StopTasks(true);
            UpdatePageCaptions();
        }
        break;
    case wpStep5:
        if (Ask(tr("Are you sure to cancel?"))) {
            PageStep5->EmptyURLs();
            GoToStartPage();
        }
        break;
    case wpStep6:
        if (Ask(tr("Do you really want to cancel the downloading?"))) {
            download_->Cancel();
            UpdatePageCaptions();
        }
        break;
    case wpMode:
    case wpStep4:
    case wpStep7:
        if (Ask(tr("Are you sure to quit now?")))
            close();
        break;
    }
}

void TFormMain::ShowConversionSummary(int total, int succeeded, const QStringList& errorLines)
{
    ShowPage(wpStep4);
    PageStep4->SetErrorLines(errorLines);
    UpdatePageCaptions();
    PageStep4->SetCounts(total, succeeded);
    ConversionEnded(total, succeeded, errorLines);
}

void TFormMain::StartDownload()
{
    TDownloadRun& run = *download_;
    run.Settings.OutputURLDir = AppSettings.OutputURLDir;
    run.Settings.PreferYouTubeQuality = AppSettings.PreferYouTubeQuality;
    run.Settings.Slots = AppSettings.PreferYouTube;
    run.FillDownloadList(PageStep5->URLs());
    PageStep6->FillDownloadList(run.Rows());
    RunStarted(tr("Downloading videos"));
    run.StartDownloadRun();
}

void TFormMain::FinishDownloadRun()
{
    if (closing_)
        return;
    DownloadEnded();
    PageStep5->EmptyURLs();
    PageStep6->EmptyDownloadList();   // the run has already put its status box back to idle
    ShowPage(wpStep7);
    UpdatePageCaptions();
    PageStep7->SetCounts(download_->TotalURLs, download_->SucceededURLs);
}

void TFormMain::ButtonConvertDownloadedClick()
{
    if (download_->DownloadedFiles.isEmpty()) {
        Inform(tr("No file downloaded! Please try again."));
        return;
    }
    ShowPage(wpStep1);
    PageStep1->AddInputFiles(download_->DownloadedFiles);
}

void TFormMain::OpenFiles(const QStringList& fileNames)
{
    if (fileNames.isEmpty() || closing_)
        return;
    ShowPage(wpStep1);
    PageStep1->AddInputFiles(fileNames);
}

// ---- Posted messages --------------------------------------------------------------------

void TFormMain::PostStartConversion()
{
    QMetaObject::invokeMethod(this, &TFormMain::StartConversion, Qt::QueuedConnection);
}

void TFormMain::PostEndConversion()
{
    QMetaObject::invokeMethod(this, &TFormMain::EndConversion, Qt::QueuedConnection);
}

void TFormMain::StartConversion()
{
    if (closing_)
        return;
    RunStarted(tr("Converting files"));
    if (OnStartConversion)
        OnStartConversion();
    else
        StartConversionRun();
}

void TFormMain::EndConversion()
{
    if (closing_)
        return;
    if (OnEndConversion)
        OnEndConversion();
    else
        EndConversionRun();
}
