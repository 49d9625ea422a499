#pragma once
// Worker-thread component: one fresh worker per Execute, user-visible callbacks handed to the
// main thread with the blocking hand-over of MainThread.h.
//
// A running thread cannot be killed safely, so a "hard" stop abandons the worker instead: its
// Terminated flag is set, its pending and future main-thread calls are skipped and its
// completion never runs; the thread ends on its own while a fresh worker takes its place.
// The component waits for abandoned threads when it is destroyed.
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Opaque value handed from Execute to the work and to the completion.
using TThreadArgument = std::shared_ptr<void>;

using TThreadExecuteEvent = std::function<void(QObject* Sender)>;
using TThreadExceptionEvent = std::function<void(QObject* Sender)>;
using TThreadTerminateEvent = std::function<void(QObject* Sender, const TThreadArgument& Argument)>;
using TWaitTimeoutEvent = std::function<void(QObject* Sender, bool& TerminateThread)>;

// Platform priorities of the seven levels, and back (unknown values read as tpNormal).
int ThreadPriorityToPlatform(TThreadPriority Priority);
TThreadPriority PlatformToThreadPriority(int Value);

class TEventWinThread;
struct TWinThreadShared;

class TCustomWinThread {
public:
    // Owner is passed as Sender to every callback.
    explicit TCustomWinThread(QObject* Owner = nullptr);
    virtual ~TCustomWinThread();
    TCustomWinThread(const TCustomWinThread&) = delete;
    TCustomWinThread& operator=(const TCustomWinThread&) = delete;

    // Starts the work on a fresh thread. With WaitThread on, waits (servicing events) until it
    // ends; returns false only when a wait cycle timed out and the wait-timeout callback left
    // TerminateThread true (the worker is then stopped hard).
    bool Execute();
    bool Execute(TThreadArgument Argument);

    // Soft: sets Terminated for the work to poll. Hard: abandons the worker at once and puts a
    // fresh suspended one in its place.
    void Terminate(bool Hard);

    // Runs Method on the main thread and waits for it. Skipped (returns false) while the owner
    // is being destroyed or when the calling worker has been stopped hard. An exception thrown
    // by Method is dropped when HandleExceptions is on, otherwise rethrown here.
    bool Synchronize(const std::function<void()>& Method);

    // Called from the work, these report on the calling worker; elsewhere on the current one.
    bool Executing() const;
    bool Terminated() const;
    bool Suspended() const;
    void SetSuspended(bool Value);   // false starts a created worker without Execute

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority Value);

    bool HandleExceptions() const;
    void SetHandleExceptions(bool Value);
    bool WaitThread = false;
    int WaitTimeout = 0;             // ms per wait cycle, 0 = no limit
    TWaitTimeoutEvent OnWaitTimeout;

    TThreadExecuteEvent OnExecute() const;
    void SetOnExecute(TThreadExecuteEvent Value);
    TThreadExceptionEvent OnException() const;
    void SetOnException(TThreadExceptionEvent Value);
    TThreadTerminateEvent OnTerminate() const;
    void SetOnTerminate(TThreadTerminateEvent Value);

    // The owner calls this first thing in its destructor: from then on no callback runs.
    void BeginDestroy();
    bool Destroying() const;

    QObject* Owner() const { return owner_; }
    // Id of the current worker's thread (0 before it started), for diagnostics.
    quintptr WorkerThreadId() const;
    // The argument of the calling worker (from the work), else of the current worker.
    TThreadArgument Argument() const;

    // For work that must not touch its component once that may be gone: these act on the
    // worker of the calling thread only (false / empty elsewhere).
    static bool CallingWorkerTerminated();
    static bool SynchronizeCalling(const std::function<void()>& Method);
    static TThreadArgument CallingArgument();

private:
    std::shared_ptr<TEventWinThread> Current() const;
    std::shared_ptr<TEventWinThread> Calling() const;   // worker of the calling thread or current
    void ReplaceWorker(TThreadArgument Argument);
    void ReapFinished();

    QObject* owner_;
    std::shared_ptr<TWinThreadShared> shared_;
    mutable std::mutex mutex_;
    std::shared_ptr<TEventWinThread> current_;
    std::vector<std::shared_ptr<TEventWinThread>> abandoned_;
    bool suspended_ = true;
};
