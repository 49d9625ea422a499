#include "FFmpegTask.h"

#include "MainThread.h"

TFFmpeg::TFFmpeg(TCustomFFmpegEngine* engine) : FEngine(engine)
{
}

TFFmpeg::~TFFmpeg()
{
    RequestStop();
    WaitIdle();
    JoinThreads();
    DetachProbes();
}

void TFFmpeg::WaitIdle()
{
    // A handler on the task's own worker cannot wait for that worker.
    if (FWorkerID.load() == std::this_thread::get_id() && !FWorkerDone.load()) return;
    if (ServedByCurrentThread()) return;
    WaitServicingEvents([this] { return FWorkerDone.load() && FTerminatorDone.load(); }, -1, 20);
    JoinThreads();
}

void TFFmpeg::SetThread(std::unique_ptr<TConvertThread> thread)
{
    std::lock_guard lock(FThreadLock);
    FThread = std::move(thread);
}

void TFFmpeg::SetTerminator(std::unique_ptr<TDoTerminateThread> thread)
{
    std::lock_guard lock(FThreadLock);
    FTerminator = std::move(thread);
}

void TFFmpeg::JoinThreads()
{
    std::unique_ptr<TConvertThread> worker;
    std::unique_ptr<TDoTerminateThread> terminator;
    {
        std::lock_guard lock(FThreadLock);
        // A thread never joins itself; its object stays until the task is freed.
        if (FThread && !FThread->IsCurrentThread()) worker = std::move(FThread);
        if (FTerminator && !FTerminator->IsCurrentThread()) terminator = std::move(FTerminator);
    }
    worker.reset();
    terminator.reset();
}

TAVProbe* TFFmpeg::InputProbe(int index)
{
    if (index < 0 || index >= MAX_FILES) return nullptr;
    if (!FProbes[size_t(index)]) {
        FProbes[size_t(index)] = std::make_unique<TAVProbe>();
        if (FState.load() == tsCreated) AttachProbe(index);
    }
    return FProbes[size_t(index)].get();
}

const TInputOptions* TFFmpeg::InputOptions(int index) const
{
    if (index < 0 || index >= MAX_FILES || !FInputOptions[size_t(index)]) return nullptr;
    return &*FInputOptions[size_t(index)];
}

const TOutputOptions* TFFmpeg::OutputOptions(int index) const
{
    if (index < 0 || index >= MAX_FILES || !FOutputOptions[size_t(index)]) return nullptr;
    return &*FOutputOptions[size_t(index)];
}

QString TFFmpeg::ExceptionMessage() const
{
    std::lock_guard lock(FExceptionLock);
    return FExceptionMsg;
}

void TFFmpeg::SetException(const QString& message)
{
    std::lock_guard lock(FExceptionLock);
    FExceptionMsg = message;
    FException = true;
}

void TFFmpeg::AttachProbe(int index)
{
    TAVProbe* probe = FProbes[size_t(index)].get();
    const AVFormatContext* ctx = InputFile(index);
    if (probe && ctx) probe->AttachContext(const_cast<AVFormatContext*>(ctx));
}

void TFFmpeg::DetachProbes()
{
    for (auto& probe : FProbes)
        if (probe) probe->CloseFile();
}
