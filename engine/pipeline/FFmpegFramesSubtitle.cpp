// Subtitle output: each decoded subtitle encoded for one output stream, DVB subtitles as a
// picture and the packet that clears it.
#include "FFmpegPipelinePrivate.h"

#include <cstring>
#include <vector>

void TPipelineState::SubtitleOut(TOutputStream& ost, AVSubtitle& sub, std::int64_t ptsUs)
{
    TStreamCoder& c = *ost.C;
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    if (ptsUs == AV_NOPTS_VALUE) {
        if (o.ExitOnError) Fail("Subtitle packets must have a pts");
        Log(llError, "Subtitle packets must have a pts");
        return;
    }
    std::vector<std::uint8_t>& buffer = SubtitleBuffer;
    if (buffer.size() < 1024 * 1024) buffer.resize(1024 * 1024);
    const bool dvb = c.Enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const int count = dvb ? 2 : 1;
    const unsigned rects = sub.num_rects;
    for (int i = 0; i < count; ++i) {
        sub.pts = SatSub(ptsUs, o.StartTime);
        // The packet that clears the display has no rectangles; the subtitle keeps its own, for
        // the next output and for freeing.
        sub.num_rects = i == 1 ? 0 : rects;
        const int size = FF.avcodec_encode_subtitle(c.Enc, buffer.data(), int(buffer.size()), &sub);
        sub.num_rects = rects;
        if (size < 0) Fail("Subtitle encoding failed");
        AVPacket* pkt = SubtitlePacket;
        if (FF.av_new_packet(pkt, size) < 0) Fail("av_mallocz fail");
        std::memcpy(pkt->data, buffer.data(), size_t(size));
        const AVRational otb = c.St->time_base;
        pkt->pts = FF.av_rescale_q(sub.pts, AV_TIME_BASE_Q, otb);
        pkt->duration = FF.av_rescale_q(sub.end_display_time - sub.start_display_time, AVRational{1, 1000}, otb);
        if (dvb) pkt->pts = SatAdd(pkt->pts, FF.av_rescale_q(i == 0 ? sub.start_display_time : sub.end_display_time,
                                             AVRational{1, 1000}, otb));
        pkt->dts = pkt->pts;
        ++c.FrameNumber;
        if (dvb && i == 0 && c.PendingClear) {
            // A clear after this picture's time would hide it, and would hold back its times.
            if (c.PendingClear->pts <= pkt->pts) WritePacket(c, c.PendingClear);
            FF.av_packet_free(&c.PendingClear);
        }
        if (dvb && i == 1) {
            c.PendingClear = FF.av_packet_alloc();
            if (!c.PendingClear || FF.av_packet_ref(c.PendingClear, pkt) < 0) Fail("av_mallocz fail");
            FF.av_packet_unref(pkt);
            continue;
        }
        WritePacket(c, pkt);
        FF.av_packet_unref(pkt);
    }
}
