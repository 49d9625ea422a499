// The close path: the settings and both placements are saved, whatever closes the window.
// Only a close request from outside the program (the window manager's Alt+F4, the taskbar's
// Close) while a conversion or download runs asks first, as Exit does: such a request is
// easily made by mistake, and it would throw the run away. Everything else closes at once.
#include "Main.h"

#include "AppSettings.h"
#include "ConversionRun.h"
#include "DownloadRun.h"
#include "EditionConfig.h"
#include "EngineComponent.h"
#include "FFmpegLogger.h"
#include "Log.h"
#include "SleepInhibitor.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>

void TFormMain::closeEvent(QCloseEvent* event)
{
    if (!closing_ && event->spontaneous() && !CloseRequestConfirmed()) {
        event->ignore();
        return;
    }
    event->accept();
    if (closing_)
        return;
    closing_ = true;
    FormCloseQuery();
    FormClose();
    emit Closed();
}

// Step3 and Step6 are shown exactly while their run works.
bool TFormMain::CloseRequestConfirmed()
{
    switch (CurrentPage()) {
    case wpStep3:
        return Ask(tr("Do you really want to cancel the conversion?"));
    case wpStep6:
        return Ask(tr("Do you really want to cancel the downloading?"));
    default:
        return true;
    }
}

void TFormMain::FormCloseQuery()
{
    // Stops the run and waits for it, so the outputs it leaves incomplete are gone before the
    // window is.
    run_.reset();
    engine_->DetachEvents();
    FFLogger()->OnLog = nullptr;
    engine_->StopTasks(true);
    // Both transfers stop at once and a half-downloaded file goes; no summary follows.
    download_->Shutdown();
    inhibitor_->Release();
    if (clipboardWatched_) {
        disconnect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, nullptr);
        clipboardWatched_ = false;
    }
}

void TFormMain::FormClose()
{
    // The settings and both placements share one file: when it cannot be written, one box
    // says which file and why, and the placements are not tried again.
    QString error;
    bool saved = SaveSettings(&error);
    if (saved) {
        const TFormPlacement placement{frameGeometry(), false};
        saved = SaveFormPlacement(MainFormSection, placement, QString(), &error);
        if (saved && formLog_)
            formLog_->SavePlacement();
    }
    if (!saved)
        ShowError(error.isEmpty() ? tr("The settings could not be saved to %1.").arg(SettingsFilePath()) : error);
    if (formLog_)
        formLog_->hide();
}

void TFormMain::FormDestroy()
{
    if (OnFreeThumbnails)
        OnFreeThumbnails();
}
