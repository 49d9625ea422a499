// The close path: whatever closes the window, it is never refused, nothing more is asked,
// and the settings and both placements are saved.
#include "Main.h"

#include "AppSettings.h"
#include "DownloadRun.h"
#include "EditionConfig.h"
#include "EngineComponent.h"
#include "FFmpegLogger.h"
#include "Log.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>

void TFormMain::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (closing_)
        return;
    closing_ = true;
    FormCloseQuery();
    FormClose();
    emit Closed();
}

void TFormMain::FormCloseQuery()
{
    engine_->DetachEvents();
    FFLogger()->OnLog = nullptr;
    engine_->StopTasks(true);
    // Both transfers stop at once and a half-downloaded file goes; no summary follows.
    download_->Shutdown();
    if (clipboardWatched_) {
        disconnect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, nullptr);
        clipboardWatched_ = false;
    }
}

void TFormMain::FormClose()
{
    QString error;
    if (!SaveSettings(&error))
        ShowError(error.isEmpty() ? tr("The settings could not be saved to %1.").arg(SettingsFilePath()) : error);
    error.clear();
    const TFormPlacement placement{frameGeometry(), false};
    if (!SaveFormPlacement(MainFormSection, placement, QString(), &error))
        ShowError(error.isEmpty() ? tr("The window position could not be saved to %1.").arg(SettingsFilePath()) : error);
    if (formLog_) {
        formLog_->SavePlacement();
        formLog_->hide();
    }
}

void TFormMain::FormDestroy()
{
    if (OnFreeThumbnails)
        OnFreeThumbnails();
}
