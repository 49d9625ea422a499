#pragma once
// Shared by the option tests: the real libraries, a task with stand-in inputs and outputs, and a
// capture of the engine log.
#include "FFmpeg.h"
#include "FFmpegLoader.h"
#include "FFmpegLogger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

inline bool EngineLibrariesLoaded()
{
    static const bool loaded = FFLoader().LoadLibraries(EngineLibrarySet);
    return loaded;
}

#define REQUIRE_ENGINE_LIBRARIES()                                                         \
    ASSERT_TRUE(EngineLibrariesLoaded()) << FFLoader().LastError().toStdString()

// Collects every log line delivered while it lives.
class TLogCapture {
public:
    explicit TLogCapture(TLogLevel level = llDebug)
    {
        TFFLogger* logger = FFLogger();
        FSavedLevel = logger->LogLevel();
        logger->SetTriggerEventInMainThread(false);
        logger->SetLogLevel(level);
        logger->OnLog = [this](QObject*, std::uint32_t, TLogLevel lv, const QString& msg) {
            std::lock_guard<std::mutex> guard(FLock);
            FLines.emplace_back(lv, msg);
        };
    }
    ~TLogCapture()
    {
        FFLogger()->OnLog = nullptr;
        FFLogger()->SetLogLevel(FSavedLevel);
    }

    // Lines holding the text, with their levels.
    std::vector<std::pair<TLogLevel, QString>> Matching(const QString& part) const
    {
        std::lock_guard<std::mutex> guard(FLock);
        std::vector<std::pair<TLogLevel, QString>> hits;
        for (const auto& line : FLines)
            if (line.second.contains(part)) hits.push_back(line);
        return hits;
    }
    bool Contains(const QString& part) const { return !Matching(part).empty(); }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(FLock);
        FLines.clear();
    }

private:
    mutable std::mutex FLock;
    std::vector<std::pair<TLogLevel, QString>> FLines;
    TLogLevel FSavedLevel = llInfo;
};

// A task whose inputs are opened directly and whose outputs are only counted.
class TTestTask : public TCustomFFmpeg {
public:
    using TCustomFFmpeg::TCustomFFmpeg;
    ~TTestTask() override
    {
        for (AVFormatContext*& ctx : Inputs) FF.avformat_close_input(&ctx);
    }

    bool OpenInput(const QString& fileName)
    {
        AVFormatContext* ctx = nullptr;
        if (FF.avformat_open_input(&ctx, fileName.toUtf8().constData(), nullptr, nullptr) < 0)
            return false;
        FF.avformat_find_stream_info(ctx, nullptr);
        Inputs.push_back(ctx);
        return true;
    }

    int InputFileCount() const override { return int(Inputs.size()); }
    const AVFormatContext* InputFile(int index) const override { return Inputs.at(index); }
    int OutputFileCount() const override { return Outputs; }
    void NewOutputStream(AVMediaType type) override { NewStreams.push_back(type); }

    std::vector<AVFormatContext*> Inputs;
    int Outputs = 0;
    std::vector<AVMediaType> NewStreams;
};

// Opens the named encoder on a context set up from the option state, as the pipeline does for
// a stream of that kind. Answers avcodec_open2's result; the context is returned when asked for.
inline int OpenEncoderFromOptions(const TCustomFFmpeg& task, const char* encoder,
                                  AVCodecContext** keep = nullptr)
{
    const AVCodec* codec = FF.avcodec_find_encoder_by_name(encoder);
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    AVCodecContext* ctx = FF.avcodec_alloc_context3(codec);
    const TFFmpegOptions& o = task.Options();
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
        ctx->width = o.FrameWidth > 0 ? o.FrameWidth : 320;
        ctx->height = o.FrameHeight > 0 ? o.FrameHeight : 240;
        ctx->pix_fmt = o.FramePixFmt != AV_PIX_FMT_NONE ? o.FramePixFmt : codec->pix_fmts[0];
        const AVRational rate = o.FrameRate.num > 0 ? o.FrameRate : AVRational{25, 1};
        ctx->framerate = rate;
        ctx->time_base = AVRational{rate.den, rate.num};
        if (o.FrameAspectRatio > 0)
            ctx->sample_aspect_ratio =
                AVRational{int(o.FrameAspectRatio * ctx->height * 1000), ctx->width * 1000};
    } else if (codec->type == AVMEDIA_TYPE_AUDIO) {
        ctx->sample_rate = o.AudioSampleRate;
        FF.av_channel_layout_default(&ctx->ch_layout, o.AudioChannels);
        ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        ctx->time_base = AVRational{1, o.AudioSampleRate};
    }
    task.CopyCodecOptions(ctx, codec->type);
    const int ret = FF.avcodec_open2(ctx, codec, nullptr);
    if (keep)
        *keep = ctx;
    else
        FF.avcodec_free_context(&ctx);
    return ret;
}

// Value of an option of a real context after the remembered options were copied onto it.
inline QString ContextOption(void* obj, const char* name)
{
    std::uint8_t* text = nullptr;
    if (FF.av_opt_get(obj, name, AV_OPT_SEARCH_CHILDREN, &text) < 0) return QStringLiteral("<none>");
    const QString value = QString::fromUtf8(reinterpret_cast<const char*>(text));
    FF.av_free(text);
    return value;
}

inline std::string ExceptionText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const FFmpegException& e) {
        return e.what();
    }
    return "<no error>";
}
