#pragma once
// pipeline/ owns the transcoder: demuxing and decoding, the per-output picture and sound
// processing, encoding and muxing. It builds on the option state (options/) and calls the loader and the
// logger; it knows nothing of tasks, events or the probe.
//
// The transcoder of one task: opens its inputs and creates its outputs when they are added
// (caller's thread), then runs the packet loop on the task's worker thread until the inputs
// end, a limit is reached or a stop is requested. The option state it reads is TCustomFFmpeg's.
#include "FFmpeg.h"
#include "FFmpegRecords.h"

#include <atomic>
#include <functional>
#include <memory>

struct TPipelineState;

// Preview flags of a task (both may be set).
enum : int { pfPreview = 1, pfPreviewBitmap = 2 };

class TFFmpegTranscoder : public TCustomFFmpeg {
public:
    explicit TFFmpegTranscoder(QObject* owner = nullptr);
    ~TFFmpegTranscoder() override;

    // Opens one more input with the options set so far (some are consumed). False with the
    // reason in ErrorText().
    bool OpenInput(const QString& fileName);
    // Creates one more output; answers the output count, or -1 with the reason in ErrorText().
    int CreateOutput(const QString& fileName, bool join);
    // Removes the outputs from index count on (an output whose set-up failed after creation).
    void DropOutputsFrom(int count);
    // Runs the task to its end. Errors raise FFmpegException; the files are closed either way.
    void Run();
    // Releases every input and output (also done by the destructor).
    void CloseAll();

    // Ends the run at the next packet; the trailers are still written. Safe from any thread.
    void RequestStop() { FStopRequest = true; }
    bool StopRequested() const { return FStopRequest.load(); }
    // True when the last run ended without a stop request.
    bool Finished() const { return FFinished; }

    QString ErrorText() const { return FErrorText; }
    bool Joining() const;
    std::int64_t TotalDuration() const { return FOptions.TotalDuration; }

    int InputFileCount() const override;
    const AVFormatContext* InputFile(int index) const override;
    int OutputFileCount() const override;

    // Progress reports; without a handler the report line goes to the log.
    std::function<void(const TProgressInfo& info)> OnProgressReport;
    // Every decoded video frame as a bitmap while hooking is on; the handler may change it.
    std::function<void(THookInfo& info)> OnHookFrame;
    // A frame offered to the preview at most every PreviewInterval.
    std::function<void(TPreviewInfo& info)> OnPreviewFrame;
    // The preview flags someone receives frames for (a window, a handler); unset: all of them.
    std::function<int()> PreviewListeners;
    // The flags that cost a picture conversion: set, and someone listens.
    int ListenedPreviewFlags() const
    {
        const int flags = PreviewFlags.load();
        if (!flags || !OnPreviewFrame) return 0;
        return PreviewListeners ? flags & PreviewListeners() : flags;
    }

    std::int64_t ProgressInterval = 500000; // microseconds
    std::int64_t PreviewInterval = 100000;  // microseconds
    std::atomic<int> PreviewFlags{0};       // pfPreview | pfPreviewBitmap
    bool CustomHook = false;                // deliver frames to OnHookFrame
    // Encoders and the muxer on threads of their own where the run allows it (off: everything
    // on the task's worker, as before; the output is the same either way).
    bool StageThreads = true;
    // The stage threads the last run used (0: it ran on the worker alone).
    int StagesUsed() const { return FStagesUsed; }

protected:
    void NewOutputStream(AVMediaType type) override;
    bool AddFrameHook(const QString& arguments) override;

private:
    friend struct TPipelineState;
    std::unique_ptr<TPipelineState> FPipeline; // its inputs, outputs and run state
    QString FErrorText;
    std::atomic<bool> FStopRequest{false};
    bool FFinished = false;
    int FStagesUsed = 0;
};
