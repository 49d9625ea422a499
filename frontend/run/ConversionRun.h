#pragma once
// One conversion run: turns the rows of the input list into tasks of the engine (one per
// file, or one task joining them all), starts them on one worker thread, follows their
// progress and terminations, and ends with the counts and the error lines. QtCore and the
// engine only: the wizard's Step3 page and the command-line converter are two displays of it.
//
// Threads: Start, Stop and the accessors belong to the main thread, and every hook is called
// on the main thread. Termination reports arrive on engine threads; the counters they share
// are guarded, and what they change on screen is handed to the main thread. With
// PrepareOnWorker the inputs are probed and opened on a worker of the run, so the window
// never waits on a slow file or a disc; rows and log lines are handed over as they come.
//
// Outputs: every task's output file is made while the run is prepared. The output of a task
// that did not finish (failed, stopped, never started, or the run destroyed under it) is
// removed; a file that was there before the run never is.
#include "InputFacts.h"
#include "PresetCatalogue.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TFFmpegEngine;
struct TProgressInfo;
struct TRunShared;
struct TTerminateInfo;

// A row of the conversion list (five columns).
struct TConversionRow {
    QString Name;        // the input's file name without folder
    QString Duration;    // FormatMicroseconds of the duration, or "Duration is not preseted"
    QString Third;       // per file: status ("Waiting...", "Converting...", "Finish.", "Failed.")
                         // join: "WxH" of the input
    QString Fourth;      // per file: progress ("", "42%", "N/A", "100%"); join: the aspect text
    QString Path;        // per file: the input's folder with its trailing separator; join: the output
    std::int64_t DurationUs = -1; // the known duration in microseconds, -1 when unknown
    QString InputFile;   // the input's full name
    QString OutputFile;  // the output's full name
};

// The status box.
struct TRunStatus {
    QString CurrentFile;       // "..." between runs
    int Percent = 0;           // 0..100, of the file that reported last
    int OverallPercent = 0;    // 0..100, of the whole run's input time
    int Running = 0;           // tasks converting at the moment
    bool HasEstimate = false;  // the three times below are defined
    QString Estimated, Elapsed, TimeLeft; // "h:nn:ss"
};

class TConversionRun {
public:
    // Takes the engine's OnProgress and OnTerminate from each start on; the engine must
    // outlive the run.
    explicit TConversionRun(TFFmpegEngine& engine);
    // Stops a running run, waits for its threads and unhooks the engine's events.
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // Hooks, each called on the main thread; empty ones are skipped.
    std::function<void(const QString& line)> OnLog;   // the run's log lines
    std::function<void()> OnRowsBuilt;               // Rows(), JoinMode(), TotalFiles() are set
    std::function<void(int row)> OnRowAdded;         // Rows()[row] was just prepared
    std::function<void(int row)> OnRowChanged;       // Rows()[row] changed
    std::function<void(const TRunStatus& status)> OnStatus;
    // The end of the run: counts and error lines are final and the engine's tasks are cleared.
    std::function<void()> OnRunEnded;
    // Between two inputs while Start builds the tasks on the caller's thread (without
    // PrepareOnWorker).
    std::function<void()> OnBetweenInputs;

    // Start returns at once and the tasks are built on a worker; set between runs.
    bool PrepareOnWorker = false;

    // Builds the tasks for `inputs` (in order) with the chosen format and preset, and starts
    // them. Returns the number of tasks started (0 with PrepareOnWorker: OnRowsBuilt tells).
    // Every start ends with OnRunEnded: when none could be built or the engine refused, at
    // once, with the reasons as error lines. A start while this run still works is its
    // duplicate and ends with it.
    // `threads`: tasks converting at the same time (the wizard converts one after another).
    int Start(const std::vector<TInputRow>& inputs, const TOutputChoice& choice, bool join, int threads = 1);
    // Asks the tasks to stop; they end as failed without an error line. While the run is
    // still being prepared, the preparation ends after the input in hand and nothing starts.
    void Stop();
    // From Start to the end of the run, preparation included.
    bool Running() const;

    bool JoinMode() const;
    int TotalFiles() const;
    int Successes() const;
    QStringList ErrorLines() const;
    const std::vector<TConversionRow>& Rows() const;
    TRunStatus Status() const;
    std::int64_t TotalDuration() const;
    std::int64_t ProcessedDuration() const;

private:
    void AttachEngine();
    bool EndStillDue() const;
    void ResetCounters(const QStringList& errorLines, std::vector<std::int64_t> durations);
    void EndAtOnce(const QString& reason);
    void RowPrepared(const TConversionRow& row);
    int FinishStart();
    void EndStopped();
    void AbandonPreparation();
    void RemoveIncompleteOutputs();
    void Progress(const TProgressInfo& info);
    static void Terminate(const std::shared_ptr<TRunShared>& shared, TFFmpegEngine& engine, const TTerminateInfo& info);
    void TaskEnded(int taskIndex, bool finished);
    std::int64_t Done(int task, std::int64_t position);
    int RunningTasks() const;
    int OverallPercent(std::int64_t done) const;
    void RunEnded();
    void Log(const QString& line);

    struct TState;
    std::unique_ptr<TState> d;
};
