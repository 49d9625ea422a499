#pragma once
// task/ owns the conversion task component (TCustomFFmpegEngine), its tasks (TFFmpeg, a
// transcoder with its records and run state, FFmpegTask.h), the threads that run and end them
// (ConvertThread.h) and the preview sink. It is the top of the engine: it may call every other
// folder, and the application calls the engine through it (and the probe and the loader).
//
// The conversion task component. The application adds tasks (inputs plus outputs with their
// option records), starts them in the foreground or on up to ThreadCount worker threads, and
// hears of them through four events:
//  - OnProgress and OnPreviewBitmap: on the main thread when TriggerEventInMainThread is set
//    (the worker waits for the handler), else on the worker;
//  - OnCustomHook: always on the worker;
//  - OnTerminate: once per task and once more with TaskIndex -1 after the last one; in the
//    background on a short-lived thread of its own per report, in the foreground on the thread
//    that called StartTask.
// Records handed to handlers belong to the component and are valid only during the call.
#include "AVProbe.h"
#include "ConvertThread.h"
#include "FFBaseComponent.h"
#include "FFmpegRecords.h"
#include "Previewer.h"

#include <QString>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TFFmpeg;

using TProgressEvent = std::function<void(QObject* Sender, TProgressInfo* AProgressInfo)>;
using TTerminateEvent = std::function<void(QObject* Sender, TTerminateInfo ATerminateInfo)>;
using TPreviewBitmapEvent = std::function<void(QObject* Sender, const TPreviewInfo& APreviewInfo)>;
using TCustomHookEvent = std::function<void(QObject* Sender, THookInfo* AHookInfo)>;

class TCustomFFmpegEngine : public TFFBaseComponent {
public:
    explicit TCustomFFmpegEngine(QObject* owner = nullptr);
    // Stops every task and waits for it and for every event thread.
    ~TCustomFFmpegEngine() override;

    bool LoadLibraries(const QString& folder);
    bool LibrariesLoaded() const;

    // Add operations answer -1/false for bad files or options, with the reason in LastError().
    int AddTask(const QString& fileName, const TInputOptions* options = nullptr);
    bool AddInputFile(int taskIndex, const QString& fileName, const TInputOptions* options = nullptr);
    bool SetOutputFile(int taskIndex, const QString& fileName, const TOutputOptions* options = nullptr);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    // threadCount <= 0 runs every task on the calling thread before returning.
    void StartTask(int threadCount);
    void StopTasks(bool wait);

    int TaskCount() const;
    TFFmpeg* Task(int taskIndex) const;
    QString LastError() const;
    TAVProbe* AVProbe() const { return FProbe.get(); }
    // Set by StartTask, cleared by ClearTasks.
    bool Working() const { return FWorking.load(); }
    bool AllFinished() const { return FAllFinished.load(); }

    // The window that shows Preview frames; not owned, must outlive the component's tasks.
    void SetPreviewSink(TPreviewSink* sink);
    // Unassigns the four events; safe while tasks run.
    void DetachEvents();

protected:
    // Stops every task and waits for every thread of the component, then frees the tasks.
    // Destructors of derived classes call it first: the workers call the virtual Do* methods,
    // which must not run while the object is being taken apart.
    void ShutDown();

    virtual void DoCustomHook(TFFmpeg* task, THookInfo& info);
    virtual void DoPreviewBitmap(TFFmpeg* task, TPreviewInfo& info);
    virtual void DoProgress(TFFmpeg* task, const TProgressInfo& info);
    virtual void DoTerminate(TFFmpeg* task);

    QString Version() const { return QStringLiteral("3.2a"); }
    bool Preview() const { return FPreview.load(); }
    void SetPreview(bool value);
    bool PreviewBitmap() const { return FPreviewBitmap.load(); }
    void SetPreviewBitmap(bool value);
    int ProgressInterval() const { return FProgressInterval.load(); }
    void SetProgressInterval(int milliseconds);
    TThreadPriority ThreadPriority() const { return FThreadPriority.load(); }
    void SetThreadPriority(TThreadPriority value) { FThreadPriority = value; }
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread.load(); }
    void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread = value; }

    // Assign while no task runs (or clear with DetachEvents).
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TPreviewBitmapEvent OnPreviewBitmap;
    TCustomHookEvent OnCustomHook;

private:
    void Refuse(const char* operation) const;
    TFFmpeg* TaskOrFail(int taskIndex) const;
    int IndexOf(const TFFmpeg* task) const;
    void FreeTask(std::unique_ptr<TFFmpeg> task);

    // Option records onto a task's option state (FFmpegEngineOptions.cpp).
    void ApplyInputOptions(TFFmpeg& task, int index, const QString& fileName, const TInputOptions& options);
    void ApplyOutputOptions(TFFmpeg& task, int index, const QString& fileName, const TOutputOptions& options);
    void ApplyOutputFields(TFFmpeg& task, const TOutputOptions& options);

    // The run (FFmpegEngineRun.cpp).
    TFFmpeg* StartOne();
    void RunTask(TFFmpeg* task);
    void TerminateTask(TFFmpeg* task);
    void CancelTask(TFFmpeg* task);
    void DeliverTerminate(const TTerminateInfo& info);
    void FinalReport();
    template <typename Fn> void CallHandler(bool mainThread, const char* eventName, Fn&& call);
    void ShowPreviewFrame(TFFmpeg* task, const TPreviewInfo& info);
    // pfPreview when a window shows frames, pfPreviewBitmap when OnPreviewBitmap is assigned.
    int PreviewListeners();
    void PreviewWindowClosed(const void* task);
    void ClosePreviewWindow(const void* task);
    void ReapEventThreads(bool all);

    std::unique_ptr<TAVProbe> FProbe;
    std::vector<std::unique_ptr<TFFmpeg>> FTasks; // the task list; index = task index
    mutable std::recursive_mutex FListLock;
    mutable std::mutex FErrorLock;
    QString FLastError;

    std::atomic<bool> FWorking{false}, FAllFinished{false}, FBackground{false};
    // Run counters, under the terminate lock.
    int FFinishedCount = 0;
    int FNextIndex = -1;
    int FStillToStart = 0;
    std::thread::id FForegroundThread{};
    bool FFinalPending = false;
    // StopTasks calls waiting on tasks outside the locks; tasks cleared meanwhile are kept in
    // FDeferredFree until the last of them is done with its pointers.
    int FStopWaiters = 0;
    std::vector<std::unique_ptr<TFFmpeg>> FDeferredFree;

    // One lock per event kind; FEventsLock only guards reading and clearing the handlers.
    std::recursive_mutex FHookLock, FPreviewLock, FProgressLock, FTerminateLock;
    std::mutex FEventsLock;
    THookInfo FHookInfo;
    TPreviewInfo FPreviewInfo;
    TProgressInfo FProgressInfo;
    TTerminateInfo FTerminateInfo;

    std::mutex FEventThreadsLock;
    std::list<std::unique_ptr<TTerminateEventThread>> FEventThreads;
    std::vector<std::shared_ptr<std::atomic<bool>>> FEventsDelivered; // of the current run

    std::atomic<TPreviewSink*> FPreviewSink{nullptr};
    std::atomic<bool> FPreview{false}, FPreviewBitmap{false};
    std::atomic<int> FProgressInterval{500};
    std::atomic<TThreadPriority> FThreadPriority{tpNormal};
    std::atomic<bool> FTriggerEventInMainThread{true};
};

class TFFmpegEngine : public TCustomFFmpegEngine {
public:
    explicit TFFmpegEngine(QObject* owner = nullptr) : TCustomFFmpegEngine(owner) {}
    ~TFFmpegEngine() override { ShutDown(); }

    using TCustomFFmpegEngine::Version;
    using TCustomFFmpegEngine::Preview;
    using TCustomFFmpegEngine::SetPreview;
    using TCustomFFmpegEngine::PreviewBitmap;
    using TCustomFFmpegEngine::SetPreviewBitmap;
    using TCustomFFmpegEngine::ProgressInterval;
    using TCustomFFmpegEngine::SetProgressInterval;
    using TCustomFFmpegEngine::ThreadPriority;
    using TCustomFFmpegEngine::SetThreadPriority;
    using TCustomFFmpegEngine::TriggerEventInMainThread;
    using TCustomFFmpegEngine::SetTriggerEventInMainThread;

    using TCustomFFmpegEngine::OnProgress;
    using TCustomFFmpegEngine::OnTerminate;
    using TCustomFFmpegEngine::OnPreviewBitmap;
    using TCustomFFmpegEngine::OnCustomHook;
};

// The process-wide lock under which the preview flags of tasks are changed and read.
std::recursive_mutex& PreviewFlagsLock();
