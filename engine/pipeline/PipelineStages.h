#pragma once
// The threads of a staged run. The task's worker demuxes and decodes (and runs the hooks, the
// stream copies, subtitles and the sound's processing and encoders, which cost less than a
// hand-over); each encoded picture stream has a stage thread of its own that does the stream's
// picture processing (crop, scale, pad, filters, burnt-in subtitles) and its encoder; one
// muxing thread writes the packets.
// They are joined by bounded queues (in items and in bytes), so memory stays flat whatever the
// length of the input.
//
// The muxer writes packets in exactly the order a run on one thread would: the worker appends
// to the order queue an entry per job it hands to a stage (after the job), and one per packet
// it writes itself (copies, subtitles). The muxing thread takes the entries in turn; for a
// stage's entry it takes that stage's packets up to the end of the job. Nothing waits on a
// later entry, so the chain cannot deadlock, and outputs are the same as the serial path's.
//
// A failure anywhere aborts every queue: all threads stop at their next wait, the worker
// raises the first failure's reason, and every thread is joined before the run's state goes.
#include "FFmpegApi.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct TStreamCoder;
struct TPipelineState;

struct TFrameRelease {
    void operator()(AVFrame* frame) const { FF.av_frame_free(&frame); }
};
struct TPacketRelease {
    void operator()(AVPacket* packet) const { FF.av_packet_free(&packet); }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameRelease>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketRelease>;

// A FIFO between two threads, bounded in items and in bytes (an item larger than the byte bound
// still passes when the queue is empty). Push waits while full, Pop while empty. Close lets the
// consumer take what is left, then Pop fails; Abort drops everything and fails every call.
template <typename T>
class TStageQueue {
public:
    TStageQueue(std::size_t maxItems, std::size_t maxBytes) : FMaxItems(maxItems), FMaxBytes(maxBytes) {}

    bool Push(T&& item, std::size_t bytes)
    {
        std::unique_lock lock(FLock);
        FNotFull.wait(lock, [&] {
            return FAborted || FItems.empty() || (FItems.size() < FMaxItems && FBytes + bytes <= FMaxBytes);
        });
        if (FAborted || FClosed) return false;
        FItems.emplace_back(std::move(item), bytes);
        FBytes += bytes;
        FNotEmpty.notify_one();
        return true;
    }

    bool Pop(T& item)
    {
        std::unique_lock lock(FLock);
        FNotEmpty.wait(lock, [&] { return FAborted || FClosed || !FItems.empty(); });
        if (FAborted || FItems.empty()) return false;
        item = std::move(FItems.front().first);
        FBytes -= FItems.front().second;
        FItems.pop_front();
        FNotFull.notify_one();
        return true;
    }

    void Close()
    {
        std::lock_guard lock(FLock);
        FClosed = true;
        FNotEmpty.notify_all();
    }

    void Abort()
    {
        std::deque<std::pair<T, std::size_t>> dropped;
        {
            std::lock_guard lock(FLock);
            FAborted = true;
            dropped.swap(FItems);
            FBytes = 0;
        }
        FNotEmpty.notify_all();
        FNotFull.notify_all();
    }

private:
    std::mutex FLock;
    std::condition_variable FNotEmpty, FNotFull;
    std::deque<std::pair<T, std::size_t>> FItems;
    std::size_t FBytes = 0;
    const std::size_t FMaxItems, FMaxBytes;
    bool FClosed = false, FAborted = false;
};

// Work for one stage: a function and the frame it works on (freed with the job).
struct TStageJob {
    std::function<void(AVFrame*)> Work;
    TFramePtr Frame;
};

class TPipelineStages {
public:
    explicit TPipelineStages(TPipelineState& state);
    // Aborts what still runs and joins every thread.
    ~TPipelineStages();
    TPipelineStages(const TPipelineStages&) = delete;
    TPipelineStages& operator=(const TPipelineStages&) = delete;

    // A stage for one encoded output stream (before Start); answers its index.
    int AddStage(TStreamCoder& coder);
    void Start();

    // Worker side. Hands a job to a stage; with a frame, a new reference to it goes along.
    // False when the run has failed (the caller raises Failure()).
    bool Dispatch(int stage, std::function<void(AVFrame*)> work, const AVFrame* frame = nullptr);
    // A packet ready for the muxer, from the worker or from a stage's job; the packet's data
    // moves out of pkt. False when the run has failed.
    bool PostPacket(TStreamCoder& coder, AVPacket* pkt);
    // Ends the inputs of every stage, waits until everything handed over is written (calling
    // whileWaiting now and then on this thread), joins the threads; raises the first failure.
    void Finish(const std::function<void()>& whileWaiting);
    // Stops every thread at its next wait and joins them (after a failure of the worker).
    void Abort();
    bool Failed() const { return FFailed.load(); }
    [[noreturn]] void RaiseFailure() const;

    // Figures the progress report reads while the threads run.
    std::mutex FiguresLock;
    std::int64_t ShownSize = 0; // of the first output, after the last packet written

private:
    struct TStage;
    struct TStageOutput {
        TStreamCoder* Coder = nullptr; // none: the end of a job
        TPacketPtr Packet;
    };
    struct TMuxEntry {
        int Stage = -1; // -1: the packet is here
        TStreamCoder* Coder = nullptr;
        TPacketPtr Packet;
    };

    void StageLoop(TStage& stage);
    void MuxLoop();
    void SetFailure(const QString& message);
    void Join();

    TPipelineState& S;
    std::vector<std::unique_ptr<TStage>> FStages;
    TStageQueue<TMuxEntry> FOrder;
    std::thread FMuxThread;
    std::atomic<bool> FFailed{false};
    std::atomic<int> FRunning{0}; // threads not yet at their end
    mutable std::mutex FFailureLock;
    QString FFailure;
    bool FStarted = false;
};
