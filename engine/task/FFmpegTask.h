#pragma once
// One task of the engine component (TFFmpeg): the transcoder plus what the component keeps per
// task — the probes attached to its opened inputs, private copies of the option records it was
// given, and its run state (running, terminated, exception) with the threads working for it.
#include "AVProbe.h"
#include "ConvertThread.h"
#include "FFmpegPipeline.h"
#include "FFmpegRecords.h"

#include <QString>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class TCustomFFmpegEngine;

class TFFmpeg : public TFFmpegTranscoder {
public:
    explicit TFFmpeg(TCustomFFmpegEngine* engine);
    // A task still running is stopped and its worker waited for (serving the main thread's
    // events meanwhile, so a worker in a hand-over is released).
    ~TFFmpeg() override;

    // The probe of an opened input, created on first request; nullptr for an index out of range.
    // While the task runs its inputs belong to the worker, so the probes are detached then.
    TAVProbe* InputProbe(int index);
    // The option records given for an input or output; nullptr when none was given.
    const TInputOptions* InputOptions(int index) const;
    const TOutputOptions* OutputOptions(int index) const;

    bool Running() const { return FState.load() == tsRunning; }
    bool TaskTerminated() const { return FState.load() == tsTerminated; }
    bool ExceptionRaised() const { return FException.load(); }
    QString ExceptionMessage() const;

private:
    friend class TCustomFFmpegEngine;

    enum TTaskState { tsCreated, tsRunning, tsCancelling, tsTerminated };

    void SetException(const QString& message);
    void AttachProbe(int index);
    void DetachProbes();
    // The option state as a whole, so an add call that fails half-way leaves no trace.
    TFFmpegOptions SaveOptions() const { return FOptions; }
    void RestoreOptions(const TFFmpegOptions& saved) { FOptions = saved; }
    // Waits (serving the main thread's events) until no thread of ours works for the task.
    void WaitIdle();
    // True while this thread runs an event handler the task's worker waits for.
    bool ServedByCurrentThread() const;

    TCustomFFmpegEngine* FEngine;
    std::array<std::unique_ptr<TAVProbe>, MAX_FILES> FProbes;
    std::array<std::optional<TInputOptions>, MAX_FILES> FInputOptions;
    std::array<std::optional<TOutputOptions>, MAX_FILES> FOutputOptions;

    std::atomic<int> FState{tsCreated};
    std::atomic<bool> FException{false};
    mutable std::mutex FExceptionLock;
    QString FExceptionMsg;

    void SetThread(std::unique_ptr<TConvertThread> thread);
    void SetTerminator(std::unique_ptr<TDoTerminateThread> thread);
    void JoinThreads();

    std::mutex FThreadLock; // the thread references are set and joined from different threads
    std::unique_ptr<TConvertThread> FThread;
    std::unique_ptr<TDoTerminateThread> FTerminator;
    std::atomic<bool> FWorkerDone{true};
    std::atomic<bool> FTerminatorDone{true};
    std::atomic<std::thread::id> FWorkerID{};
};
