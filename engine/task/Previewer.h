#pragma once
// Where the engine shows the frames of tasks whose Preview flag is on. The engine knows no
// widgets: the application installs a sink (a window per task, in the GUI library) with
// TCustomFFmpegEngine::SetPreviewSink. Every call arrives on the main thread.
#include <cstdint>
#include <functional>

struct TBitmap; // FFmpegRecords.h

class TPreviewSink {
public:
    virtual ~TPreviewSink() = default;

    // A frame of a task; the first one opens the task's window. pts is in microseconds, or the
    // library's no-timestamp value when the frame has no time. The bitmap is valid only
    // during the call.
    virtual void ShowPreview(const void* task, const TBitmap& bitmap, std::int64_t pts) = 0;
    // Closes the task's window when it is open.
    virtual void ClosePreview(const void* task) = 0;

    // Set by the engine; the sink calls it when the user closes a task's window, so the
    // engine stops offering that task's frames.
    std::function<void(const void* task)> OnPreviewClosed;
};
