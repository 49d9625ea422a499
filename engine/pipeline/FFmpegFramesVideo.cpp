// Video output: crop, scale, pad and the user's filter chain (one filter graph, only when the
// picture must change), frame-rate synchronisation with drop and duplicate counts, encoding.
#include "FFmpegPipelinePrivate.h"

#include <QByteArray>
#include <QStringList>

#include <cmath>

namespace {

bool NeedsGraph(const TStreamCoder& c, const AVFrame* frame)
{
    return c.CropTop || c.CropBottom || c.CropLeft || c.CropRight || c.PadTop || c.PadBottom || c.PadLeft ||
           c.PadRight || !c.Filters.isEmpty() || frame->width != c.Enc->width ||
           frame->height != c.Enc->height || frame->format != c.Enc->pix_fmt;
}

// Y, U, V back to the "0xRRGGBB" the pad filter takes.
QString PadColorText(const std::array<int, 3>& yuv)
{
    const double y = yuv[0], u = yuv[1] - 128.0, v = yuv[2] - 128.0;
    auto clip = [](double x) { return std::clamp(int(std::lround(x)), 0, 255); };
    return QString::asprintf("0x%02x%02x%02x", clip(y + 1.402 * v), clip(y - 0.344136 * u - 0.714136 * v),
                             clip(y + 1.772 * u));
}

} // namespace

int OpenVideoGraph(AVFilterGraph* graph, const AVFrame* frame, const char* chain, AVPixelFormat sinkFormat,
                   AVFilterContext*& src, AVFilterContext*& sink)
{
    const AVRational sar = frame->sample_aspect_ratio.num ? frame->sample_aspect_ratio : AVRational{0, 1};
    const QByteArray args = QString::asprintf("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d",
                                              frame->width, frame->height, frame->format, AV_TIME_BASE, sar.num,
                                              std::max(sar.den, 1))
                                .toUtf8();
    int ret = FF.avfilter_graph_create_filter(&src, FF.avfilter_get_by_name("buffer"), "src", args.constData(),
                                              nullptr, graph);
    if (ret < 0) return ret;
    ret = FF.avfilter_graph_create_filter(&sink, FF.avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                          graph);
    if (ret < 0) return ret;
    if (sinkFormat != AV_PIX_FMT_NONE) {
        const AVPixelFormat formats[] = {sinkFormat, AV_PIX_FMT_NONE};
        FF.av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats), sizeof(AVPixelFormat),
                          AV_OPT_SEARCH_CHILDREN);
    }
    AVFilterInOut* outputs = FF.avfilter_inout_alloc();
    AVFilterInOut* inputs = FF.avfilter_inout_alloc();
    ret = AVERROR(ENOMEM);
    if (outputs && inputs) {
        outputs->name = FF.av_strdup("in");
        outputs->filter_ctx = src;
        inputs->name = FF.av_strdup("out");
        inputs->filter_ctx = sink;
        ret = FF.avfilter_graph_parse_ptr(graph, chain, &inputs, &outputs, nullptr);
    }
    FF.avfilter_inout_free(&inputs);
    FF.avfilter_inout_free(&outputs);
    return ret < 0 ? ret : FF.avfilter_graph_config(graph, nullptr);
}

bool TPipelineState::BuildVideoGraph(TStreamCoder& c, const AVFrame* frame)
{
    if (c.Graph) FF.avfilter_graph_free(&c.Graph);
    c.BufferSrc = c.BufferSink = nullptr;
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    AVFilterGraph* graph = c.Graph = FF.avfilter_graph_alloc();
    if (!graph) Fail("Error opening filters!");
    // Scalers that the graph inserts itself (format conversion, a user's chain) use them too.
    graph->scale_sws_opts = FF.av_strdup(("flags=" + c.ScalerFlags).toUtf8().constData());

    // Crops were given for the stream's first size; a changed size takes them in proportion.
    int top = c.CropTop, bottom = c.CropBottom, left = c.CropLeft, right = c.CropRight;
    const AVCodecParameters* in = nullptr;
    for (const TOutputStream& ost : OutputStreams)
        if (ost.C.get() == &c && ost.Source) in = ost.Source->St->codecpar;
    if (in && in->width > 0 && in->height > 0 && (in->width != frame->width || in->height != frame->height)) {
        top = (top * frame->height / in->height) & ~1;
        bottom = (bottom * frame->height / in->height) & ~1;
        left = (left * frame->width / in->width) & ~1;
        right = (right * frame->width / in->width) & ~1;
    }
    QStringList chain;
    const int cropW = frame->width - left - right, cropH = frame->height - top - bottom;
    if (cropW <= 0 || cropH <= 0) {
        if (o.ExitOnError) Fail("error cropping picture");
        Log(llError, "error cropping picture");
        FF.avfilter_graph_free(&c.Graph);
        c.CropFailed = true;
        c.GraphWidth = frame->width;
        c.GraphHeight = frame->height;
        c.GraphFormat = frame->format;
        return false; // the frame is dropped
    }
    if (top || bottom || left || right) chain << QString::asprintf("crop=%d:%d:%d:%d", cropW, cropH, left, top);
    const int padW = c.PadLeft + c.PadRight, padH = c.PadTop + c.PadBottom;
    if (c.Filters.isEmpty()) {
        const int w = c.Enc->width - padW, h = c.Enc->height - padH;
        if (w <= 0 || h <= 0) Fail("Cannot get resampling context");
        if (w != cropW || h != cropH) chain << QString("scale=%1:%2:flags=%3").arg(w).arg(h).arg(c.ScalerFlags);
        if (padW || padH)
            chain << QString("pad=%1:%2:%3:%4:color=%5")
                         .arg(c.Enc->width).arg(c.Enc->height).arg(c.PadLeft).arg(c.PadTop)
                         .arg(PadColorText(c.PadColor));
    } else {
        // The user's chain comes first; a size and pads asked for apply to what it gives.
        chain << c.Filters;
        const int w = c.Enc->width - padW, h = c.Enc->height - padH;
        if (c.SizeSet && w > 0 && h > 0) chain << QString("scale=%1:%2:flags=%3").arg(w).arg(h).arg(c.ScalerFlags);
        if (padW || padH)
            chain << QString("pad=iw+%1:ih+%2:%3:%4:color=%5")
                         .arg(padW).arg(padH).arg(c.PadLeft).arg(c.PadTop).arg(PadColorText(c.PadColor));
    }
    if (chain.isEmpty()) chain << "null";
    const QByteArray desc = chain.join(',').toUtf8();
    const int ret = OpenVideoGraph(graph, frame, desc.constData(), c.Enc->pix_fmt, c.BufferSrc, c.BufferSink);
    if (ret < 0) {
        Log(llError, "Error opening filters: " + QString::fromUtf8(desc));
        FailCode("Error opening filters", ret);
    }
    c.GraphWidth = frame->width;
    c.GraphHeight = frame->height;
    c.GraphFormat = frame->format;
    c.CropFailed = false;
    if (!c.Filtered) c.Filtered = FF.av_frame_alloc();
    return true;
}

void TPipelineState::VideoOut(TOutputStream& ost, AVFrame* frame, std::int64_t ptsUs)
{
    TStreamCoder& c = *ost.C;
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    if (o.StartTime && ptsUs < o.StartTime) return;
    if (c.BurnSource) frame = BurnSubtitles(c, frame, ptsUs);
    if (c.InWidth >= 0 && (frame->width != c.InWidth || frame->height != c.InHeight || frame->format != c.InFormat))
        Log(llQuiet, QString::asprintf("Input Stream #%d.%d frame size changed to %dx%d, %s", ost.Source->FileIndex,
                                       ost.Source->StreamIndex, frame->width, frame->height,
                                       FF.av_get_pix_fmt_name(AVPixelFormat(frame->format))));
    c.InWidth = frame->width;
    c.InHeight = frame->height;
    c.InFormat = frame->format;
    if (!NeedsGraph(c, frame)) {
        if (c.Graph) {
            PullVideoGraph(ost, true);
            FF.avfilter_graph_free(&c.Graph);
        }
        EncodeVideo(ost, frame, ptsUs);
        return;
    }
    const bool sameSize = frame->width == c.GraphWidth && frame->height == c.GraphHeight && frame->format == c.GraphFormat;
    if (!c.Graph || !sameSize) {
        // A size that cannot be cropped was said once; its pictures are dropped.
        if (!c.Graph && sameSize && c.CropFailed) return;
        // What a filter still holds belongs to the pictures before the change.
        PullVideoGraph(ost, true);
        if (!BuildVideoGraph(c, frame)) return;
    }
    const std::int64_t saved = frame->pts;
    frame->pts = ptsUs;
    const int ret = FF.av_buffersrc_add_frame_flags(c.BufferSrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
    frame->pts = saved;
    if (ret < 0) FailCode("Error while filtering", ret);
    PullVideoGraph(ost, false);
}

void TPipelineState::PullVideoGraph(TOutputStream& ost, bool flush)
{
    TStreamCoder& c = *ost.C;
    if (!c.Graph) return;
    if (flush && FF.av_buffersrc_add_frame_flags(c.BufferSrc, nullptr, 0) < 0) return;
    const AVRational tb = FF.av_buffersink_get_time_base(c.BufferSink);
    while (FF.av_buffersink_get_frame(c.BufferSink, c.Filtered) >= 0) {
        EncodeVideo(ost, c.Filtered, FF.av_rescale_q(c.Filtered->pts, tb, AV_TIME_BASE_Q));
        FF.av_frame_unref(c.Filtered);
    }
}

void TPipelineState::EncodeVideo(TOutputStream& ost, AVFrame* frame, std::int64_t ptsUs)
{
    TStreamCoder& c = *ost.C;
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    AVCodecContext* enc = c.Enc;
    const double tb = av_q2d(enc->time_base);
    const double ipts = (double(ptsUs) - double(o.StartTime)) / AV_TIME_BASE;
    int frames = 1;
    if (o.VideoSyncMethod == 0) {
        c.SyncOpts = std::max<std::int64_t>(c.SyncOpts, SatRound(ipts / tb));
    } else {
        const double delta = ipts / tb - c.SyncSkew - double(c.SyncOpts);
        const bool variable = o.VideoSyncMethod == 2 ||
                              (o.VideoSyncMethod < 0 && (c.Mux->Ctx->oformat->flags & AVFMT_VARIABLE_FPS));
        if (delta < -1.1) frames = 0;
        else if (variable) {
            if (delta <= -0.6) frames = 0;
            else if (delta > 0.6) c.SyncOpts = SatRound(ipts / tb);
        } else if (delta > 1.1) {
            // A jump beyond the discontinuity threshold is a timestamp fault: duplicating over
            // it would encode for hours (and the count would not fit an int).
            const double limit = std::max(double(o.DtsDeltaThreshold) / tb, 2.0);
            if (delta > limit) {
                // The output stays continuous: later pictures keep their distance to this one.
                Log(llWarning, QString::asprintf("%lld frame duplication too large, skipping",
                                                 (long long)SatRound(delta) - 1));
                c.SyncSkew += delta - 1;
            } else {
                frames = int(std::lround(delta));
            }
        }
    }
    if (frames == 0) {
        ++DropFrames;
        DupDropChanged = true;
        if (o.Verbose > 2) Log(llVerbose, "*** drop!");
    } else if (frames > 1) {
        DupFrames += frames - 1;
        DupDropChanged = true;
        if (o.Verbose > 2) Log(llVerbose, QString::asprintf("*** %d dup!", frames - 1));
    }
    frames = std::min<std::int64_t>(frames, std::int64_t(o.MaxFrames[0]) - c.FrameNumber);

    for (int i = 0; i < frames && !Stopping(); ++i) {
        frame->pts = c.SyncOpts;
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        if (o.TopFieldFirst >= 0) frame->top_field_first = o.TopFieldFirst;
        frame->quality = 0;
        const int ret = FF.avcodec_send_frame(enc, frame);
        if (ret < 0) FailCode("Video encoding failed", ret);
        ReceivePackets(c);
        OfferPreview(frame, ptsUs, &c);
        c.SyncOpts = SatAdd(c.SyncOpts, 1);
        ++c.FrameNumber;
    }
}

void TPipelineState::ReceivePackets(TStreamCoder& c)
{
    if (!c.Scratch) c.Scratch = FF.av_packet_alloc();
    if (!c.Scratch) Fail("av_mallocz fail");
    AVPacket* pkt = c.Scratch;
    for (;;) {
        const int ret = FF.avcodec_receive_packet(c.Enc, pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0) FailCode(c.Type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed", ret);
        if (c.Type == AVMEDIA_TYPE_VIDEO) {
            size_t size = 0;
            const std::uint8_t* sd = FF.av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &size);
            if (sd && size >= 4) {
                const int q = int(sd[0] | (sd[1] << 8) | (sd[2] << 16) | (std::uint32_t(sd[3]) << 24));
                c.Quality = float(q) / FF_QP2LAMBDA;
                if (size >= 5) c.PictType = sd[4];
                // Then the picture type, the number of error sums and two reserved bytes.
                const int errors = size >= 6 ? std::min<int>(sd[5], 3) : 0;
                for (int i = 0; i < errors && 8 + size_t(i + 1) * 8 <= size; ++i) {
                    std::uint64_t e = 0;
                    for (int b = 7; b >= 0; --b) e = (e << 8) | sd[8 + i * 8 + b];
                    c.FrameError[size_t(i)] = e;
                    c.TotalError[size_t(i)] += e;
                }
            }
            if (c.Mux->OutputOptions.QPHist) {
                const int qp = std::clamp(int(std::lround(c.Quality)), 0, 51);
                ++QPHistogram[qp];
            }
            if (!c.Mux->OutputOptions.VStatsFileName.isEmpty()) WriteVStats(c, pkt->size);
        }
        if (c.PassLog && c.Enc->stats_out) std::fputs(c.Enc->stats_out, c.PassLog);
        FF.av_packet_rescale_ts(pkt, c.Enc->time_base, c.St->time_base);
        WritePacket(c, pkt);
        FF.av_packet_unref(pkt);
    }
}

void TPipelineState::DrainEncoder(TStreamCoder& c)
{
    if (!c.Enc || !c.EncoderOpen) return;
    const int ret = FF.avcodec_send_frame(c.Enc, nullptr);
    if (ret < 0 && ret != AVERROR_EOF)
        FailCode(c.Type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed", ret);
    ReceivePackets(c);
    // Pass 1 writes its summary when the encoder is drained.
    if (c.PassLog && c.Enc->stats_out) std::fputs(c.Enc->stats_out, c.PassLog);
}

void TPipelineState::WriteVStats(TStreamCoder& c, int frameSize)
{
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    if (!VStats) {
        const QByteArray name = o.VStatsFileName.toLocal8Bit();
        VStats = std::fopen(name.constData(), "w");
        if (!VStats) Fail("fopen fail: " + o.VStatsFileName);
    }
    std::fprintf(VStats, "frame= %5d q= %2.1f ", c.FrameNumber, c.Quality);
    if (o.DoPSNR) {
        const double pixels = double(c.Enc->width) * c.Enc->height * 255.0 * 255.0;
        const double d = pixels > 0 ? double(c.FrameError[0]) / pixels : 0.0;
        std::fprintf(VStats, "PSNR= %6.2f ", d > 0 ? -10.0 * std::log10(d) : 99.99);
    }
    const double t = double(c.SyncOpts) * av_q2d(c.Enc->time_base);
    const double bitrate = t > 0 ? frameSize * 8.0 / av_q2d(c.Enc->time_base) / 1000.0 : 0.0;
    const double avg = t > 0 ? double(VideoSize) * 8.0 / t / 1000.0 : 0.0;
    std::fprintf(VStats, "f_size= %6d ", frameSize);
    std::fprintf(VStats, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 double(VideoSize) / 1024, t, bitrate, avg);
    static constexpr char types[] = "?IPBSipb";
    std::fprintf(VStats, "type= %c\n", c.PictType > 0 && c.PictType < 8 ? types[c.PictType] : '?');
}
