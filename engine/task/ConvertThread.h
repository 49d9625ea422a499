#pragma once
// The engine's threads. Each runs one job and is joined by its owner, so no thread outlives
// the task or component that started it.
//  - TConvertThread runs one task;
//  - TDoTerminateThread (task side) terminates a task that was stopped before it started;
//  - TTerminateEventThread delivers one OnTerminate of a background run (the component's own
//    termination thread).
#include <atomic>
#include <functional>
#include <thread>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TEngineThread {
public:
    TEngineThread(std::function<void()> job, TThreadPriority priority = tpNormal);
    // Joins; a thread that frees its own object is detached instead (it has nothing left to do).
    virtual ~TEngineThread();
    TEngineThread(const TEngineThread&) = delete;
    TEngineThread& operator=(const TEngineThread&) = delete;

    // True once the job has returned.
    bool Done() const { return FDone.load(); }
    bool IsCurrentThread() const { return std::this_thread::get_id() == FThread.get_id(); }
    void Join();

private:
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

class TConvertThread : public TEngineThread {
public:
    using TEngineThread::TEngineThread;
};

class TDoTerminateThread : public TEngineThread {
public:
    using TEngineThread::TEngineThread;
};

class TTerminateEventThread : public TEngineThread {
public:
    using TEngineThread::TEngineThread;
};

// Applies a priority to the calling thread; false when the system refused it (raising the
// priority needs privileges on most systems).
bool SetCurrentThreadPriority(TThreadPriority priority);
