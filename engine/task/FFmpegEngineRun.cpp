// The run: starting tasks in the foreground or on worker threads, the task runner, stopping,
// and the delivery of the four events.
#include "FFmpegEngine.h"

#include "FFmpegLogger.h"
#include "FFmpegTask.h"
#include "MainThread.h"

#include <algorithm>
#include <chrono>

void TCustomFFmpegEngine::StartTask(int threadCount)
{
    {
        std::lock_guard lock(FTerminateLock);
        Refuse("StartTask");
        FFinishedCount = 0;
        FNextIndex = 0;
        FStillToStart = TaskCount();
        FAllFinished = false;
        FFinalPending = false;
        FBackground = threadCount > 0;
        FWorking = true;
        if (FStillToStart == 0) {
            // Nothing to run: the run is complete at once.
            FinalReport();
            return;
        }
        if (FBackground.load()) {
            for (int i = 0; i < threadCount && FStillToStart > 0; ++i) StartOne();
            return;
        }
        FForegroundThread = std::this_thread::get_id();
    }
    // Foreground: each task runs to its end here before the next one starts. The terminate lock
    // is not held meanwhile, so StopTasks reaches the tasks from a handler or another thread.
    for (;;) {
        TFFmpeg* task = nullptr;
        {
            std::lock_guard lock(FTerminateLock);
            if (FStillToStart <= 0) break;
            task = StartOne();
        }
        if (task) RunTask(task);
    }
    // Tasks cancelled by StopTasks terminate on threads of their own; all are done on return.
    std::vector<TFFmpeg*> tasks;
    {
        std::lock_guard lock(FListLock);
        for (const auto& t : FTasks) tasks.push_back(t.get());
    }
    for (TFFmpeg* task : tasks) task->WaitIdle();
    bool final = false;
    {
        std::lock_guard lock(FTerminateLock);
        FForegroundThread = std::thread::id();
        final = FFinalPending;
        FFinalPending = false;
    }
    // Delivered here rather than from inside the last task's run, so its handler may free
    // the tasks with ClearTasks.
    if (final) DeliverTerminate(TTerminateInfo{-1, true, false, QString()});
}

// Under the terminate lock. Answers the task the foreground caller must run, else nullptr.
TFFmpeg* TCustomFFmpegEngine::StartOne()
{
    TFFmpeg* task = Task(FNextIndex);
    --FStillToStart;
    ++FNextIndex;
    if (!task || task->FState.load() != TFFmpeg::tsCreated) return nullptr; // running or terminated
    task->ProgressInterval = std::int64_t(FProgressInterval.load()) * 1000;
    {
        std::lock_guard lock(FEventsLock);
        // Without a handler the pipeline logs its report line instead.
        if (OnProgress)
            task->OnProgressReport = [this, task](const TProgressInfo& info) { DoProgress(task, info); };
        else
            task->OnProgressReport = nullptr;
    }

    QString refusal;
    if (task->OutputFileCount() <= 0)
        refusal = QStringLiteral("At least one output file must be specified");
    else if (task->InputFileCount() <= 0)
        refusal = QStringLiteral("At least one input file must be specified");
    if (!refusal.isEmpty()) {
        // Queued, never a wait for the main thread: the terminate lock is held here.
        FFLogger()->Log(task, llQuiet, refusal);
        task->SetException(refusal);
        TerminateTask(task);
        return nullptr;
    }

    task->FState = TFFmpeg::tsRunning;
    task->FWorkerDone = false;
    if (!FBackground.load()) {
        task->FWorkerID = std::this_thread::get_id();
        return task;
    }
    task->SetThread(std::make_unique<TConvertThread>(
        [this, task] {
            task->FWorkerID = std::this_thread::get_id();
            RunTask(task);
        },
        FThreadPriority.load()));
    return nullptr;
}

void TCustomFFmpegEngine::RunTask(TFFmpeg* task)
{
    auto guarded = [this, task](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            const QString message = QString::fromUtf8(e.what());
            FFLogger()->Log(task, llQuiet, message);
            task->SetException(message);
        } catch (...) {
            FFLogger()->Log(task, llQuiet, QStringLiteral("Unknown error"));
            task->SetException(QStringLiteral("Unknown error"));
        }
    };
    // The inputs belong to the worker from here on.
    guarded([task] { task->DetachProbes(); });
    guarded([task] { task->Run(); });
    guarded([task] { task->CloseAll(); });
    guarded([task] { task->OnHookFrame = nullptr; });
    TerminateTask(task);
    task->FWorkerDone = true;
}

void TCustomFFmpegEngine::TerminateTask(TFFmpeg* task)
{
    task->FState = TFFmpeg::tsTerminated;
    DoTerminate(task);
}

void TCustomFFmpegEngine::DoTerminate(TFFmpeg* task)
{
    std::lock_guard lock(FTerminateLock);
    bool assigned;
    {
        std::lock_guard events(FEventsLock);
        assigned = bool(OnTerminate);
    }
    if (assigned) {
        FTerminateInfo.TaskIndex = IndexOf(task);
        FTerminateInfo.Finished = task->Finished() && !task->ExceptionRaised();
        FTerminateInfo.Exception = task->ExceptionRaised();
        FTerminateInfo.ExceptionMsg = task->ExceptionMessage();
        DeliverTerminate(FTerminateInfo);
    }
    ++FFinishedCount;
    if (FStillToStart <= 0) {
        if (FFinishedCount >= TaskCount() && !FAllFinished.load()) FinalReport();
    } else if (FBackground.load()) {
        StartOne();
    }
}

// Under the terminate lock: the run is complete.
void TCustomFFmpegEngine::FinalReport()
{
    // Set before the report, so its handler may call ClearTasks.
    FAllFinished = true;
    if (FForegroundThread == std::this_thread::get_id()) {
        FFinalPending = true;
        return;
    }
    DeliverTerminate(TTerminateInfo{-1, true, false, QString()});
}

void TCustomFFmpegEngine::DeliverTerminate(const TTerminateInfo& info)
{
    TTerminateEvent handler;
    {
        std::lock_guard lock(FEventsLock);
        handler = OnTerminate;
    }
    if (!handler) return;
    auto call = [this, handler](const TTerminateInfo& copy) {
        try {
            handler(this, copy);
        } catch (const std::exception& e) {
            FFLogger()->Log(this, llError, QStringLiteral("Error occurs OnTerminate: ") + QString::fromUtf8(e.what()));
        } catch (...) {
            FFLogger()->Log(this, llError, QStringLiteral("Error occurs OnTerminate"));
        }
    };
    if (!FBackground.load()) {
        call(info);
        return;
    }
    ReapEventThreads(false);
    std::lock_guard lock(FEventThreadsLock);
    // The final report waits for the task reports already on their way, so it comes last.
    std::vector<std::shared_ptr<std::atomic<bool>>> earlier;
    std::erase_if(FEventsDelivered, [](const auto& flag) { return flag->load(); });
    if (info.TaskIndex < 0) earlier.swap(FEventsDelivered);
    auto delivered = std::make_shared<std::atomic<bool>>(false);
    if (info.TaskIndex >= 0) FEventsDelivered.push_back(delivered);
    FEventThreads.push_back(std::make_unique<TTerminateEventThread>([call, info, earlier, delivered] {
        for (const auto& flag : earlier)
            while (!flag->load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        call(info);
        *delivered = true;
    }));
}

void TCustomFFmpegEngine::ReapEventThreads(bool all)
{
    if (all) {
        // Handlers may hand work to the main thread while we wait here.
        WaitServicingEvents(
            [this] {
                std::lock_guard lock(FEventThreadsLock);
                for (const auto& t : FEventThreads)
                    if (!t->Done() && !t->IsCurrentThread()) return false;
                return true;
            },
            -1, 5);
    }
    std::list<std::unique_ptr<TTerminateEventThread>> done;
    {
        std::lock_guard lock(FEventThreadsLock);
        for (auto it = FEventThreads.begin(); it != FEventThreads.end();) {
            if ((*it)->Done() && !(*it)->IsCurrentThread()) {
                done.push_back(std::move(*it));
                it = FEventThreads.erase(it);
            } else {
                ++it;
            }
        }
    }
    done.clear(); // joins outside the lock
}

void TCustomFFmpegEngine::StopTasks(bool wait)
{
    std::vector<TFFmpeg*> waitFor;
    {
        std::lock_guard lock(FTerminateLock);
        if (!FWorking.load()) return; // nothing started, nothing to cancel
        FStillToStart = 0;
        std::lock_guard list(FListLock);
        for (const auto& owned : FTasks) {
            TFFmpeg* task = owned.get();
            switch (task->FState.load()) {
            case TFFmpeg::tsRunning:
                task->RequestStop();
                waitFor.push_back(task);
                break;
            case TFFmpeg::tsCreated:
                task->FState = TFFmpeg::tsCancelling;
                task->FTerminatorDone = false;
                task->SetTerminator(std::make_unique<TDoTerminateThread>([this, task] {
                    TerminateTask(task);
                    task->FTerminatorDone = true;
                }));
                waitFor.push_back(task);
                break;
            default: break;
            }
        }
        if (wait) ++FStopWaiters;
    }
    if (!wait) return;
    for (TFFmpeg* task : waitFor) task->WaitIdle();
    std::vector<std::unique_ptr<TFFmpeg>> cleared;
    {
        std::lock_guard lock(FTerminateLock);
        if (--FStopWaiters == 0) cleared.swap(FDeferredFree);
    }
    for (auto& task : cleared) FreeTask(std::move(task));
}

template <typename Fn>
void TCustomFFmpegEngine::CallHandler(bool mainThread, const char* eventName, Fn&& call)
{
    try {
        if (mainThread)
            SyncToMainThread(call);
        else
            call();
    } catch (const std::exception& e) {
        FFLogger()->Log(this, llError,
                        QStringLiteral("Error occurs %1: %2").arg(QLatin1String(eventName), QString::fromUtf8(e.what())));
    } catch (...) {
        FFLogger()->Log(this, llError, QStringLiteral("Error occurs %1").arg(QLatin1String(eventName)));
    }
}

namespace {

// Tasks whose worker waits for the handler this thread is running. A StopTasks with wait from
// inside such a handler cannot wait for those workers: they wait for it.
thread_local std::vector<const TFFmpeg*> tServing;

struct TServing {
    explicit TServing(const TFFmpeg* task) { tServing.push_back(task); }
    ~TServing() { tServing.pop_back(); }
};

// Takes an event lock, giving up when the task is asked to stop meanwhile: a stopped task
// drops its pending report rather than queue behind a handler that may be waiting for it.
bool LockUnlessStopped(std::recursive_mutex& lock, const TFFmpeg* task)
{
    while (!lock.try_lock()) {
        if (task->StopRequested()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

bool TFFmpeg::ServedByCurrentThread() const
{
    return std::find(tServing.begin(), tServing.end(), this) != tServing.end();
}

void TCustomFFmpegEngine::DoProgress(TFFmpeg* task, const TProgressInfo& info)
{
    TProgressEvent handler;
    {
        std::lock_guard lock(FEventsLock);
        handler = OnProgress;
    }
    if (!handler || !LockUnlessStopped(FProgressLock, task)) return;
    std::lock_guard lock(FProgressLock, std::adopt_lock);
    FProgressInfo = info;
    FProgressInfo.TaskIndex = IndexOf(task);
    CallHandler(FTriggerEventInMainThread.load(), "OnProgress", [&] {
        TServing serving(task);
        handler(this, &FProgressInfo);
    });
}

void TCustomFFmpegEngine::DoPreviewBitmap(TFFmpeg* task, TPreviewInfo& info)
{
    int flags;
    {
        std::lock_guard lock(PreviewFlagsLock());
        flags = task->PreviewFlags.load();
    }
    if (flags & pfPreviewBitmap) {
        TPreviewBitmapEvent handler;
        {
            std::lock_guard lock(FEventsLock);
            handler = OnPreviewBitmap;
        }
        if (handler && LockUnlessStopped(FPreviewLock, task)) {
            std::lock_guard lock(FPreviewLock, std::adopt_lock);
            FPreviewInfo = info;
            FPreviewInfo.TaskIndex = IndexOf(task);
            CallHandler(FTriggerEventInMainThread.load(), "OnPreviewBitmap", [&] {
                TServing serving(task);
                handler(this, FPreviewInfo);
            });
        }
    }
    if ((flags & pfPreview) && info.Bitmap) ShowPreviewFrame(task, info);
}

void TCustomFFmpegEngine::DoCustomHook(TFFmpeg* task, THookInfo& info)
{
    TCustomHookEvent handler;
    {
        std::lock_guard lock(FEventsLock);
        handler = OnCustomHook;
    }
    if (!handler) {
        info.Update = false; // nothing changed the picture
        return;
    }
    std::lock_guard lock(FHookLock);
    FHookInfo = info;
    FHookInfo.TaskIndex = IndexOf(task);
    try {
        handler(this, &FHookInfo);
    } catch (const std::exception&) {
        throw; // the pipeline logs it and leaves the frame alone
    } catch (...) {
        throw FFmpegException(QStringLiteral("Unknown error"));
    }
    info.Update = FHookInfo.Update;
    info.StopHook = FHookInfo.StopHook;
}

void TCustomFFmpegEngine::SetPreviewSink(TPreviewSink* sink)
{
    if (TPreviewSink* old = FPreviewSink.exchange(sink)) old->OnPreviewClosed = nullptr;
    if (sink) sink->OnPreviewClosed = [this](const void* task) { PreviewWindowClosed(task); };
}

void TCustomFFmpegEngine::ShowPreviewFrame(TFFmpeg* task, const TPreviewInfo& info)
{
    TPreviewSink* sink = FPreviewSink.load();
    if (!sink) return;
    CallHandler(true, "Preview", [&] {
        TServing serving(task);
        // The window may have been closed, or Preview switched off, since the frame was offered.
        {
            std::lock_guard lock(PreviewFlagsLock());
            if (!(task->PreviewFlags.load() & pfPreview)) return;
        }
        if (TPreviewSink* s = FPreviewSink.load()) s->ShowPreview(task, *info.Bitmap, info.PTS);
    });
}

void TCustomFFmpegEngine::PreviewWindowClosed(const void* closed)
{
    std::lock_guard flags(PreviewFlagsLock());
    std::lock_guard lock(FListLock);
    for (const auto& task : FTasks)
        if (task.get() == closed) task->PreviewFlags &= ~pfPreview;
}

void TCustomFFmpegEngine::ClosePreviewWindow(const void* task)
{
    if (!FPreviewSink.load()) return;
    CallHandler(true, "Preview", [&] {
        if (TPreviewSink* s = FPreviewSink.load()) s->ClosePreview(task);
    });
}
