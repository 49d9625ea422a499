// Video pre-processing, once per decoded picture before any output sees it: deinterlacing,
// then the offers to the application and to frame-hook modules (the custom hook may change the
// picture), and the preview; modules are loaded at run time with Configure/Process/Release.
#include "FFmpegPipelinePrivate.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <dlfcn.h>
#include <mutex>

// The picture a frame-hook module receives.
struct THookPicture {
    std::uint8_t* data[4];
    int linesize[4];
};

using THookConfigure = int (*)(void** ctxp, int argc, char* argv[]);
using THookProcess = void (*)(void* ctx, THookPicture* picture, int pixFmt, int width, int height, std::int64_t pts);
using THookRelease = void (*)(void* ctx);

struct TFrameHookModule {
    QString Path;
    void* Handle = nullptr;
    THookConfigure Configure = nullptr;
    THookProcess Process = nullptr;
    THookRelease Release = nullptr;
};

namespace {

// Modules stay loaded for the life of the process, once per path.
std::mutex& ModuleLock()
{
    static std::mutex lock;
    return lock;
}

QHash<QString, std::shared_ptr<TFrameHookModule>>& Modules()
{
    static QHash<QString, std::shared_ptr<TFrameHookModule>> modules;
    return modules;
}

} // namespace

std::shared_ptr<TFrameHookModule> LoadFrameHook(const QString& arguments, void*& context)
{
    const QString text = arguments.trimmed();
    QStringList words = text.contains('|') ? text.split('|', Qt::SkipEmptyParts)
                                           : text.split(' ', Qt::SkipEmptyParts);
    if (words.size() > 254) words = words.mid(0, 254);
    if (words.isEmpty()) return nullptr;
    const QString path = words.first();

    std::shared_ptr<TFrameHookModule> module;
    {
        std::lock_guard<std::mutex> lock(ModuleLock());
        module = Modules().value(path);
        if (!module) {
            const QByteArray file = path.toLocal8Bit();
            void* handle = dlopen(file.constData(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                FF.av_log(nullptr, AV_LOG_ERROR, "%s\n", dlerror());
                return nullptr;
            }
            module = std::make_shared<TFrameHookModule>();
            module->Path = path;
            module->Handle = handle;
            module->Configure = reinterpret_cast<THookConfigure>(dlsym(handle, "Configure"));
            module->Process = reinterpret_cast<THookProcess>(dlsym(handle, "Process"));
            module->Release = reinterpret_cast<THookRelease>(dlsym(handle, "Release"));
            if (!module->Configure) {
                FF.av_log(nullptr, AV_LOG_ERROR, "Failed to find Configure entrypoint in %s\n", file.constData());
                return nullptr;
            }
            if (!module->Process) {
                FF.av_log(nullptr, AV_LOG_ERROR, "Failed to find Process entrypoint in %s\n", file.constData());
                return nullptr;
            }
            Modules().insert(path, module);
        }
    }
    std::vector<QByteArray> storage;
    std::vector<char*> argv;
    for (const QString& w : words) storage.push_back(w.toLocal8Bit());
    for (QByteArray& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    context = nullptr;
    if (module->Configure(&context, int(storage.size()), argv.data()) != 0) {
        FF.av_log(nullptr, AV_LOG_ERROR, "Failed to Configure %s\n", path.toLocal8Bit().constData());
        return nullptr;
    }
    return module;
}

void ProcessFrameHook(TFrameHookModule& module, void* context, AVFrame* frame, std::int64_t pts)
{
    THookPicture picture{};
    for (int i = 0; i < 4; ++i) {
        picture.data[i] = frame->data[i];
        picture.linesize[i] = frame->linesize[i];
    }
    module.Process(context, &picture, frame->format, frame->width, frame->height, pts);
}

void ReleaseFrameHook(TFrameHookModule& module, void* context)
{
    if (module.Release) module.Release(context);
}

bool TFFmpegTranscoder::AddFrameHook(const QString& arguments)
{
    void* context = nullptr;
    std::shared_ptr<TFrameHookModule> module = LoadFrameHook(arguments, context);
    if (!module) return false;
    FPipeline->Hooks.push_back(module);
    FPipeline->HookContexts.push_back(context);
    FOptions.VideoHooks.append(arguments.trimmed());
    return true;
}

void TPipelineState::ReleaseHooks()
{
    for (size_t i = 0; i < Hooks.size(); ++i) ReleaseFrameHook(*Hooks[i], HookContexts[i]);
    Hooks.clear();
    HookContexts.clear();
    if (ToRGB) FF.sws_freeContext(ToRGB);
    if (FromRGB) FF.sws_freeContext(FromRGB);
    ToRGB = FromRGB = nullptr;
}

bool TPipelineState::FrameToBitmap(const AVFrame* frame, TBitmap& bitmap)
{
    bitmap.SetSize(frame->width, frame->height);
    ToRGB = FF.sws_getCachedContext(ToRGB, frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                    frame->height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!ToRGB) return false;
    std::uint8_t* dst[4] = {bitmap.Bits.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {bitmap.Stride, 0, 0, 0};
    FF.sws_scale(ToRGB, frame->data, frame->linesize, 0, frame->height, dst, stride);
    return true;
}

bool TPipelineState::BitmapToFrame(const TBitmap& bitmap, AVFrame* frame)
{
    FromRGB = FF.sws_getCachedContext(FromRGB, bitmap.Width, bitmap.Height, AV_PIX_FMT_BGR24, frame->width,
                                      frame->height, AVPixelFormat(frame->format), SWS_BICUBIC, nullptr, nullptr,
                                      nullptr);
    if (!FromRGB) return false;
    const std::uint8_t* src[4] = {bitmap.Bits.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {bitmap.Stride, 0, 0, 0};
    FF.sws_scale(FromRGB, src, stride, 0, bitmap.Height, frame->data, frame->linesize);
    return true;
}

void TPipelineState::PreProcessVideo(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs)
{
    ++DecodedVideoFrames;
    if (!ist.Deinterlace) {
        HookAndOutput(ist, frame, ptsUs);
        return;
    }
    if (ist.Deint && (frame->width != ist.DeintWidth || frame->height != ist.DeintHeight ||
                      frame->format != ist.DeintFormat))
        DrainDeinterlacer(ist);
    if (!ist.Deint && !BuildDeinterlacer(ist, frame)) {
        // The stream goes on as decoded; once said is enough.
        Log(llError, "Deinterlacing failed.");
        ist.Deinterlace = false;
        HookAndOutput(ist, frame, ptsUs);
        return;
    }
    const std::int64_t saved = frame->pts;
    frame->pts = ptsUs;
    const int ret = FF.av_buffersrc_add_frame_flags(ist.DeintSrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
    frame->pts = saved;
    if (ret < 0) {
        Log(llError, "Deinterlacing failed.");
        HookAndOutput(ist, frame, ptsUs);
        return;
    }
    PullDeinterlaced(ist);
}

bool TPipelineState::BuildDeinterlacer(TInputStream& ist, const AVFrame* frame)
{
    AVFilterGraph* graph = ist.Deint = FF.avfilter_graph_alloc();
    if (!graph) return false;
    // Only pictures marked interlaced change; progressive ones pass as they are.
    const bool ok = OpenVideoGraph(graph, frame, "yadif=mode=0:parity=-1:deint=1", AV_PIX_FMT_NONE, ist.DeintSrc,
                                   ist.DeintSink) >= 0;
    if (!ok) {
        FF.avfilter_graph_free(&ist.Deint);
        ist.DeintSrc = ist.DeintSink = nullptr;
        return false;
    }
    ist.DeintWidth = frame->width;
    ist.DeintHeight = frame->height;
    ist.DeintFormat = frame->format;
    return true;
}

void TPipelineState::PullDeinterlaced(TInputStream& ist)
{
    // The deinterlacer counts in a time base of its own (half the input's).
    const AVRational tb = FF.av_buffersink_get_time_base(ist.DeintSink);
    while (!Stopping() && FF.av_buffersink_get_frame(ist.DeintSink, Deinterlaced) >= 0) {
        HookAndOutput(ist, Deinterlaced, FF.av_rescale_q(Deinterlaced->pts, tb, AV_TIME_BASE_Q));
        FF.av_frame_unref(Deinterlaced);
    }
}

// The picture the deinterlacer still holds, at the end of the input or before a new size.
void TPipelineState::DrainDeinterlacer(TInputStream& ist)
{
    if (!ist.Deint) return;
    if (FF.av_buffersrc_add_frame_flags(ist.DeintSrc, nullptr, 0) >= 0) PullDeinterlaced(ist);
    FF.av_frame_unref(Deinterlaced);
    FF.avfilter_graph_free(&ist.Deint);
    ist.DeintSrc = ist.DeintSink = nullptr;
}

void TPipelineState::HookAndOutput(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs)
{
    ++PreparedVideoFrames;
    const bool hook = T.CustomHook && T.OnHookFrame;
    if (hook || !Hooks.empty()) {
        if (FF.av_frame_make_writable(frame) < 0) {
            Log(llError, "hook buf malloc error.");
        } else if (hook) {
            RunCustomHook(frame, ptsUs);
        } else {
            for (size_t i = 0; i < Hooks.size(); ++i) ProcessFrameHook(*Hooks[i], HookContexts[i], frame, ptsUs);
        }
    }
    for (TOutputStream& ost : OutputStreams)
        if (ost.Source == &ist && !ost.C->Copy)
            ToCoder(ost, frame, [this, &ost, ptsUs, decoded = DecodedVideoFrames](AVFrame* f) {
                ost.C->DecodedAtDispatch = decoded;
                VideoOut(ost, f, ptsUs);
            });
}

void TPipelineState::RunCustomHook(AVFrame* frame, std::int64_t ptsUs)
{
    if (!FrameToBitmap(frame, HookBitmap)) {
        Log(llError, "Cannot initialize the toRGB conversion context");
        T.CustomHook = false;
        return;
    }
    THookInfo info;
    info.Bitmap = &HookBitmap;
    info.FrameNumber = PreparedVideoFrames;
    info.PTS = ptsUs;
    info.Update = true;
    info.StopHook = false;
    try {
        T.OnHookFrame(info);
    } catch (const std::exception& e) {
        Log(llError, QString("Error occurs OnCustomHook: ") + QString::fromUtf8(e.what()));
        info.Update = false;
    }
    if (info.Update && !BitmapToFrame(HookBitmap, frame)) {
        Log(llError, "Cannot initialize the fromRGB conversion context");
        info.StopHook = true;
    }
    if (info.StopHook) T.CustomHook = false;
}

void TPipelineState::OfferPreview(const AVFrame* frame, std::int64_t ptsUs, TStreamCoder* coder)
{
    if (!T.PreviewFlags.load() || !T.OnPreviewFrame) return;
    if (Stages && coder) {
        // The stage converts the picture; the worker hands it to the task's event.
        std::lock_guard lock(PreviewLock);
        const std::int64_t now = NowMicroseconds();
        if (LastPreview && now - LastPreview < T.PreviewInterval) return;
        LastPreview = now;
        if (!T.ListenedPreviewFlags()) return;
        coder->PreviewRGB = FF.sws_getCachedContext(coder->PreviewRGB, frame->width, frame->height,
                                                    AVPixelFormat(frame->format), frame->width, frame->height,
                                                    AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!coder->PreviewRGB) return;
        if (PendingPreviews.size() >= 8) PendingPreviews.pop_front();
        TPendingPreview& p = PendingPreviews.emplace_back();
        p.Bitmap.SetSize(frame->width, frame->height);
        std::uint8_t* dst[4] = {p.Bitmap.Bits.data(), nullptr, nullptr, nullptr};
        const int stride[4] = {p.Bitmap.Stride, 0, 0, 0};
        FF.sws_scale(coder->PreviewRGB, frame->data, frame->linesize, 0, frame->height, dst, stride);
        p.PTS = ptsUs;
        p.FrameNumber = coder->DecodedAtDispatch;
        return;
    }
    const std::int64_t now = NowMicroseconds();
    if (LastPreview && now - LastPreview < T.PreviewInterval) return;
    LastPreview = now;
    // No window and no handler: nothing to convert the picture for.
    if (!T.ListenedPreviewFlags()) return;
    if (!FrameToBitmap(frame, PreviewBitmap)) {
        Log(llError, "Cannot initialize the toRGB conversion context");
        T.PreviewFlags = 0;
        return;
    }
    TPreviewInfo info;
    info.Bitmap = &PreviewBitmap;
    info.FrameNumber = DecodedVideoFrames;
    info.PTS = ptsUs;
    T.OnPreviewFrame(info);
}
