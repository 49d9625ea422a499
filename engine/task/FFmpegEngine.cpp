#include "FFmpegEngine.h"

#include "FFmpegLoader.h"
#include "FFmpegLogger.h"
#include "FFmpegTask.h"
#include "MainThread.h"

std::recursive_mutex& PreviewFlagsLock()
{
    static std::recursive_mutex lock;
    return lock;
}

TCustomFFmpegEngine::TCustomFFmpegEngine(QObject* owner)
    : TFFBaseComponent(owner), FProbe(std::make_unique<TAVProbe>())
{
}

TCustomFFmpegEngine::~TCustomFFmpegEngine()
{
    ShutDown();
}

void TCustomFFmpegEngine::ShutDown()
{
    StopTasks(true);
    ReapEventThreads(true);
    std::vector<std::unique_ptr<TFFmpeg>> tasks;
    {
        std::lock_guard lock(FListLock);
        tasks.swap(FTasks);
    }
    {
        std::lock_guard lock(FTerminateLock);
        for (auto& task : FDeferredFree) tasks.push_back(std::move(task));
        FDeferredFree.clear();
    }
    for (auto& task : tasks) FreeTask(std::move(task));
    ReapEventThreads(true);
    if (TPreviewSink* sink = FPreviewSink.load()) sink->OnPreviewClosed = nullptr;
}

bool TCustomFFmpegEngine::LoadLibraries(const QString& folder)
{
    FFLoader().SetLibraryFolder(folder);
    const bool ok = FFLoader().LoadLibraries(EngineLibrarySet);
    std::lock_guard lock(FErrorLock);
    FLastError = ok ? QString() : FFLoader().LastError();
    return ok;
}

bool TCustomFFmpegEngine::LibrariesLoaded() const
{
    return FFLoader().AllLoaded(EngineLibrarySet);
}

QString TCustomFFmpegEngine::LastError() const
{
    std::lock_guard lock(FErrorLock);
    return FLastError;
}

namespace {
void SetError(std::mutex& lock, QString& target, const QString& text)
{
    std::lock_guard guard(lock);
    target = text;
}
} // namespace

void TCustomFFmpegEngine::Refuse(const char* operation) const
{
    if (FWorking.load())
        throw FFmpegException(QStringLiteral("Cannot %1 while working.").arg(QLatin1String(operation)));
}

int TCustomFFmpegEngine::TaskCount() const
{
    std::lock_guard lock(FListLock);
    return int(FTasks.size());
}

TFFmpeg* TCustomFFmpegEngine::Task(int taskIndex) const
{
    std::lock_guard lock(FListLock);
    if (taskIndex < 0 || size_t(taskIndex) >= FTasks.size()) return nullptr;
    return FTasks[size_t(taskIndex)].get();
}

TFFmpeg* TCustomFFmpegEngine::TaskOrFail(int taskIndex) const
{
    TFFmpeg* task = Task(taskIndex);
    if (!task) throw FFmpegException(QStringLiteral("Invalid task index %1").arg(taskIndex));
    return task;
}

int TCustomFFmpegEngine::IndexOf(const TFFmpeg* task) const
{
    std::lock_guard lock(FListLock);
    for (size_t i = 0; i < FTasks.size(); ++i)
        if (FTasks[i].get() == task) return int(i);
    return -1;
}

int TCustomFFmpegEngine::AddTask(const QString& fileName, const TInputOptions* options)
{
    Refuse("AddTask");
    if (!LibrariesLoaded()) {
        SetError(FErrorLock, FLastError, QStringLiteral("The engine libraries are not loaded."));
        return -1;
    }
    try {
        auto task = std::make_unique<TFFmpeg>(this);
        {
            std::lock_guard lock(PreviewFlagsLock());
            task->PreviewFlags = (FPreview.load() ? pfPreview : 0) | (FPreviewBitmap.load() ? pfPreviewBitmap : 0);
        }
        TFFmpeg* t = task.get();
        task->OnPreviewFrame = [this, t](TPreviewInfo& info) { DoPreviewBitmap(t, info); };
        task->PreviewListeners = [this] { return PreviewListeners(); };
        if (options) ApplyInputOptions(*task, 0, fileName, *options);
        if (!task->OpenInput(fileName)) {
            SetError(FErrorLock, FLastError, task->ErrorText());
            return -1;
        }
        task->InputProbe(0);
        std::lock_guard lock(FListLock);
        FTasks.push_back(std::move(task));
        return int(FTasks.size()) - 1;
    } catch (const std::exception& e) {
        SetError(FErrorLock, FLastError, QString::fromUtf8(e.what()));
        return -1;
    }
}

bool TCustomFFmpegEngine::AddInputFile(int taskIndex, const QString& fileName, const TInputOptions* options)
{
    Refuse("AddInputFile");
    TFFmpeg* task = Task(taskIndex);
    if (!task) {
        SetError(FErrorLock, FLastError, QStringLiteral("Invalid task index %1").arg(taskIndex));
        return false;
    }
    const int n = task->InputFileCount();
    if (n >= MAX_FILES) {
        SetError(FErrorLock, FLastError, QString::asprintf("max input files %d reached", MAX_FILES));
        return false;
    }
    const TFFmpegOptions saved = task->SaveOptions();
    try {
        if (options)
            ApplyInputOptions(*task, n, fileName, *options);
        else
            task->FInputOptions[size_t(n)].reset();
        if (task->OpenInput(fileName)) {
            task->InputProbe(n);
            return true;
        }
        SetError(FErrorLock, FLastError, task->ErrorText());
    } catch (const std::exception& e) {
        SetError(FErrorLock, FLastError, QString::fromUtf8(e.what()));
    }
    task->FInputOptions[size_t(n)].reset();
    task->RestoreOptions(saved);
    return false;
}

bool TCustomFFmpegEngine::SetOutputFile(int taskIndex, const QString& fileName, const TOutputOptions* options)
{
    Refuse("SetOutputFile");
    TFFmpeg* task = Task(taskIndex);
    if (!task) {
        SetError(FErrorLock, FLastError, QStringLiteral("Invalid task index %1").arg(taskIndex));
        return false;
    }
    const int n = task->OutputFileCount();
    if (n >= MAX_FILES) {
        SetError(FErrorLock, FLastError, QString::asprintf("max output files %d reached", MAX_FILES));
        return false;
    }
    const TFFmpegOptions saved = task->SaveOptions();
    const bool hookBefore = task->CustomHook;
    try {
        if (options) ApplyOutputOptions(*task, n, fileName, *options);
        if (task->CreateOutput(fileName, options && options->Join) >= 0) {
            if (options) task->ApplyCustomNewStreams(options->ExtOptions);
            return true;
        }
        SetError(FErrorLock, FLastError, task->ErrorText());
    } catch (const std::exception& e) {
        SetError(FErrorLock, FLastError, QString::fromUtf8(e.what()));
        // A failure after the output was created ("newvideo" and the like) takes it back out.
        task->DropOutputsFrom(n);
    }
    task->FOutputOptions[size_t(n)].reset();
    task->RestoreOptions(saved);
    task->CustomHook = hookBefore;
    return false;
}

void TCustomFFmpegEngine::FreeTask(std::unique_ptr<TFFmpeg> task)
{
    if (!task) return;
    ClosePreviewWindow(task.get());
    task.reset();
}

void TCustomFFmpegEngine::RemoveTask(int taskIndex)
{
    Refuse("RemoveTask");
    std::unique_ptr<TFFmpeg> task;
    {
        std::lock_guard lock(FListLock);
        if (taskIndex < 0 || size_t(taskIndex) >= FTasks.size())
            throw FFmpegException(QStringLiteral("Invalid task index %1").arg(taskIndex));
        task = std::move(FTasks[size_t(taskIndex)]);
        FTasks.erase(FTasks.begin() + taskIndex);
    }
    FreeTask(std::move(task));
}

void TCustomFFmpegEngine::ClearTasks()
{
    std::vector<std::unique_ptr<TFFmpeg>> tasks;
    {
        std::lock_guard terminate(FTerminateLock);
        if (FWorking.load() && !FAllFinished.load())
            throw FFmpegException(QStringLiteral("Cannot ClearTasks while working."));
        // A handler running on a task's own worker cannot free that task under itself.
        {
            std::lock_guard lock(FListLock);
            for (const auto& task : FTasks)
                if (task->FWorkerID.load() == std::this_thread::get_id() && !task->FWorkerDone.load())
                    throw FFmpegException(QStringLiteral("Cannot ClearTasks while working."));
            tasks.swap(FTasks);
        }
        SetError(FErrorLock, FLastError, QString());
        FFinishedCount = 0;
        FNextIndex = -1;
        FStillToStart = 0;
        FFinalPending = false;
        FAllFinished = false;
        FBackground = false;
        FWorking = false;
        // A StopTasks still waiting holds pointers to these tasks: the last waiter frees them.
        if (FStopWaiters > 0) {
            for (auto& task : tasks) FDeferredFree.push_back(std::move(task));
            return;
        }
    }
    for (auto& task : tasks) FreeTask(std::move(task));
}

void TCustomFFmpegEngine::SetProgressInterval(int milliseconds)
{
    FProgressInterval = milliseconds <= 100 ? 100 : milliseconds;
}

void TCustomFFmpegEngine::SetPreview(bool value)
{
    std::vector<const void*> closed;
    {
        std::lock_guard flags(PreviewFlagsLock());
        std::lock_guard lock(FListLock);
        FPreview = value;
        for (const auto& task : FTasks) {
            if (value) {
                task->PreviewFlags |= pfPreview;
            } else {
                task->PreviewFlags &= ~pfPreview;
                closed.push_back(task.get());
            }
        }
    }
    for (const void* task : closed) ClosePreviewWindow(task);
}

int TCustomFFmpegEngine::PreviewListeners()
{
    int listeners = FPreviewSink.load() ? pfPreview : 0;
    std::lock_guard lock(FEventsLock);
    if (OnPreviewBitmap) listeners |= pfPreviewBitmap;
    return listeners;
}

void TCustomFFmpegEngine::SetPreviewBitmap(bool value)
{
    std::lock_guard flags(PreviewFlagsLock());
    std::lock_guard lock(FListLock);
    FPreviewBitmap = value;
    for (const auto& task : FTasks) {
        if (value)
            task->PreviewFlags |= pfPreviewBitmap;
        else
            task->PreviewFlags &= ~pfPreviewBitmap;
    }
}

void TCustomFFmpegEngine::DetachEvents()
{
    std::lock_guard lock(FEventsLock);
    OnProgress = nullptr;
    OnTerminate = nullptr;
    OnPreviewBitmap = nullptr;
    OnCustomHook = nullptr;
}
