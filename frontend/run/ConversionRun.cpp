#include "ConversionRun.h"

#include "ConversionRunDVD.h"
#include "FFmpegEngine.h"
#include "MainThread.h"
#include "UtilFuncs.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>

namespace {

const QString WaitingText = QStringLiteral("Waiting...");
const QString ConvertingText = QStringLiteral("Converting...");
const QString FinishText = QStringLiteral("Finish.");
const QString FailedText = QStringLiteral("Failed.");
const QString NoDurationText = QStringLiteral("Duration is not preseted");

// Index just past the folder part of a path (0 when there is none).
qsizetype FolderEnd(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return slash + 1;
}

QString TimeText(double seconds)
{
    // A negative "time left" only means the estimate was too short.
    return FormatSecondsShort(seconds > 0 ? int(std::min(seconds, 2147483647.0)) : 0);
}

QString WhatOf(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

} // namespace

// What the engine's threads share with the main thread. Termination handlers hold it by
// shared pointer, so a report still on its way after the run is gone touches nothing freed.
struct TRunShared {
    std::mutex Lock;
    int Successes = 0;
    int Handled = 0;
    std::int64_t Processed = 0;
    QStringList ErrorLines;
    std::vector<std::int64_t> TaskDurations; // the input duration each task converts
    std::vector<std::int64_t> Positions;     // how far each task still converting has come

    // Main thread only: the run that shows the results; null once it is destroyed.
    TConversionRun* Owner = nullptr;
    std::atomic<bool> Abandoned{false}; // the final report stops waiting
    // Runs started and final reports that have ended. Counted, not flagged: a hook may start
    // the next run while the report of the last one is still on its way out.
    std::atomic<int> RunsStarted{0}, RunsEnded{0};
};

struct TConversionRun::TState {
    TFFmpegEngine& Engine;
    std::shared_ptr<TRunShared> Shared = std::make_shared<TRunShared>();
    bool Running = false;
    bool Building = false; // Start is between its inputs (and may let events run)
    bool Join = false;
    int TotalFiles = 0;
    std::int64_t TotalDuration = 0;
    std::vector<TConversionRow> Rows;
    TRunStatus Status;
    QElapsedTimer Clock;

    explicit TState(TFFmpegEngine& engine) : Engine(engine) {}
};

TConversionRun::TConversionRun(TFFmpegEngine& engine) : d(std::make_unique<TState>(engine))
{
    d->Status.CurrentFile = QStringLiteral("...");
    d->Shared->Owner = this;
}

void TConversionRun::AttachEngine()
{
    // Assigned at every start (no task runs then): the close path of a window may have
    // detached them, and a run without its final report would never end.
    const std::shared_ptr<TRunShared> shared = d->Shared;
    TFFmpegEngine* engine = &d->Engine;
    engine->SetTriggerEventInMainThread(true);
    engine->OnProgress = [shared](QObject*, TProgressInfo* info) {
        // On the main thread (the engine hands progress over there).
        if (shared->Owner && info)
            shared->Owner->Progress(*info);
    };
    engine->OnTerminate = [shared, engine](QObject*, TTerminateInfo info) {
        TConversionRun::Terminate(shared, *engine, info);
    };
}

TConversionRun::~TConversionRun()
{
    const std::shared_ptr<TRunShared> shared = d->Shared;
    shared->Owner = nullptr;
    if (d->Running) {
        // Not StopTasks with its wait: the final report frees the tasks with ClearTasks while
        // such a wait would still walk them. Waiting for that report waits for the tasks too,
        // and leaves the engine cleared for the next run. It never comes once someone else
        // detached the events.
        d->Engine.StopTasks(false);
        WaitServicingEvents(
            [&] { return shared->RunsEnded.load() >= shared->RunsStarted.load() || !d->Engine.OnTerminate; }, 60000);
    }
    shared->Abandoned = true;
    d->Engine.DetachEvents();
}

int TConversionRun::Start(const std::vector<TInputRow>& inputs, const TOutputChoice& choice, bool join, int threads)
{
    TFFmpegEngine& engine = d->Engine;
    if (d->Building) {
        // Started again from an event let through while the tasks are built: that run's end
        // answers both.
        Log(QStringLiteral("Cannot do convert, error: a conversion is already running."));
        return 0;
    }
    if (d->Running) {
        if (EndStillDue()) {
            // A second start for the same request: the active run's end answers both.
            Log(QStringLiteral("Cannot do convert, error: a conversion is already running."));
            return 0;
        }
        // The end of the last run was lost (its events were taken away): nobody listens to
        // its tasks any more, so they make way for this run.
        d->Running = false;
        d->Shared->RunsEnded = d->Shared->RunsStarted.load();
        engine.StopTasks(true);
    }
    if (engine.Working() || engine.TaskCount() > 0) {
        // Tasks left by an earlier run whose end never arrived.
        try {
            engine.ClearTasks();
        } catch (const std::exception& e) {
            d->Join = join;
            d->Rows.clear();
            d->TotalDuration = 0;
            d->TotalFiles = 0;
            if (OnRowsBuilt)
                OnRowsBuilt();
            ResetCounters({}, {});
            EndAtOnce(WhatOf(e));
            return 0;
        }
    }
    AttachEngine();

    d->Join = join;
    d->Rows.clear();
    d->TotalDuration = 0;
    QStringList reasons;
    std::vector<std::int64_t> durations;
    d->Building = true;
    if (join)
        BuildJoinTask(inputs, choice, reasons, durations);
    else
        BuildFileTasks(inputs, choice, reasons, durations);
    d->Building = false;
    d->TotalFiles = join ? 1 : int(d->Rows.size());
    const int tasks = engine.TaskCount();
    if (tasks == 0)
        d->TotalFiles = 0;
    if (OnRowsBuilt)
        OnRowsBuilt();

    // Nothing to run: the summary tells why, not only the log window.
    ResetCounters(tasks == 0 ? reasons : QStringList(), std::move(durations));
    d->Running = true;
    ++d->Shared->RunsStarted;
    try {
        // With no task the engine still delivers its final report, which ends the run.
        engine.StartTask(std::max(threads, 1));
    } catch (const std::exception& e) {
        ++d->Shared->RunsEnded;
        EndAtOnce(WhatOf(e));
        return 0;
    }
    return tasks;
}

bool TConversionRun::EndStillDue() const
{
    return d->Shared->RunsEnded.load() < d->Shared->RunsStarted.load() && d->Engine.OnTerminate;
}

void TConversionRun::ResetCounters(const QStringList& errorLines, std::vector<std::int64_t> durations)
{
    {
        std::lock_guard lock(d->Shared->Lock);
        d->Shared->ErrorLines = errorLines;
        d->Shared->Successes = 0;
        d->Shared->Handled = 0;
        d->Shared->Processed = 0;
        d->Shared->Positions.assign(durations.size(), 0);
        d->Shared->TaskDurations = std::move(durations);
    }
    d->Status = TRunStatus();
    d->Status.CurrentFile = QStringLiteral("...");
    d->Clock.start();
}

// A start that cannot run still ends, with the reason on the summary, so the page that
// waits for the end is never left without it.
void TConversionRun::EndAtOnce(const QString& reason)
{
    Log(QStringLiteral("Cannot do convert, error: ") + reason);
    d->Running = false;
    const std::shared_ptr<TRunShared> shared = d->Shared;
    {
        std::lock_guard lock(shared->Lock);
        shared->ErrorLines << reason;
    }
    PostToMainThread([shared] {
        if (shared->Owner && shared->Owner->OnRunEnded)
            shared->Owner->OnRunEnded();
    });
}

void TConversionRun::BuildFileTasks(const std::vector<TInputRow>& inputs, const TOutputChoice& choice,
                                    QStringList& reasons, std::vector<std::int64_t>& durations)
{
    TFFmpegEngine& engine = d->Engine;
    std::unique_ptr<TAVProbe> ownProbe;
    TAVProbe* probe = engine.AVProbe();
    if (!probe) {
        ownProbe = std::make_unique<TAVProbe>();
        probe = ownProbe.get();
    }
    QStringList takenInRun;
    for (const TInputRow& input : inputs) {
        if (&input != &inputs.front() && OnBetweenInputs)
            OnBetweenInputs();
        const QString& path = input.FileName;
        auto refuse = [&](const QString& line) {
            Log(line);
            reasons << path + QStringLiteral(": ") + line;
        };
        try {
            QString dvdError;
            if (input.IsDVD() && !PrepareDVDInput(input, &dvdError)) {
                refuse(QStringLiteral("File load error: ") + dvdError);
                continue;
            }
            if (!probe->LoadFile(path)) {
                refuse(QStringLiteral("File load error: ") + probe->LastErrorMessage());
                probe->CloseFile();
                continue;
            }
            TVideoStreamInfo video;
            TAudioStreamInfo audio;
            const int videoStream = FirstMovingVideoStream(*probe);
            const bool hasVideo = videoStream >= 0;
            const bool hasAudio = probe->FirstAudioStream() >= 0;
            if (hasVideo)
                probe->GetVideoStreamInfo(videoStream, video);
            if (hasAudio)
                probe->GetAudioStreamInfo(probe->FirstAudioStream(), audio);
            TFileStreamInfo fileInfo;
            probe->GetFileStreamInfo(fileInfo);
            const QString fileName = probe->GetFileName();

            TOutputOptions output;
            QString error;
            const TSourceFacts source = SourceFactsFromProbe(input.IsDVD() ? DVDOutputSourceName(input.DVD) : fileName,
                                                             hasVideo ? &video : nullptr, hasAudio ? &audio : nullptr);
            if (!BuildOutputOptions(choice, source, takenInRun, output, &error)) {
                refuse(QStringLiteral("Cannot do convert, error: ") + error);
                probe->CloseFile();
                continue;
            }
            if (input.IsDVD())
                ApplyDVDOutputOptions(input.DVD, output, false, [this](const QString& line) { Log(line); });
            TInputOptions inputOptions;
            InitInputOptions(inputOptions);
            inputOptions.FileName = fileName;
            inputOptions.ForceFormat = probe->ForcedFormat();
            probe->CloseFile();

            const int task = engine.AddTask(fileName, &inputOptions);
            if (task < 0) {
                refuse(QStringLiteral("Adding file error: ") + engine.LastError());
                continue;
            }
            if (!engine.SetOutputFile(task, output.FileName, &output)) {
                const QString reason = engine.LastError();
                engine.RemoveTask(task);
                refuse(QStringLiteral("Cannot do convert, error: ") + reason);
                continue;
            }
            TConversionRow row;
            const qsizetype folderEnd = FolderEnd(path);
            row.Name = path.mid(folderEnd);
            row.Path = path.left(folderEnd);
            row.DurationUs = fileInfo.Duration >= 0 ? fileInfo.Duration : -1;
            if (input.IsDVD()) {
                // The chapter range's length: the stream's time stamps may run past it.
                row.Name = DVDRowName(input.DVD);
                row.Path = input.DVD.Root;
                if (input.Duration > 0)
                    row.DurationUs = input.Duration;
            }
            row.Duration = row.DurationUs >= 0 ? FormatMicroseconds(row.DurationUs) : NoDurationText;
            row.Third = WaitingText;
            row.InputFile = path;
            row.OutputFile = output.FileName;
            d->Rows.push_back(row);
            const std::int64_t known = std::max<std::int64_t>(row.DurationUs, 0);
            d->TotalDuration += known;
            durations.push_back(known);
            Log(QStringLiteral("File has been added to convert list."));
        } catch (const std::exception& e) {
            // The libraries are missing, or the engine refused outright.
            probe->CloseFile();
            refuse(QStringLiteral("File load error: ") + WhatOf(e));
        }
    }
}

void TConversionRun::BuildJoinTask(const std::vector<TInputRow>& inputs, const TOutputChoice& choice,
                                   QStringList& reasons, std::vector<std::int64_t>& durations)
{
    TFFmpegEngine& engine = d->Engine;
    QStringList takenInRun;
    TOutputOptions output;
    bool outputBuilt = false;
    QString outputError;
    for (const TInputRow& input : inputs) {
        if (&input != &inputs.front() && OnBetweenInputs)
            OnBetweenInputs();
        const QString& path = input.FileName;
        auto refuse = [&](const QString& line) {
            Log(line);
            reasons << path + QStringLiteral(": ") + line;
        };
        QString dvdError;
        if (input.IsDVD() && !PrepareDVDInput(input, &dvdError)) {
            refuse(QStringLiteral("Adding file error: ") + dvdError);
            continue;
        }
        TInputOptions options;
        InitInputOptions(options);
        bool added = false;
        try {
            added = engine.TaskCount() > 0 ? engine.AddInputFile(0, path, &options)
                                           : engine.AddTask(path, &options) >= 0;
        } catch (const std::exception& e) {
            refuse(QStringLiteral("Adding file error: ") + WhatOf(e));
            continue;
        }
        if (!added) {
            refuse(QStringLiteral("Adding file error: ") + engine.LastError());
            continue;
        }
        TConversionRow row;
        row.Name = input.IsDVD() ? DVDRowName(input.DVD) : path.mid(FolderEnd(path));
        row.DurationUs = input.Duration > 0 ? input.Duration : -1;
        row.Duration = FormatMicroseconds(std::max<std::int64_t>(input.Duration, 0));
        row.Third = QString::number(input.Width) + u'x' + QString::number(input.Height);
        row.Fourth = QString::number(input.Aspect);
        row.InputFile = path;
        if (d->Rows.empty()) {
            // The first row gives the picture geometry (its values, not the rounded aspect text);
            // the output name does not depend on it.
            TSourceFacts first;
            first.FileName = input.IsDVD() ? DVDOutputSourceName(input.DVD) : path;
            first.Width = input.Width;
            first.Height = input.Height;
            first.DisplayAspect = input.Aspect;
            outputBuilt = BuildJoinOutputOptions(choice, first, takenInRun, output, &outputError);
        }
        row.Path = output.FileName;
        row.OutputFile = output.FileName;
        d->Rows.push_back(row);
        d->TotalDuration += std::max<std::int64_t>(input.Duration, 0);
        Log(QStringLiteral("File has been added to convert list."));
    }
    if (engine.TaskCount() == 0)
        return; // no input: no geometry, no output
    for (const TInputRow& input : inputs)
        if (input.IsDVD())
            ApplyDVDOutputOptions(input.DVD, output, true, [this](const QString& line) { Log(line); });
    bool set = false;
    QString reason = outputError;
    if (outputBuilt) {
        set = engine.SetOutputFile(0, output.FileName, &output);
        if (!set)
            reason = engine.LastError();
    }
    if (!set) {
        engine.RemoveTask(0);
        Log(QStringLiteral("Cannot do convert, error: ") + reason);
        reasons << QStringLiteral("Cannot do convert, error: ") + reason;
        return;
    }
    durations.push_back(d->TotalDuration);
}

void TConversionRun::Progress(const TProgressInfo& info)
{
    const int index = info.TaskIndex;
    if (index < 0 || size_t(index) >= (d->Join ? size_t(1) : d->Rows.size()))
        return;
    TRunStatus& status = d->Status;
    if (d->Join) {
        status.CurrentFile = d->Rows.empty() ? QString() : d->Rows.front().Path;
    } else {
        const TConversionRow& row = d->Rows[size_t(index)];
        status.CurrentFile = WithTrailingBackslash(row.Path) + row.Name;
    }
    bool rowChanged = false;
    if (info.TotalDuration > 0) {
        const std::int64_t position = info.CurrentDuration * 100 / info.TotalDuration;
        status.Percent = int(std::clamp<std::int64_t>(position, 0, 100));
        if (!d->Join) {
            TConversionRow& row = d->Rows[size_t(index)];
            row.Fourth = QString::number(status.Percent) + u'%';
            row.Third = ConvertingText;
            rowChanged = true;
        }
    } else if (!d->Join) {
        d->Rows[size_t(index)].Fourth = QStringLiteral("N/A");
        rowChanged = true;
    }

    const std::int64_t done = Done(index, info.CurrentDuration);
    status.Running = RunningTasks();
    if (done > 0) {
        const double elapsed = double(d->Clock.elapsed()) / 1000.0;
        const double estimated = double(d->TotalDuration) * elapsed / double(done);
        status.HasEstimate = true;
        status.Estimated = TimeText(estimated);
        status.Elapsed = TimeText(elapsed);
        status.TimeLeft = TimeText(estimated - elapsed);
    }
    status.OverallPercent = OverallPercent(done);
    if (rowChanged && OnRowChanged)
        OnRowChanged(index);
    if (OnStatus)
        OnStatus(status);
}

// On an engine thread, one per report.
void TConversionRun::Terminate(const std::shared_ptr<TRunShared>& shared, TFFmpegEngine& engine,
                               const TTerminateInfo& info)
{
    if (info.TaskIndex >= 0) {
        {
            std::lock_guard lock(shared->Lock);
            if (info.Finished) {
                ++shared->Successes;
                if (size_t(info.TaskIndex) < shared->TaskDurations.size())
                    shared->Processed += shared->TaskDurations[size_t(info.TaskIndex)];
            }
            // Its part is in Processed now, or it is gone with the failure.
            if (size_t(info.TaskIndex) < shared->Positions.size())
                shared->Positions[size_t(info.TaskIndex)] = -1;
            if (info.Exception)
                shared->ErrorLines << QStringLiteral("File (") + QString::number(info.TaskIndex) +
                                          QStringLiteral("): ") + info.ExceptionMsg;
            ++shared->Handled;
        }
        PostToMainThread([shared, info] {
            if (shared->Owner)
                shared->Owner->TaskEnded(info.TaskIndex, info.Finished);
        });
        return;
    }

    if (info.Exception) {
        std::lock_guard lock(shared->Lock);
        shared->ErrorLines << QStringLiteral("File (") + QString::number(info.TaskIndex) + QStringLiteral("): ") +
                                  info.ExceptionMsg;
    }
    // Every task's report must have counted itself before the counts are final.
    for (;;) {
        {
            std::lock_guard lock(shared->Lock);
            if (shared->Handled >= engine.TaskCount())
                break;
        }
        if (shared->Abandoned.load())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    try {
        engine.ClearTasks();
    } catch (const std::exception& e) {
        std::lock_guard lock(shared->Lock);
        shared->ErrorLines << WhatOf(e);
    }
    try {
        SyncToMainThread([shared] {
            if (shared->Owner)
                shared->Owner->RunEnded();
        });
    } catch (...) {
        // A hook's failure must not take the engine's event thread down.
    }
    ++shared->RunsEnded;
}

void TConversionRun::TaskEnded(int taskIndex, bool finished)
{
    d->Status.Running = RunningTasks();
    d->Status.OverallPercent = OverallPercent(Done(-1, 0));
    if (finished)
        d->Status.Percent = 100;
    if (OnStatus)
        OnStatus(d->Status);
    if (d->Join || taskIndex < 0 || size_t(taskIndex) >= d->Rows.size())
        return;
    TConversionRow& row = d->Rows[size_t(taskIndex)];
    if (finished) {
        row.Fourth = QStringLiteral("100%");
        row.Third = FinishText;
    } else {
        row.Third = FailedText;
    }
    if (OnRowChanged)
        OnRowChanged(taskIndex);
}

// The input time converted so far: the finished tasks' durations and the positions of those
// still converting, `task` taken at `position`. With one task at a time that is the
// processed duration plus the current task's position; with several each counts its own.
std::int64_t TConversionRun::Done(int task, std::int64_t position)
{
    std::lock_guard lock(d->Shared->Lock);
    std::vector<std::int64_t>& positions = d->Shared->Positions;
    if (task >= 0 && size_t(task) < positions.size() && positions[size_t(task)] >= 0)
        positions[size_t(task)] = std::max<std::int64_t>(position, 0);
    std::int64_t done = d->Shared->Processed;
    // Each counts only within the duration it adds when it finishes (nothing when its length
    // is unknown): beyond it, the whole run's share would fall back at that moment.
    const std::vector<std::int64_t>& durations = d->Shared->TaskDurations;
    for (size_t i = 0; i < positions.size() && i < durations.size(); ++i)
        done += std::clamp<std::int64_t>(positions[i], 0, std::max<std::int64_t>(durations[i], 0));
    return done;
}

int TConversionRun::RunningTasks() const
{
    std::lock_guard lock(d->Shared->Lock);
    return int(std::count_if(d->Shared->Positions.begin(), d->Shared->Positions.end(),
                             [](std::int64_t p) { return p > 0; }));
}

int TConversionRun::OverallPercent(std::int64_t done) const
{
    if (d->TotalDuration <= 0)
        return d->Status.Percent;
    return int(std::clamp<std::int64_t>(done * 100 / d->TotalDuration, 0, 100));
}

void TConversionRun::RunEnded()
{
    d->Status.CurrentFile = QStringLiteral("...");
    d->Status.Percent = 0;
    d->Running = false;
    if (OnStatus)
        OnStatus(d->Status);
    if (OnRunEnded)
        OnRunEnded();
}

void TConversionRun::Stop()
{
    if (d->Running)
        d->Engine.StopTasks(false);
}

void TConversionRun::Log(const QString& line)
{
    if (OnLog)
        OnLog(line);
}

bool TConversionRun::Running() const
{
    return d->Running;
}

bool TConversionRun::JoinMode() const
{
    return d->Join;
}

int TConversionRun::TotalFiles() const
{
    return d->TotalFiles;
}

int TConversionRun::Successes() const
{
    std::lock_guard lock(d->Shared->Lock);
    return d->Shared->Successes;
}

QStringList TConversionRun::ErrorLines() const
{
    std::lock_guard lock(d->Shared->Lock);
    return d->Shared->ErrorLines;
}

const std::vector<TConversionRow>& TConversionRun::Rows() const
{
    return d->Rows;
}

TRunStatus TConversionRun::Status() const
{
    return d->Status;
}

std::int64_t TConversionRun::TotalDuration() const
{
    return d->TotalDuration;
}

std::int64_t TConversionRun::ProcessedDuration() const
{
    std::lock_guard lock(d->Shared->Lock);
    return d->Shared->Processed;
}
