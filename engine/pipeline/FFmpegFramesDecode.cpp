// Decoding one packet of an input stream (or draining its decoder) and handing the frames to
// every output stream it feeds; stream copies write the packet unchanged.
#include "FFmpegPipelinePrivate.h"

#include <algorithm>

namespace {

template <typename T, typename F>
void ScaleSamples(AVFrame* frame, int planes, int perPlane, F scale)
{
    for (int p = 0; p < planes; ++p) {
        T* s = reinterpret_cast<T*>(frame->extended_data[p]);
        for (int i = 0; i < perPlane; ++i) s[i] = scale(s[i]);
    }
}

} // namespace

void TPipelineState::ApplyVolume(AVFrame* frame, int volume)
{
    if (FF.av_frame_make_writable(frame) < 0) return;
    const AVSampleFormat fmt = AVSampleFormat(frame->format);
    const bool planar = FF.av_sample_fmt_is_planar(fmt);
    const int channels = frame->ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const int perPlane = planar ? frame->nb_samples : frame->nb_samples * channels;
    switch (FF.av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_S16:
        ScaleSamples<std::int16_t>(frame, planes, perPlane, [volume](std::int16_t v) {
            return std::int16_t(std::clamp((v * volume + 128) >> 8, -32768, 32767));
        });
        break;
    case AV_SAMPLE_FMT_S32:
        ScaleSamples<std::int32_t>(frame, planes, perPlane, [volume](std::int32_t v) {
            return std::int32_t(std::clamp<std::int64_t>((std::int64_t(v) * volume + 128) >> 8, INT32_MIN, INT32_MAX));
        });
        break;
    case AV_SAMPLE_FMT_FLT: {
        const float f = volume / 256.0f;
        ScaleSamples<float>(frame, planes, perPlane, [f](float v) { return std::clamp(v * f, -1.0f, 1.0f); });
        break;
    }
    case AV_SAMPLE_FMT_DBL: {
        const double f = volume / 256.0;
        ScaleSamples<double>(frame, planes, perPlane, [f](double v) { return std::clamp(v * f, -1.0, 1.0); });
        break;
    }
    case AV_SAMPLE_FMT_U8:
        ScaleSamples<std::uint8_t>(frame, planes, perPlane, [volume](std::uint8_t v) {
            return std::uint8_t(std::clamp((((int(v) - 128) * volume + 128) >> 8) + 128, 0, 255));
        });
        break;
    default:
        break;
    }
}

int TPipelineState::DecodePacket(TInputStream& ist, const AVPacket* pkt)
{
    if (pkt) {
        if (ist.NextPts == AV_NOPTS_VALUE) ist.NextPts = ist.Pts == AV_NOPTS_VALUE ? 0 : ist.Pts;
        if (pkt->dts != AV_NOPTS_VALUE)
            ist.NextPts = ist.Pts = FF.av_rescale_q(pkt->dts, ist.St->time_base, AV_TIME_BASE_Q);
    }
    const AVMediaType type = ist.St->codecpar->codec_type;
    int result = 0;

    if (ist.Decoding && ist.Dec) {
        if (type == AVMEDIA_TYPE_SUBTITLE) {
            if (!pkt) return 0;
            AVSubtitle sub{};
            int got = 0;
            const int ret = FF.avcodec_decode_subtitle2(ist.Dec, &sub, &got, const_cast<AVPacket*>(pkt));
            if (ret < 0) return ret;
            if (got) {
                const std::int64_t pts = pkt->pts != AV_NOPTS_VALUE
                                             ? FF.av_rescale_q(pkt->pts, ist.St->time_base, AV_TIME_BASE_Q)
                                             : AV_NOPTS_VALUE;
                try {
                    for (TOutputStream& ost : OutputStreams)
                        if (ost.Source == &ist && !ost.C->Copy) SubtitleOut(ost, sub, pts);
                    KeepBurnSubtitle(ist, sub, pts);
                } catch (...) {
                    FF.avsubtitle_free(&sub);
                    throw;
                }
                FF.avsubtitle_free(&sub);
            }
        } else {
            int ret = FF.avcodec_send_packet(ist.Dec, pkt);
            if (ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN)) result = ret;
            for (;;) {
                ret = FF.avcodec_receive_frame(ist.Dec, Decoded);
                if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
                if (ret < 0) {
                    result = ret;
                    break;
                }
                const std::int64_t ts = Decoded->best_effort_timestamp;
                if (ts != AV_NOPTS_VALUE) ist.Pts = FF.av_rescale_q(ts, ist.St->time_base, AV_TIME_BASE_Q);
                else if (ist.NextPts != AV_NOPTS_VALUE) ist.Pts = ist.NextPts;
                const std::int64_t pts = ist.Pts == AV_NOPTS_VALUE ? 0 : ist.Pts;
                if (type == AVMEDIA_TYPE_VIDEO) {
                    std::int64_t duration = Decoded->pkt_duration > 0
                                                ? FF.av_rescale_q(Decoded->pkt_duration, ist.St->time_base, AV_TIME_BASE_Q)
                                                : 0;
                    if (duration <= 0 && ist.St->avg_frame_rate.num > 0)
                        duration = FF.av_rescale_q(1, av_inv_q(ist.St->avg_frame_rate), AV_TIME_BASE_Q);
                    ist.NextPts = SatAdd(pts, SatAdd(duration, SatMul(duration, Decoded->repeat_pict) / 2));
                    PreProcessVideo(ist, Decoded, pts);
                } else if (type == AVMEDIA_TYPE_AUDIO) {
                    if (Decoded->sample_rate > 0)
                        ist.NextPts = SatAdd(pts, std::int64_t(Decoded->nb_samples) * AV_TIME_BASE / Decoded->sample_rate);
                    for (TOutputStream& ost : OutputStreams) {
                        if (ost.Source != &ist || ost.C->Copy) continue;
                        const int volume = ost.C->Mux->OutputOptions.AudioVolume;
                        if (volume == 256) {
                            AudioOut(ost, Decoded, pts);
                            continue;
                        }
                        // Each output its own volume: the decoded samples stay as they are
                        // for the next one (the copy is made when the volume is applied).
                        if (!Scaled) Scaled = FF.av_frame_alloc();
                        if (!Scaled || FF.av_frame_ref(Scaled, Decoded) < 0) Fail("av_mallocz fail");
                        ApplyVolume(Scaled, volume);
                        AudioOut(ost, Scaled, pts);
                        FF.av_frame_unref(Scaled);
                    }
                }
                FF.av_frame_unref(Decoded);
                if (Stopping()) break;
            }
            if (!pkt && type == AVMEDIA_TYPE_VIDEO) DrainDeinterlacer(ist);
        }
    } else if (pkt && pkt->duration > 0) {
        ist.NextPts = SatAdd(ist.NextPts, FF.av_rescale_q(pkt->duration, ist.St->time_base, AV_TIME_BASE_Q));
    }

    if (pkt)
        for (TOutputStream& ost : OutputStreams)
            if (ost.Source == &ist && ost.C->Copy) CopyPacketOut(ost, ist, pkt);
    ist.IsStart = false;
    return result;
}

void TPipelineState::CopyPacketOut(TOutputStream& ost, TInputStream& ist, const AVPacket* pkt)
{
    TStreamCoder& c = *ost.C;
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    if (!c.SeenKeyFrame && !(pkt->flags & AV_PKT_FLAG_KEY) && !o.CopyInitialNonKeyframes) return;
    if (o.StartTime && ist.Pts != AV_NOPTS_VALUE && ist.Pts < o.StartTime) return;
    c.SeenKeyFrame = true;
    if (FF.av_packet_ref(CopyPacket, pkt) < 0) Fail("av_mallocz fail");
    const AVRational otb = c.St->time_base;
    const std::int64_t start = FF.av_rescale_q(o.StartTime, AV_TIME_BASE_Q, otb);
    CopyPacket->pts = pkt->pts != AV_NOPTS_VALUE ? SatSub(FF.av_rescale_q(pkt->pts, ist.St->time_base, otb), start)
                                                 : AV_NOPTS_VALUE;
    CopyPacket->dts = pkt->dts != AV_NOPTS_VALUE ? SatSub(FF.av_rescale_q(pkt->dts, ist.St->time_base, otb), start)
                                                 : SatSub(FF.av_rescale_q(ist.Pts, AV_TIME_BASE_Q, otb), start);
    CopyPacket->duration = FF.av_rescale_q(pkt->duration, ist.St->time_base, otb);
    CopyPacket->pos = -1;
    c.SyncOpts = CopyPacket->dts;
    ++c.FrameNumber;
    WritePacket(c, CopyPacket);
    FF.av_packet_unref(CopyPacket);
}
