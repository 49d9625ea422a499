// The conversion run as the window drives it: its start from the Step1 rows and the Step2
// choice, its display on Step3, and its end (sound, shutdown countdown, summary).
#include "Main.h"

#include "AppSettings.h"
#include "ConversionRun.h"
#include "DesktopServices.h"
#include "EditionConfig.h"
#include "EngineComponent.h"
#include "PageStep1.h"
#include "PageStep3.h"
#include "PresetCatalogue.h"
#include "Shutdown.h"

#include <QPointer>

TConversionRun& TFormMain::ConversionRun()
{
    if (run_)
        return *run_;
    run_ = std::make_unique<TConversionRun>(engine_->FFmpegEngine());
    TConversionRun& run = *run_;
    run.OnLog = [this](const QString& line) { Log(line); };
    run.OnRowsBuilt = [this, &run] {
        PageStep3->SetJoinMode(run.JoinMode());
        PageStep3->ShowRows(run.Rows());
    };
    // The rows come one by one while the worker prepares the run; the window never waits.
    run.PrepareOnWorker = true;
    run.OnRowAdded = [this, &run](int row) {
        if (row == 0) {
            PageStep3->SetJoinMode(run.JoinMode());
            PageStep3->ShowRows({});
        }
        PageStep3->AddRow(run.Rows()[size_t(row)]);
    };
    run.OnRowChanged = [this, &run](int row) { PageStep3->UpdateRow(row, run.Rows()[size_t(row)]); };
    run.OnStatus = [this](const TRunStatus& status) { PageStep3->ShowStatus(status); };
    // Posted, so the engine's thread that reported the end is not held by the sound or the
    // countdown; the run's counts are final by now.
    run.OnRunEnded = [this] { PostEndConversion(); };
    return run;
}

void TFormMain::StartConversionRun()
{
    // Join mode makes one output of all the inputs: one task.
    const bool join = EditionConfig.Merge;
    const int jobs = join ? 1 : ConversionJobsForRun(AppSettings.ConversionJobs);
    PageStep3->SetFilesAtOnce(jobs);
    ConversionRun().Start(PageStep1->InputRows(), OutputChoiceFromSettings(AppSettings), join, jobs);
}

void TFormMain::EndConversionRun()
{
    TConversionRun& run = ConversionRun();
    const int total = run.TotalFiles();
    const int successes = run.Successes();
    const QStringList errors = run.ErrorLines();
    if (AppSettings.PlayASoundWhenFinished) {
        // A run in which nothing could even start is a failure too.
        const bool failed = successes < total || (total == 0 && !errors.isEmpty());
        Desktop().PlaySound(appDir_ + (failed ? QStringLiteral("sounds/fail.wav") : QStringLiteral("sounds/done.wav")));
    }
    if (AppSettings.ShutDownWhenFinished) {
        // The system answers later; by then the window may be gone.
        QPointer<TFormMain> self(this);
        RunShutdownCountdown(this, EditionConfig.Name, ShutdownTickMs, [self] {
            if (self)
                self->Log(tr("The computer could not be shut down: the system refused the request."));
        });
    }
    ShowConversionSummary(total, successes, errors);
}
