#include "WinThread.h"

#include "MainThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QtGlobal>

#include <atomic>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

struct TWinThreadShared {
    std::atomic<bool> destroying{false};
    std::atomic<bool> handleExceptions{true};
    QObject* sender = nullptr;
};

class TEventWinThread {
public:
    std::shared_ptr<TWinThreadShared> shared;
    std::thread thread;
    std::atomic<quintptr> threadId{0};
    std::atomic<long> nativeId{0};
    std::atomic<bool> terminated{false};
    std::atomic<bool> suspended{true};
    std::atomic<bool> executing{false};
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> abandoned{false};   // stopped hard: no further callbacks
    std::atomic<bool> inMainCall{false};  // the main thread is running a call for it
    std::atomic<int> priority{0};         // platform value
    TThreadArgument argument;

    mutable std::mutex callbackMutex;
    TThreadExecuteEvent onExecute;
    TThreadExceptionEvent onException;
    TThreadTerminateEvent onTerminate;

    template <typename F> F Get(const F& field) const
    {
        std::lock_guard lock(callbackMutex);
        return field;
    }
};

namespace {

thread_local TEventWinThread* tlsWorker = nullptr;

constexpr int kPlatformPriority[] = {-15, -2, -1, 0, 1, 2, 15};
// Nice values used for the levels; raising above normal needs privileges and may fail.
constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};

void ApplyPriority(TEventWinThread& w)
{
#ifdef Q_OS_LINUX
    const long tid = w.nativeId.load();
    if (tid == 0)
        return;
    const TThreadPriority level = PlatformToThreadPriority(w.priority.load());
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNice[level]);
#else
    Q_UNUSED(w);
#endif
}

// The hand-over of one worker: skipped once the owner is going away or the worker was
// abandoned, checked again on the main thread where those flags are set.
bool SyncFor(TEventWinThread& w, const std::function<void()>& method)
{
    if (w.shared->destroying || w.abandoned)
        return false;
    bool ran = false;
    std::exception_ptr captured;
    SyncToMainThread([&] {
        if (w.shared->destroying || w.abandoned)
            return;
        ran = true;
        w.inMainCall = true;
        try {
            method();
        } catch (...) {
            captured = std::current_exception();
        }
        w.inMainCall = false;
    });
    if (captured && !w.shared->handleExceptions)
        std::rethrow_exception(captured);
    return ran;
}

void ThreadRoutine(std::shared_ptr<TEventWinThread> w)
{
    tlsWorker = w.get();
    w->threadId = reinterpret_cast<quintptr>(QThread::currentThreadId());
#ifdef Q_OS_LINUX
    w->nativeId = static_cast<long>(syscall(SYS_gettid));
#endif
    ApplyPriority(*w);

    QObject* sender = w->shared->sender;
    if (!w->terminated) {
        const auto onException = w->Get(w->onException);
        const auto onExecute = w->Get(w->onExecute);
        if (onExecute && !w->shared->destroying) {
            try {
                onExecute(sender);
            } catch (...) {
                // Without HandleExceptions the error is still stopped here: an exception
                // leaving a thread would end the process.
                if (w->shared->handleExceptions && onException && !w->shared->destroying) {
                    try {
                        SyncFor(*w, [&] { onException(sender); });
                    } catch (...) {
                    }
                }
            }
        }
        const auto onTerminate = w->Get(w->onTerminate);
        if (onTerminate) {
            try {
                SyncFor(*w, [&] {
                    try {
                        onTerminate(sender, w->argument);
                    } catch (...) {
                        if (!w->shared->handleExceptions || !onException)
                            throw;
                        try {
                            onException(sender);
                        } catch (...) {
                        }
                    }
                });
            } catch (...) {
            }
        }
    }
    w->executing = false;
    tlsWorker = nullptr;
    w->finished = true;
}

void Start(const std::shared_ptr<TEventWinThread>& w)
{
    if (w->started)
        return;
    w->started = true;
    w->suspended = false;
    w->executing = true;
    w->thread = std::thread(ThreadRoutine, w);
}

// Counts every event the application delivers: a wait cycle restarts when events arrive.
class TEventCounter : public QObject {
public:
    quint64 count = 0;
    bool eventFilter(QObject*, QEvent*) override
    {
        ++count;
        return false;
    }
};

} // namespace

int ThreadPriorityToPlatform(TThreadPriority Priority)
{
    return kPlatformPriority[Priority];
}

TThreadPriority PlatformToThreadPriority(int Value)
{
    for (int i = tpIdle; i <= tpTimeCritical; ++i)
        if (kPlatformPriority[i] == Value)
            return static_cast<TThreadPriority>(i);
    return tpNormal;
}

TCustomWinThread::TCustomWinThread(QObject* Owner)
    : owner_(Owner), shared_(std::make_shared<TWinThreadShared>())
{
    shared_->sender = Owner;
    ReplaceWorker({});
}

TCustomWinThread::~TCustomWinThread()
{
    BeginDestroy();
    std::vector<std::shared_ptr<TEventWinThread>> all;
    {
        std::lock_guard lock(mutex_);
        all = abandoned_;
        if (current_)
            all.push_back(current_);
        abandoned_.clear();
        current_.reset();
    }
    for (auto& w : all) {
        w->terminated = true;
        if (w->started && !w->finished)
            w->abandoned = true;
    }
    // A worker whose hand-over the main thread is running right now (the component deleted
    // from inside its own callback) can only end after we return: leave it to finish alone.
    WaitServicingEvents(
        [&] {
            for (auto& w : all)
                if (w->started && !w->finished && !(w->inMainCall && IsMainThread()))
                    return false;
            return true;
        },
        10000);
    for (auto& w : all) {
        if (!w->thread.joinable())
            continue;
        if (w->finished) {
            w->thread.join();
        } else {
            if (!w->inMainCall)
                qWarning("Worker thread did not stop in time; leaving it to end on its own");
            w->thread.detach();
        }
    }
}

void TCustomWinThread::BeginDestroy()
{
    shared_->destroying = true;
}

bool TCustomWinThread::Destroying() const
{
    return shared_->destroying;
}

std::shared_ptr<TEventWinThread> TCustomWinThread::Current() const
{
    std::lock_guard lock(mutex_);
    return current_;
}

std::shared_ptr<TEventWinThread> TCustomWinThread::Calling() const
{
    std::lock_guard lock(mutex_);
    if (tlsWorker != nullptr) {
        if (current_.get() == tlsWorker)
            return current_;
        for (auto& w : abandoned_)
            if (w.get() == tlsWorker)
                return w;
    }
    return current_;
}

void TCustomWinThread::ReapFinished()
{
    for (auto it = abandoned_.begin(); it != abandoned_.end();) {
        if ((*it)->finished) {
            if ((*it)->thread.joinable())
                (*it)->thread.join();
            it = abandoned_.erase(it);
        } else {
            ++it;
        }
    }
}

void TCustomWinThread::ReplaceWorker(TThreadArgument Argument)
{
    auto fresh = std::make_shared<TEventWinThread>();
    fresh->shared = shared_;
    std::shared_ptr<TEventWinThread> old;
    {
        std::lock_guard lock(mutex_);
        ReapFinished();
        old = current_;
        if (old) {
            std::lock_guard cb(old->callbackMutex);
            fresh->onExecute = old->onExecute;
            fresh->onException = old->onException;
            fresh->onTerminate = old->onTerminate;
            fresh->priority = old->priority.load();
        }
        fresh->argument = std::move(Argument);
        current_ = fresh;
        if (old && old->started && !old->finished) {
            old->terminated = true;
            old->abandoned = true;
            abandoned_.push_back(old);
            old.reset();
        }
    }
    if (old && old->thread.joinable())
        old->thread.join();   // had already finished
}

bool TCustomWinThread::Execute()
{
    return Execute({});
}

bool TCustomWinThread::Execute(TThreadArgument Argument)
{
    ReplaceWorker(std::move(Argument));
    auto w = Current();
    Start(w);
    if (!WaitThread)
        return true;

    const bool onMain = IsMainThread() && QCoreApplication::instance() != nullptr;
    TEventCounter counter;
    if (onMain)
        QCoreApplication::instance()->installEventFilter(&counter);
    quint64 seen = counter.count;
    QDeadlineTimer deadline(WaitTimeout > 0 ? QDeadlineTimer(WaitTimeout) : QDeadlineTimer(QDeadlineTimer::Forever));
    bool timedOut = false;
    WaitServicingEvents([&] {
        if (w->finished || shared_->destroying || QCoreApplication::closingDown())
            return true;
        if (counter.count != seen) {
            seen = counter.count;
            if (WaitTimeout > 0)
                deadline.setRemainingTime(WaitTimeout);
        }
        if (WaitTimeout > 0 && deadline.hasExpired()) {
            timedOut = true;
            return true;
        }
        return false;
    });
    if (onMain)
        QCoreApplication::instance()->removeEventFilter(&counter);
    if (!timedOut)
        return true;

    bool terminateThread = true;
    if (OnWaitTimeout)
        OnWaitTimeout(owner_, terminateThread);
    if (!terminateThread)
        return true;
    Terminate(true);
    return false;
}

void TCustomWinThread::Terminate(bool Hard)
{
    if (!Hard) {
        if (auto w = Calling())
            w->terminated = true;
        return;
    }
    ReplaceWorker({});
}

bool TCustomWinThread::Synchronize(const std::function<void()>& Method)
{
    if (tlsWorker != nullptr)
        return SyncFor(*tlsWorker, Method);
    if (shared_->destroying)
        return false;
    if (IsMainThread()) {
        try {
            Method();
        } catch (...) {
            if (!shared_->handleExceptions)
                throw;
        }
        return true;
    }
    SyncToMainThread([&] {
        if (shared_->destroying)
            return;
        try {
            Method();
        } catch (...) {
            if (!shared_->handleExceptions)
                throw;
        }
    });
    return true;
}

bool TCustomWinThread::Executing() const
{
    auto w = Calling();
    return w && w->executing;
}

bool TCustomWinThread::Terminated() const
{
    auto w = Calling();
    return w && w->terminated;
}

bool TCustomWinThread::Suspended() const
{
    auto w = Current();
    return w ? w->suspended.load() : suspended_;
}

void TCustomWinThread::SetSuspended(bool Value)
{
    suspended_ = Value;
    // A started thread cannot be paused safely; only the start of a created worker is honoured.
    if (!Value)
        if (auto w = Current())
            Start(w);
}

TThreadPriority TCustomWinThread::Priority() const
{
    auto w = Current();
    return PlatformToThreadPriority(w ? w->priority.load() : 0);
}

void TCustomWinThread::SetPriority(TThreadPriority Value)
{
    auto w = Current();
    if (!w)
        return;
    w->priority = ThreadPriorityToPlatform(Value);
    if (w->started && !w->finished)
        ApplyPriority(*w);
}

bool TCustomWinThread::HandleExceptions() const
{
    return shared_->handleExceptions;
}

void TCustomWinThread::SetHandleExceptions(bool Value)
{
    shared_->handleExceptions = Value;
}

TThreadExecuteEvent TCustomWinThread::OnExecute() const
{
    auto w = Current();
    return w ? w->Get(w->onExecute) : TThreadExecuteEvent{};
}

void TCustomWinThread::SetOnExecute(TThreadExecuteEvent Value)
{
    auto w = Current();
    std::lock_guard lock(w->callbackMutex);
    w->onExecute = std::move(Value);
}

TThreadExceptionEvent TCustomWinThread::OnException() const
{
    auto w = Current();
    return w ? w->Get(w->onException) : TThreadExceptionEvent{};
}

void TCustomWinThread::SetOnException(TThreadExceptionEvent Value)
{
    auto w = Current();
    std::lock_guard lock(w->callbackMutex);
    w->onException = std::move(Value);
}

TThreadTerminateEvent TCustomWinThread::OnTerminate() const
{
    auto w = Current();
    return w ? w->Get(w->onTerminate) : TThreadTerminateEvent{};
}

void TCustomWinThread::SetOnTerminate(TThreadTerminateEvent Value)
{
    auto w = Current();
    std::lock_guard lock(w->callbackMutex);
    w->onTerminate = std::move(Value);
}

quintptr TCustomWinThread::WorkerThreadId() const
{
    auto w = Calling();
    return w ? w->threadId.load() : 0;
}

TThreadArgument TCustomWinThread::Argument() const
{
    auto w = Calling();
    return w ? w->argument : TThreadArgument{};
}

bool TCustomWinThread::CallingWorkerTerminated()
{
    return tlsWorker != nullptr && tlsWorker->terminated;
}

bool TCustomWinThread::SynchronizeCalling(const std::function<void()>& Method)
{
    return tlsWorker != nullptr && SyncFor(*tlsWorker, Method);
}

TThreadArgument TCustomWinThread::CallingArgument()
{
    return tlsWorker != nullptr ? tlsWorker->argument : TThreadArgument{};
}
