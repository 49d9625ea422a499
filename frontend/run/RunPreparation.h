#pragma once
// The preparation of a conversion run: each input is probed and opened, its output named and
// created, and its engine task built. It runs on whichever thread calls Prepare (the run's
// worker in the window, the caller's thread in the command-line converter) and reaches the
// run only through its two hooks, which the run makes safe for that thread.
#include "ConversionRun.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class TFFmpegEngine;

// An output file the run made, by task index.
struct TRunOutput {
    QString FileName;
    bool Existed = false; // the name was taken before the run: never removed
};

class TRunPreparation {
public:
    // `dvdErrors` holds, per input, why a DVD title cannot be opened (empty when it can): the
    // plug-in is readied on the main thread before the preparation starts.
    TRunPreparation(TFFmpegEngine& engine, std::vector<TInputRow> inputs, QStringList dvdErrors,
                    TOutputChoice choice, bool join);

    std::function<void(const QString& line)> OnLog;
    // A row whose task is built; `duration` is what the task converts (per file only).
    std::function<void(const TConversionRow& row)> OnRow;
    // Between two inputs, on the preparing thread.
    std::function<void()> OnBetweenInputs;

    void Prepare();
    // Asks Prepare to stop before its next input; any thread.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_.load(); }

    // Valid once Prepare has returned.
    const QStringList& Reasons() const { return reasons_; }
    const std::vector<std::int64_t>& Durations() const { return durations_; }
    const std::vector<TRunOutput>& Outputs() const { return outputs_; }
    std::int64_t TotalDuration() const { return total_; }
    int RowCount() const { return rows_; }

private:
    void PrepareFiles();
    void PrepareJoin();
    void Refuse(const QString& path, const QString& line);
    void Log(const QString& line);
    void AddRow(const TConversionRow& row);
    bool SetOutput(int task, const TOutputOptions& output, QString* reason);

    TFFmpegEngine& engine_;
    const std::vector<TInputRow> inputs_;
    const QStringList dvdErrors_;
    const TOutputChoice choice_;
    const bool join_;
    std::atomic<bool> cancelled_{false};

    QStringList reasons_;
    std::vector<std::int64_t> durations_;
    std::vector<TRunOutput> outputs_;
    std::int64_t total_ = 0;
    int rows_ = 0;
};

// Removes the run's outputs of the tasks `keep` does not accept; a name taken before the run
// is never touched.
void RemoveRunOutputs(const std::vector<TRunOutput>& outputs, const std::function<bool(int task)>& keep);
