// Burning picture subtitles into the video ("burnsubtitles"): the decoded subtitle bitmaps of
// the video's own file are laid over each picture in the times they show, before crop, scale
// and pad, so they sit where they sat on the source picture and follow it through the fit.
#include "FFmpegPipelinePrivate.h"

#include <cstring>

namespace {

// One colour of a subtitle palette in the picture's terms (BT.601, limited range).
struct TYUVA {
    std::uint8_t Y, U, V, A;
};

TYUVA ToYUVA(std::uint32_t argb)
{
    const int a = int(argb >> 24), r = int((argb >> 16) & 0xFF), g = int((argb >> 8) & 0xFF), b = int(argb & 0xFF);
    auto clip = [](int v) { return std::uint8_t(std::clamp(v, 0, 255)); };
    return {clip(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16), clip(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
            clip(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128), std::uint8_t(a)};
}

inline void Blend(std::uint8_t& dst, std::uint8_t src, int alpha)
{
    dst = std::uint8_t((src * alpha + dst * (255 - alpha) + 127) / 255);
}

// 8-bit planar YUV: the formats DVD and most decoders give.
bool CanBurnInto(const AVPixFmtDescriptor* d)
{
    return d && (d->flags & AV_PIX_FMT_FLAG_PLANAR) && !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) &&
           d->nb_components >= 3 && d->comp[0].depth == 8 && d->comp[1].depth == 8 && d->comp[2].depth == 8;
}

} // namespace

void TPipelineState::AttachBurnSources()
{
    for (TOutputStream& ost : OutputStreams) {
        TStreamCoder& c = *ost.C;
        if (c.Type != AVMEDIA_TYPE_VIDEO || c.Copy || !c.Mux->OutputOptions.BurnSubtitles || c.BurnSource) continue;
        for (TInputStream& ist : InputStreams) {
            const AVCodecParameters* par = ist.St->codecpar;
            if (ist.FileIndex != ost.Source->FileIndex || par->codec_type != AVMEDIA_TYPE_SUBTITLE ||
                ist.St->discard == AVDISCARD_ALL)
                continue;
            const AVCodecDescriptor* d = FF.avcodec_descriptor_get(par->codec_id);
            if (!d || !(d->props & AV_CODEC_PROP_BITMAP_SUB)) continue;
            c.BurnSource = &ist;
            ist.Decoding = true;
            ist.Used = true;
            break;
        }
        if (!c.BurnSource)
            Log(llWarning, QString::asprintf("Output stream #%d.%d: the input has no picture subtitles to burn in",
                                             ost.FileIndex, ost.StreamIndex));
    }
}

void TPipelineState::KeepBurnSubtitle(TInputStream& ist, const AVSubtitle& sub, std::int64_t ptsUs)
{
    if (ptsUs == AV_NOPTS_VALUE) return;
    for (TOutputStream& ost : OutputStreams) {
        TStreamCoder& c = *ost.C;
        if (c.BurnSource != &ist) continue;
        TBurnPicture picture;
        picture.Start = SatAdd(ptsUs, std::int64_t(sub.start_display_time) * 1000);
        // No end time: shown until the next subtitle replaces it.
        picture.End = sub.end_display_time == 0 || sub.end_display_time == UINT32_MAX
                          ? INT64_MAX
                          : SatAdd(ptsUs, std::int64_t(sub.end_display_time) * 1000);
        picture.CanvasWidth = ist.Dec ? ist.Dec->width : 0;
        picture.CanvasHeight = ist.Dec ? ist.Dec->height : 0;
        for (unsigned i = 0; i < sub.num_rects; ++i) {
            const AVSubtitleRect* r = sub.rects[i];
            if (r->type != SUBTITLE_BITMAP || r->w <= 0 || r->h <= 0 || !r->data[0] || !r->data[1]) continue;
            TBurnRect rect;
            rect.X = r->x;
            rect.Y = r->y;
            rect.W = r->w;
            rect.H = r->h;
            rect.Indices.resize(size_t(r->w) * size_t(r->h));
            for (int y = 0; y < r->h; ++y)
                std::memcpy(rect.Indices.data() + size_t(y) * size_t(r->w), r->data[0] + size_t(y) * size_t(r->linesize[0]),
                            size_t(r->w));
            const auto* palette = reinterpret_cast<const std::uint32_t*>(r->data[1]);
            for (int k = 0; k < std::min(r->nb_colors, 256); ++k) rect.Palette[size_t(k)] = palette[k];
            picture.Rects.push_back(std::move(rect));
        }
        // A later subtitle replaces the ones shown before it. The queue belongs to the stream's
        // stage when there is one: the picture goes there in turn with the video.
        auto keep = [&c, picture = std::move(picture)](AVFrame*) mutable {
            while (!c.BurnQueue.empty() && c.BurnQueue.back().Start >= picture.Start) c.BurnQueue.pop_back();
            c.BurnQueue.push_back(std::move(picture));
        };
        ToCoder(ost, nullptr, keep);
    }
}

AVFrame* TPipelineState::BurnSubtitles(TStreamCoder& c, AVFrame* frame, std::int64_t ptsUs)
{
    // Pictures that a later one has replaced by now, or whose time is over, go.
    while (c.BurnQueue.size() > 1 && c.BurnQueue[1].Start <= ptsUs) c.BurnQueue.pop_front();
    if (c.BurnQueue.empty()) return frame;
    const TBurnPicture& picture = c.BurnQueue.front();
    if (picture.End <= ptsUs) {
        c.BurnQueue.pop_front();
        return frame;
    }
    if (picture.Start > ptsUs || picture.Rects.empty()) return frame;

    const AVPixFmtDescriptor* d = FF.av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!CanBurnInto(d)) {
        if (!c.BurnRefused)
            Log(llWarning, QString("Subtitles cannot be burnt into %1 pictures")
                               .arg(d ? d->name : FF.av_get_pix_fmt_name(AVPixelFormat(frame->format))));
        c.BurnRefused = true;
        return frame;
    }
    if (!c.Burned) c.Burned = FF.av_frame_alloc();
    if (!c.Burned) Fail("av_mallocz fail");
    FF.av_frame_unref(c.Burned);
    // The decoded picture may feed other outputs: the subtitle goes onto a copy.
    if (FF.av_frame_ref(c.Burned, frame) < 0 || FF.av_frame_make_writable(c.Burned) < 0) Fail("av_mallocz fail");
    AVFrame* out = c.Burned;

    // Subtitle positions are on the subtitle's canvas; without one the canvas is the picture.
    const int canvasW = picture.CanvasWidth > 0 ? picture.CanvasWidth : out->width;
    const int canvasH = picture.CanvasHeight > 0 ? picture.CanvasHeight : out->height;
    const int cw = d->log2_chroma_w, ch = d->log2_chroma_h;
    for (const TBurnRect& rect : picture.Rects) {
        std::array<TYUVA, 256> colours{};
        for (size_t k = 0; k < 256; ++k) colours[k] = ToYUVA(rect.Palette[k]);
        const std::int64_t x0 = std::int64_t(rect.X) * out->width / canvasW;
        const std::int64_t y0 = std::int64_t(rect.Y) * out->height / canvasH;
        const std::int64_t x1 = std::int64_t(rect.X + rect.W) * out->width / canvasW;
        const std::int64_t y1 = std::int64_t(rect.Y + rect.H) * out->height / canvasH;
        if (x1 <= x0 || y1 <= y0) continue;
        // The rectangle's pixel under a picture position (nearest, for a canvas of another size).
        auto at = [&](std::int64_t px, std::int64_t py) -> const TYUVA& {
            const std::int64_t sx = std::clamp<std::int64_t>((px - x0) * rect.W / (x1 - x0), 0, rect.W - 1);
            const std::int64_t sy = std::clamp<std::int64_t>((py - y0) * rect.H / (y1 - y0), 0, rect.H - 1);
            return colours[rect.Indices[size_t(sy) * size_t(rect.W) + size_t(sx)]];
        };
        for (std::int64_t y = std::max<std::int64_t>(y0, 0); y < std::min<std::int64_t>(y1, out->height); ++y) {
            std::uint8_t* row = out->data[0] + y * out->linesize[0];
            for (std::int64_t x = std::max<std::int64_t>(x0, 0); x < std::min<std::int64_t>(x1, out->width); ++x) {
                const TYUVA& p = at(x, y);
                if (p.A) Blend(row[x], p.Y, p.A);
            }
        }
        const std::int64_t chromaW = -((-std::int64_t(out->width)) >> cw), chromaH = -((-std::int64_t(out->height)) >> ch);
        for (std::int64_t y = std::max<std::int64_t>(y0 >> ch, 0); y < std::min<std::int64_t>(((y1 - 1) >> ch) + 1, chromaH); ++y) {
            std::uint8_t* u = out->data[1] + y * out->linesize[1];
            std::uint8_t* v = out->data[2] + y * out->linesize[2];
            for (std::int64_t x = std::max<std::int64_t>(x0 >> cw, 0); x < std::min<std::int64_t>(((x1 - 1) >> cw) + 1, chromaW); ++x) {
                const std::int64_t lx = std::clamp<std::int64_t>(x << cw, x0, x1 - 1);
                const std::int64_t ly = std::clamp<std::int64_t>(y << ch, y0, y1 - 1);
                const TYUVA& p = at(lx, ly);
                if (!p.A) continue;
                Blend(u[x], p.U, p.A);
                Blend(v[x], p.V, p.A);
            }
        }
    }
    return out;
}
