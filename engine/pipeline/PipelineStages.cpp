// The stage threads, their queues, the muxing thread and how a failure stops them all.
#include "PipelineStages.h"

#include "FFmpegPipelinePrivate.h"

#include <pthread.h>

#include <chrono>

namespace {

// Bounds of the queues. A stage's input holds a few pictures (a 1080p picture is about 3 MB);
// its output and the order queue hold compressed packets.
constexpr std::size_t kStageJobs = 8;
constexpr std::size_t kStageJobBytes = 32u << 20;
constexpr std::size_t kStagePackets = 256;
constexpr std::size_t kStagePacketBytes = 16u << 20;
constexpr std::size_t kOrderEntries = 2048;
constexpr std::size_t kOrderBytes = 32u << 20;

// Raised inside a stage's job when the run was aborted under it; not a failure of its own.
struct TStageAborted {};

std::size_t FrameBytes(const AVFrame* frame)
{
    std::size_t bytes = sizeof(AVFrame);
    for (const AVBufferRef* buf : frame->buf)
        if (buf) bytes += buf->size;
    for (int i = 0; i < frame->nb_extended_buf; ++i)
        if (frame->extended_buf[i]) bytes += frame->extended_buf[i]->size;
    return bytes;
}

std::size_t PacketBytes(const AVPacket* pkt)
{
    return sizeof(AVPacket) + std::size_t(pkt->size > 0 ? pkt->size : 0);
}

TPacketPtr TakePacket(AVPacket* pkt)
{
    TPacketPtr taken(FF.av_packet_alloc());
    if (!taken) Fail("av_mallocz fail");
    FF.av_packet_move_ref(taken.get(), pkt);
    return taken;
}

void NameThread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}

} // namespace

struct TPipelineStages::TStage {
    TStage() : Input(kStageJobs, kStageJobBytes), Output(kStagePackets, kStagePacketBytes) {}
    TStreamCoder* Coder = nullptr;
    TStageQueue<TStageJob> Input;
    TStageQueue<TStageOutput> Output;
    std::thread Thread;
};

namespace {
// The stage whose job this thread is running; none on the worker.
thread_local void* CurrentStage = nullptr;
} // namespace

TPipelineStages::TPipelineStages(TPipelineState& state) : S(state), FOrder(kOrderEntries, kOrderBytes) {}

TPipelineStages::~TPipelineStages()
{
    Abort();
}

int TPipelineStages::AddStage(TStreamCoder& coder)
{
    auto stage = std::make_unique<TStage>();
    stage->Coder = &coder;
    FStages.push_back(std::move(stage));
    return int(FStages.size()) - 1;
}

void TPipelineStages::Start()
{
    FStarted = true;
    FRunning = int(FStages.size()) + 1;
    for (auto& stage : FStages) stage->Thread = std::thread([this, s = stage.get()] { StageLoop(*s); });
    FMuxThread = std::thread([this] { MuxLoop(); });
}

bool TPipelineStages::Dispatch(int stage, std::function<void(AVFrame*)> work, const AVFrame* frame)
{
    if (Failed() || stage < 0 || std::size_t(stage) >= FStages.size()) return false;
    TStageJob job;
    job.Work = std::move(work);
    std::size_t bytes = 64;
    if (frame) {
        job.Frame.reset(FF.av_frame_clone(frame));
        if (!job.Frame) Fail("av_mallocz fail");
        bytes = FrameBytes(frame);
    }
    if (!FStages[std::size_t(stage)]->Input.Push(std::move(job), bytes)) return false;
    TMuxEntry entry;
    entry.Stage = stage;
    return FOrder.Push(std::move(entry), 16);
}

bool TPipelineStages::PostPacket(TStreamCoder& coder, AVPacket* pkt)
{
    if (auto* stage = static_cast<TStage*>(CurrentStage)) {
        TStageOutput out;
        out.Coder = &coder;
        out.Packet = TakePacket(pkt);
        const std::size_t bytes = PacketBytes(out.Packet.get());
        if (!stage->Output.Push(std::move(out), bytes)) throw TStageAborted{};
        return true;
    }
    TMuxEntry entry;
    entry.Coder = &coder;
    entry.Packet = TakePacket(pkt);
    const std::size_t bytes = PacketBytes(entry.Packet.get());
    return FOrder.Push(std::move(entry), bytes);
}

void TPipelineStages::StageLoop(TStage& stage)
{
    NameThread("vornic-encode");
    CurrentStage = &stage;
    TStageJob job;
    while (stage.Input.Pop(job)) {
        try {
            job.Work(job.Frame.get());
        } catch (const TStageAborted&) {
            break;
        } catch (const FFmpegException& e) {
            SetFailure(e.Message());
            break;
        } catch (const std::exception& e) {
            SetFailure(QString::fromUtf8(e.what()));
            break;
        }
        job = TStageJob();
        S.PublishFigures(*stage.Coder);
        if (!stage.Output.Push(TStageOutput(), 16)) break;
    }
    CurrentStage = nullptr;
    --FRunning;
}

void TPipelineStages::MuxLoop()
{
    NameThread("vornic-mux");
    struct TDone {
        std::atomic<int>& Running;
        ~TDone() { --Running; }
    } done{FRunning};
    AVFormatContext* first = S.OutputFiles.empty() ? nullptr : S.OutputFiles[0].Mux->Ctx;
    auto written = [&] {
        if (!first || !first->pb) return;
        // The position written to so far: arithmetic on the buffer, no system call per packet.
        const std::int64_t size = FF.avio_seek(first->pb, 0, SEEK_CUR);
        std::lock_guard lock(FiguresLock);
        ShownSize = size < 0 ? 0 : size;
    };
    try {
        TMuxEntry entry;
        while (FOrder.Pop(entry)) {
            if (entry.Stage < 0) {
                S.MuxPacket(*entry.Coder, entry.Packet.get());
                written();
                continue;
            }
            TStage& stage = *FStages[std::size_t(entry.Stage)];
            TStageOutput out;
            for (;;) {
                if (!stage.Output.Pop(out)) return; // aborted
                if (!out.Coder) break;              // the end of the job
                S.MuxPacket(*out.Coder, out.Packet.get());
                written();
            }
        }
    } catch (const FFmpegException& e) {
        SetFailure(e.Message());
    } catch (const std::exception& e) {
        SetFailure(QString::fromUtf8(e.what()));
    }
}

void TPipelineStages::SetFailure(const QString& message)
{
    {
        std::lock_guard lock(FFailureLock);
        if (FFailed.load()) return;
        FFailure = message;
        FFailed = true;
    }
    // Everyone stops at the next wait; the worker raises the reason.
    for (auto& stage : FStages) {
        stage->Input.Abort();
        stage->Output.Abort();
    }
    FOrder.Abort();
}

void TPipelineStages::RaiseFailure() const
{
    std::lock_guard lock(FFailureLock);
    throw FFmpegException(FFailure.isEmpty() ? QStringLiteral("Conversion failed") : FFailure);
}

void TPipelineStages::Finish(const std::function<void()>& whileWaiting)
{
    for (auto& stage : FStages) stage->Input.Close();
    FOrder.Close();
    // The stages may still make preview pictures, which only this thread hands on.
    while (FStarted && FRunning.load() > 0) {
        if (whileWaiting) whileWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Join();
    if (Failed()) RaiseFailure();
}

void TPipelineStages::Abort()
{
    for (auto& stage : FStages) {
        stage->Input.Abort();
        stage->Output.Abort();
    }
    FOrder.Abort();
    Join();
}

void TPipelineStages::Join()
{
    if (!FStarted) return;
    for (auto& stage : FStages)
        if (stage->Thread.joinable()) stage->Thread.join();
    if (FMuxThread.joinable()) FMuxThread.join();
}

// ---------------------------------------------------------------------------------------------
// The transcoder's side of a staged run.

bool TPipelineState::CanStage() const
{
    if (!T.StageThreads || std::thread::hardware_concurrency() < 2) return false;
    if (Join || InputFiles.size() != 1) return false;
    for (const TOutputFile& f : OutputFiles) {
        const TFFmpegOptions& o = f.Mux->OutputOptions;
        for (int limit : o.MaxFrames)
            if (limit != INT_MAX) return false;
        if (o.LimitFileSize > 0 || !o.VStatsFileName.isEmpty() || o.QPHist) return false;
    }
    // Copies, subtitles and sound stay with the worker: a sound frame costs less to encode than
    // to hand over (a two-hour file took an eighth more processor time with a stage for it).
    // Without a picture encoder there is nothing worth overlapping.
    for (const TOutputStream& ost : OutputStreams)
        if (!ost.C->Copy && ost.C->Type == AVMEDIA_TYPE_VIDEO && ost.C->EncoderOpen) return true;
    return false;
}

void TPipelineState::StartStages()
{
    Stages = std::make_unique<TPipelineStages>(*this);
    for (TOutputStream& ost : OutputStreams) {
        TStreamCoder& c = *ost.C;
        if (c.Copy || c.Type != AVMEDIA_TYPE_VIDEO || !c.EncoderOpen || c.Stage >= 0) continue;
        c.Stage = Stages->AddStage(c);
        PublishFigures(c);
        ++T.FStagesUsed;
    }
    Stages->Start();
}

void TPipelineState::StopStages()
{
    if (!Stages) return;
    Stages->Abort(); // joins; the pointer stays valid until every thread is gone
    Stages.reset();
    for (TOutputStream& ost : OutputStreams) ost.C->Stage = -1;
}

void TPipelineState::ToCoder(TOutputStream& ost, AVFrame* frame, const std::function<void(AVFrame*)>& work)
{
    if (!Stages || ost.C->Stage < 0) {
        work(frame);
        return;
    }
    if (!Stages->Dispatch(ost.C->Stage, work, frame)) Stages->RaiseFailure();
}

void TPipelineState::PublishFigures(TStreamCoder& c)
{
    if (!Stages) return;
    std::lock_guard lock(Stages->FiguresLock);
    c.Shown.FrameNumber = c.FrameNumber;
    c.Shown.Quality = c.Quality;
    c.Shown.FrameError = c.FrameError;
    c.Shown.TotalError = c.TotalError;
}

TCoderFigures TPipelineState::Figures(const TStreamCoder& c)
{
    TCoderFigures f;
    std::unique_lock<std::mutex> lock;
    if (Stages) {
        lock = std::unique_lock(Stages->FiguresLock);
        if (c.Stage >= 0) return c.Shown;
    }
    // The worker's own streams (copies, subtitles), or a run without stages.
    f.FrameNumber = c.FrameNumber;
    f.Quality = c.Quality;
    f.FrameError = c.FrameError;
    f.TotalError = c.TotalError;
    // The muxing thread keeps every stream's time.
    f.LastTime = Stages ? c.Shown.LastTime : c.LastTime;
    return f;
}

void TPipelineState::DeliverPreview()
{
    for (;;) {
        TPreviewInfo info;
        {
            std::lock_guard lock(PreviewLock);
            if (PendingPreviews.empty()) return;
            TPendingPreview& p = PendingPreviews.front();
            std::swap(PreviewBitmap, p.Bitmap);
            info.PTS = p.PTS;
            info.FrameNumber = p.FrameNumber;
            PendingPreviews.pop_front();
        }
        info.Bitmap = &PreviewBitmap;
        if (T.OnPreviewFrame) T.OnPreviewFrame(info);
    }
}
