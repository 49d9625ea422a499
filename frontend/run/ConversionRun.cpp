#include "ConversionRun.h"

#include "ConversionRunDVD.h"
#include "FFmpegEngine.h"
#include "FFmpegTask.h"
#include "MainThread.h"
#include "RunPreparation.h"
#include "UtilFuncs.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>

namespace {

const QString ConvertingText = QStringLiteral("Converting...");
const QString FinishText = QStringLiteral("Finish.");
const QString FailedText = QStringLiteral("Failed.");

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
    std::vector<char> Finished;              // per task: it reported a success

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
    bool Building = false; // the tasks are being prepared
    bool StopAsked = false; // Stop came while they were
    int Threads = 1;
    std::unique_ptr<TRunPreparation> Prep;
    std::thread Worker;
    std::shared_ptr<std::atomic<bool>> PrepDone;
    std::vector<TRunOutput> Outputs; // by task, from the preparation
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
    if (d->Building) {
        AbandonPreparation();
    } else if (d->Running) {
        // Not StopTasks with its wait: the final report frees the tasks with ClearTasks while
        // such a wait would still walk them. Waiting for that report waits for the tasks too,
        // and leaves the engine cleared for the next run. It never comes once someone else
        // detached the events.
        d->Engine.StopTasks(false);
        WaitServicingEvents(
            [&] { return shared->RunsEnded.load() >= shared->RunsStarted.load() || !d->Engine.OnTerminate; }, 60000);
        // Without a final report nobody frees the tasks: they must be still before their
        // state tells which outputs are whole.
        if (!d->Engine.OnTerminate)
            d->Engine.StopTasks(true);
        RemoveIncompleteOutputs();
    }
    shared->Abandoned = true;
    d->Engine.DetachEvents();
}

int TConversionRun::Start(const std::vector<TInputRow>& inputs, const TOutputChoice& choice, bool join, int threads)
{
    TFFmpegEngine& engine = d->Engine;
    if (d->Building) {
        // Started again while the tasks are built: that run's end answers both.
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
        RemoveIncompleteOutputs();
    }
    if (engine.Working() || engine.TaskCount() > 0) {
        // Tasks left by an earlier run whose end never arrived.
        try {
            engine.ClearTasks();
        } catch (const std::exception& e) {
            d->Join = join;
            d->Rows.clear();
            d->Outputs.clear();
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
    d->Outputs.clear();
    d->TotalDuration = 0;
    d->Threads = threads;
    d->StopAsked = false;
    // The plug-in is readied here, on the main thread; the titles are opened by the preparation.
    QStringList dvdErrors;
    for (const TInputRow& input : inputs) {
        QString error;
        if (input.IsDVD() && !PrepareDVDInput(input, &error) && error.isEmpty())
            error = QStringLiteral("This DVD cannot be read");
        dvdErrors << error;
    }
    d->Prep = std::make_unique<TRunPreparation>(engine, inputs, dvdErrors, choice, join);
    TRunPreparation& prep = *d->Prep;
    d->Building = true;
    if (!PrepareOnWorker) {
        prep.OnLog = [this](const QString& line) { Log(line); };
        prep.OnRow = [this](const TConversionRow& row) { RowPrepared(row); };
        prep.OnBetweenInputs = [this] {
            if (OnBetweenInputs)
                OnBetweenInputs();
        };
        prep.Prepare();
        return FinishStart();
    }

    // Only posts from the worker: the main thread may be waiting for it to end.
    const std::shared_ptr<TRunShared> shared = d->Shared;
    prep.OnLog = [shared](const QString& line) {
        PostToMainThread([shared, line] {
            if (shared->Owner)
                shared->Owner->Log(line);
        });
    };
    prep.OnRow = [shared](const TConversionRow& row) {
        PostToMainThread([shared, row] {
            if (shared->Owner)
                shared->Owner->RowPrepared(row);
        });
    };
    auto done = std::make_shared<std::atomic<bool>>(false);
    d->PrepDone = done;
    TRunPreparation* preparing = &prep;
    d->Worker = std::thread([preparing, shared, done] {
        try {
            preparing->Prepare();
        } catch (...) {
            // Prepare answers every input itself; nothing may leave the thread.
        }
        *done = true;
        PostToMainThread([shared] {
            if (shared->Owner)
                shared->Owner->FinishStart();
        });
    });
    return 0;
}

void TConversionRun::RowPrepared(const TConversionRow& row)
{
    d->Rows.push_back(row);
    if (OnRowAdded)
        OnRowAdded(int(d->Rows.size()) - 1);
}

// The preparation is over (on the main thread): start what it built.
int TConversionRun::FinishStart()
{
    if (!d->Building)
        return 0;
    if (d->Worker.joinable())
        d->Worker.join(); // it has posted its last call
    d->Building = false;
    TFFmpegEngine& engine = d->Engine;
    const TRunPreparation& prep = *d->Prep;
    d->Outputs = prep.Outputs();
    d->TotalDuration = prep.TotalDuration();
    if (d->StopAsked) {
        EndStopped();
        return 0;
    }
    d->TotalFiles = d->Join ? 1 : int(d->Rows.size());
    const int tasks = engine.TaskCount();
    if (tasks == 0)
        d->TotalFiles = 0;
    if (OnRowsBuilt)
        OnRowsBuilt();

    // Nothing to run: the summary tells why, not only the log window.
    ResetCounters(tasks == 0 ? prep.Reasons() : QStringList(), prep.Durations());
    d->Running = true;
    ++d->Shared->RunsStarted;
    try {
        // With no task the engine still delivers its final report, which ends the run.
        engine.StartTask(std::max(d->Threads, 1));
    } catch (const std::exception& e) {
        ++d->Shared->RunsEnded;
        try {
            engine.ClearTasks();
        } catch (const std::exception&) {
        }
        RemoveIncompleteOutputs();
        EndAtOnce(WhatOf(e));
        return 0;
    }
    return tasks;
}

// Stopped before anything started: the tasks are dropped with their outputs, and every row
// built fails as a stopped task does, without an error line.
void TConversionRun::EndStopped()
{
    try {
        d->Engine.ClearTasks();
    } catch (const std::exception&) {
    }
    RemoveIncompleteOutputs();
    for (TConversionRow& row : d->Rows)
        if (!d->Join)
            row.Third = FailedText;
    d->TotalFiles = d->Join ? (d->Rows.empty() ? 0 : 1) : int(d->Rows.size());
    if (OnRowsBuilt)
        OnRowsBuilt();
    ResetCounters(d->Rows.empty() ? d->Prep->Reasons() : QStringList(), {});
    d->Running = false;
    const std::shared_ptr<TRunShared> shared = d->Shared;
    PostToMainThread([shared] {
        if (shared->Owner && shared->Owner->OnRunEnded)
            shared->Owner->OnRunEnded();
    });
}

// The run is going away while its preparation works: wait for the input in hand, then drop
// what was built. Events are served meanwhile, as a probe may hand a log line over.
void TConversionRun::AbandonPreparation()
{
    d->Prep->Cancel();
    const std::shared_ptr<std::atomic<bool>> done = d->PrepDone;
    if (d->Worker.joinable()) {
        WaitServicingEvents([done] { return done->load(); });
        d->Worker.join();
    }
    d->Building = false;
    d->Outputs = d->Prep->Outputs();
    try {
        d->Engine.ClearTasks();
    } catch (const std::exception&) {
    }
    RemoveIncompleteOutputs();
}

// A task's output stays when the task finished; with the final report lost (the events
// taken away), the task itself tells, as long as the engine still holds it.
void TConversionRun::RemoveIncompleteOutputs()
{
    std::vector<char> finished;
    {
        std::lock_guard lock(d->Shared->Lock);
        finished = d->Shared->Finished;
    }
    TFFmpegEngine& engine = d->Engine;
    RemoveRunOutputs(d->Outputs, [&](int task) {
        if (size_t(task) < finished.size() && finished[size_t(task)])
            return true;
        const TFFmpeg* held = engine.Task(task);
        return held && held->Finished() && !held->ExceptionRaised();
    });
    d->Outputs.clear();
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
        d->Shared->Finished.assign(durations.size(), 0);
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
                if (size_t(info.TaskIndex) < shared->Finished.size())
                    shared->Finished[size_t(info.TaskIndex)] = 1;
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
    // The engine has let go of every task: their files are closed.
    RemoveIncompleteOutputs();
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
    if (d->Building) {
        d->StopAsked = true;
        d->Prep->Cancel();
    } else if (d->Running) {
        d->Engine.StopTasks(false);
    }
}

void TConversionRun::Log(const QString& line)
{
    if (OnLog)
        OnLog(line);
}

bool TConversionRun::Running() const
{
    return d->Running || d->Building;
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
