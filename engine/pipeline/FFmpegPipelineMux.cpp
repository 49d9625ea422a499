// Muxing: creating an output (its streams and their encoders are made in
// FFmpegPipelineEncoders.cpp), writing packets through the bitstream filters, headers and
// trailers.
#include "FFmpegPipelinePrivate.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>

#include <cmath>
#include <cstdlib>
#include <cstring>

TMuxer::~TMuxer()
{
    if (Ctx) {
        if (Ctx->pb && !(Ctx->oformat->flags & AVFMT_NOFILE)) FF.avio_closep(&Ctx->pb);
        FF.avformat_free_context(Ctx);
    }
    FF.av_dict_free(&MuxOpts);
}

int TPipelineState::CreateOutput(const QString& fileName, bool join)
{
    TFFmpegOptions& o = LiveOptions();
    if (Join) {
        T.FErrorText = "Cannot join more than one output file.";
        return -1;
    }
    if (OutputFiles.size() >= size_t(MAX_FILES)) {
        T.FErrorText = QString::asprintf("max output files %d reached", MAX_FILES);
        return -1;
    }
    const QByteArray name = fileName.toUtf8();
    const AVOutputFormat* fmt = nullptr;
    if (!o.FileFormatName.isEmpty()) {
        const QByteArray forced = o.FileFormatName.toUtf8();
        o.FileFormatName.clear();
        fmt = FF.av_guess_format(forced.constData(), nullptr, nullptr);
        if (!fmt) {
            T.FErrorText = QString::asprintf("Requested output format '%s' is not a suitable output format",
                                             forced.constData());
            return -1;
        }
    } else {
        fmt = FF.av_guess_format(nullptr, name.constData(), nullptr);
        if (!fmt) {
            T.FErrorText = QString::asprintf("Unable to find a suitable output format for '%s'", name.constData());
            return -1;
        }
    }

    auto mux = std::make_shared<TMuxer>();
    if (FF.avformat_alloc_output_context2(&mux->Ctx, fmt, nullptr, name.constData()) < 0 || !mux->Ctx) {
        T.FErrorText = "avformat_alloc_context failed";
        return -1;
    }
    mux->FileName = fileName.left(1024);
    mux->OutputOptions = o;
    o.ForcePgmyuvCodec = false; // belongs to the "f" this output consumed

    // Stream kinds: what the muxer or the options ask for, and what the inputs can feed.
    bool useVideo = fmt->video_codec != AV_CODEC_ID_NONE || !o.VideoCodecName.isEmpty() || o.VideoStreamCopy;
    bool useAudio = fmt->audio_codec != AV_CODEC_ID_NONE || !o.AudioCodecName.isEmpty() || o.AudioStreamCopy;
    bool useSubtitle = fmt->subtitle_codec != AV_CODEC_ID_NONE || !o.SubtitleCodecName.isEmpty() ||
                       o.SubtitleStreamCopy;
    if (!InputFiles.empty()) {
        bool hasVideo = false, hasAudio = false, hasSubtitle = false;
        const size_t examined = join ? 1 : InputFiles.size();
        for (size_t i = 0; i < examined; ++i) {
            AVFormatContext* ic = InputFiles[i].Ctx;
            for (unsigned s = 0; s < ic->nb_streams; ++s) {
                const AVStream* st = ic->streams[s];
                if (st->discard == AVDISCARD_ALL) continue; // left out when the input was opened
                switch (st->codecpar->codec_type) {
                case AVMEDIA_TYPE_VIDEO:
                    // A cover picture is no video to convert.
                    if (!(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) hasVideo = true;
                    break;
                case AVMEDIA_TYPE_AUDIO: hasAudio = true; break;
                case AVMEDIA_TYPE_SUBTITLE: hasSubtitle = true; break;
                case AVMEDIA_TYPE_DATA:
                case AVMEDIA_TYPE_ATTACHMENT:
                case AVMEDIA_TYPE_UNKNOWN: break;
                default:
                    T.FErrorText = "check_audio_video_sub_inputs fail: invalid codec_type of input file";
                    return -1;
                }
            }
        }
        useVideo = useVideo && hasVideo;
        useAudio = useAudio && hasAudio;
        useSubtitle = useSubtitle && hasSubtitle;
    }
    if (o.VideoDisable) useVideo = false;
    if (o.AudioDisable) useAudio = false;
    if (o.SubtitleDisable) useSubtitle = false;
    if (useSubtitle && !InputFiles.empty()) {
        // Subtitles the format's encoder cannot take are left out; the rest of the file converts.
        if (const AVCodec* encoder = SubtitleEncoderFor(*mux)) {
            bool taken = false;
            const AVCodecID* refused = nullptr;
            for (size_t i = 0; i < (join ? 1 : InputFiles.size()); ++i)
                for (unsigned s = 0; s < InputFiles[i].Ctx->nb_streams; ++s) {
                    const AVStream* st = InputFiles[i].Ctx->streams[s];
                    if (st->discard == AVDISCARD_ALL || st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
                    if (SubtitleKindsMatch(encoder, st->codecpar->codec_id)) taken = true;
                    else if (!refused) refused = &st->codecpar->codec_id;
                }
            if (!taken && refused) {
                useSubtitle = false;
                Log(llWarning, QString("Subtitles left out: the %1 encoder of this output cannot take %2 subtitles")
                                   .arg(encoder->name, FF.avcodec_get_name(*refused)));
            }
        }
    }

    const int entry = int(OutputFiles.size());
    Coders.emplace_back();
    auto failStream = [&](const char* what, const FFmpegException& e) {
        T.FErrorText = QString("%1 fail: %2").arg(what, e.Message());
        Coders.pop_back();
        return -1;
    };
    if (useVideo) {
        try { NewVideoStream(*mux, entry); } catch (const FFmpegException& e) { return failStream("new_video_stream", e); }
    }
    if (useAudio) {
        try { NewAudioStream(*mux, entry); } catch (const FFmpegException& e) { return failStream("new_audio_stream", e); }
    }
    if (useSubtitle) {
        try { NewSubtitleStream(*mux, entry); } catch (const FFmpegException& e) { return failStream("new_subtitle_stream", e); }
    }

    if (o.RecordingTimestamp > 0) {
        const QByteArray when = QDateTime::fromSecsSinceEpoch(o.RecordingTimestamp, Qt::UTC)
                                    .toString(Qt::ISODate).toUtf8();
        FF.av_dict_set(&mux->Ctx->metadata, "creation_time", when.constData(), 0);
    }
    for (auto it = o.Metadata.rbegin(); it != o.Metadata.rend(); ++it)
        FF.av_dict_set(&mux->Ctx->metadata, it->first.toUtf8().constData(), it->second.toUtf8().constData(), 0);
    o.Metadata.clear();

    if ((fmt->flags & AVFMT_NEEDNUMBER) && !FF.av_filename_number_test(name.constData())) {
        T.FErrorText = fileName + ": Number syntax expected in filename";
        Coders.pop_back();
        return -1;
    }
    if (!(fmt->flags & AVFMT_NOFILE)) {
        // Opening for writing truncates: never over one of the task's own inputs.
        const QFileInfo target(fileName);
        for (const TInputFile& in : InputFiles)
            if (target.exists() && QFileInfo(in.FileName).canonicalFilePath() == target.canonicalFilePath()) {
                T.FErrorText = QString("Output file '%1' is the same as input file '%2'").arg(fileName, in.FileName);
                Coders.pop_back();
                return -1;
            }
        const int ret = FF.avio_open(&mux->Ctx->pb, name.constData(), AVIO_FLAG_WRITE);
        if (ret < 0) {
            T.FErrorText = WithError(QString::asprintf("Could not open '%s'", name.constData()), ret);
            Coders.pop_back();
            return -1;
        }
    }

    T.CopyFormatOptions(mux->Ctx);
    ClaimOptions(o, mux->Ctx, &mux->MuxOpts);
    mux->Ctx->max_delay = int(o.MuxMaxDelay * AV_TIME_BASE);
    if (o.MuxPreload > 0)
        FF.av_dict_set_int(&mux->MuxOpts, "preload", std::int64_t(o.MuxPreload * AV_TIME_BASE), 0);
    if (o.LoopOutput >= 0) FF.av_dict_set_int(&mux->MuxOpts, "loop", o.LoopOutput, 0);

    OutputFiles.push_back({mux, join ? 0 : -1});
    if (join && InputFiles.size() > 1) {
        Join = true;
        std::int64_t total = 0;
        for (const TInputFile& f : InputFiles)
            if (f.Ctx->duration != AV_NOPTS_VALUE && f.Ctx->duration > 0) total = SatAdd(total, f.Ctx->duration);
        o.TotalDuration = total > 0 ? total : -1;
        for (size_t i = 1; i < InputFiles.size(); ++i) {
            OutputFiles.push_back({mux, int(i)});
            Coders.push_back(Coders[size_t(entry)]);
        }
    } else if (join) {
        OutputFiles.back().InputIndex = -1;
    }
    return int(OutputFiles.size());
}

namespace {

// Sends one packet through the filters from index on, then to the muxer.
void FilterAndWrite(TPipelineState& s, TStreamCoder& c, AVPacket* pkt, size_t index,
                    std::vector<AVPacket*>& temps)
{
    if (index < c.Bsfs.size()) {
        AVBSFContext* bsf = c.Bsfs[index];
        int ret = FF.av_bsf_send_packet(bsf, pkt);
        if (ret < 0) {
            const QString msg = WithError(QString::asprintf("%s failed for stream %d, codec %s", bsf->filter->name,
                                                           c.St->index, c.Copy ? "copy" : c.Codec->name),
                                          ret);
            if (c.Mux->OutputOptions.ExitOnError) Fail(msg);
            s.Log(llError, msg);
            FilterAndWrite(s, c, pkt, index + 1, temps);
            return;
        }
        AVPacket* out = temps[index];
        while ((ret = FF.av_bsf_receive_packet(bsf, out)) >= 0) FilterAndWrite(s, c, out, index + 1, temps);
        return;
    }
    if (!s.Stages) {
        s.MuxPacket(c, pkt);
    } else if (!s.Stages->PostPacket(c, pkt)) {
        FF.av_packet_unref(pkt);
        s.Stages->RaiseFailure();
    }
}

} // namespace

void TPipelineState::MuxPacket(TStreamCoder& c, AVPacket* pkt)
{
    AVFormatContext* oc = c.Mux->Ctx;
    pkt->stream_index = c.St->index;
    // Muxers refuse decode times that do not increase; nudge them as the command line does.
    if (!(oc->oformat->flags & AVFMT_NOTIMESTAMPS) && pkt->dts != AV_NOPTS_VALUE && c.LastDts != AV_NOPTS_VALUE &&
        pkt->dts <= c.LastDts) {
        pkt->dts = SatAdd(c.LastDts, 1);
        if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < pkt->dts) pkt->pts = pkt->dts;
    }
    if (pkt->dts != AV_NOPTS_VALUE) c.LastDts = pkt->dts;
    const std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (ts != AV_NOPTS_VALUE) {
        const double t = (double(ts) + double(pkt->duration)) * av_q2d(c.St->time_base);
        if (t > c.LastTime) c.LastTime = t;
    }
    switch (c.Type) {
    case AVMEDIA_TYPE_VIDEO: VideoSize += pkt->size; break;
    case AVMEDIA_TYPE_AUDIO: AudioSize += pkt->size; break;
    default: ExtraSize += pkt->size; break;
    }
    if (Stages) {
        std::lock_guard lock(Stages->FiguresLock);
        c.Shown.LastTime = c.LastTime;
    }
    const int ret = FF.av_interleaved_write_frame(oc, pkt);
    if (ret < 0) FailCode("av_interleaved_write_frame()", ret);
}

void TPipelineState::WritePacket(TStreamCoder& c, AVPacket* pkt)
{
    while (c.BsfPackets.size() < c.Bsfs.size()) {
        c.BsfPackets.push_back(FF.av_packet_alloc());
        if (!c.BsfPackets.back()) Fail("av_mallocz fail");
    }
    FilterAndWrite(*this, c, pkt, 0, c.BsfPackets);
}

void TPipelineState::DrainBitstreamFilters(TStreamCoder& c)
{
    // A filter may hold packets back (rechunking, merging); at the end it must give them up,
    // each filter in turn, through the filters after it.
    while (c.BsfPackets.size() < c.Bsfs.size()) {
        c.BsfPackets.push_back(FF.av_packet_alloc());
        if (!c.BsfPackets.back()) Fail("av_mallocz fail");
    }
    for (size_t i = 0; i < c.Bsfs.size(); ++i) {
        AVBSFContext* bsf = c.Bsfs[i];
        if (FF.av_bsf_send_packet(bsf, nullptr) < 0) continue;
        AVPacket* out = c.BsfPackets[i];
        while (FF.av_bsf_receive_packet(bsf, out) >= 0) FilterAndWrite(*this, c, out, i + 1, c.BsfPackets);
    }
}

void TPipelineState::WriteHeaders()
{
    for (size_t i = 0; i < OutputFiles.size(); ++i) {
        TMuxer& mux = *OutputFiles[i].Mux;
        if (mux.HeaderWritten) continue;
        const int ret = FF.avformat_write_header(mux.Ctx, &mux.MuxOpts);
        if (ret < 0)
            FailCode(QString::asprintf("Could not write header for output file #%d (incorrect codec parameters ?)",
                                       int(i)),
                     ret);
        mux.HeaderWritten = true;
    }
}

void TPipelineState::LogSessionDescription()
{
    std::vector<AVFormatContext*> contexts;
    for (const TOutputFile& f : OutputFiles) {
        if (std::strcmp(f.Mux->Ctx->oformat->name, "rtp") != 0) return;
        if (contexts.empty() || contexts.back() != f.Mux->Ctx) contexts.push_back(f.Mux->Ctx);
    }
    if (contexts.empty()) return;
    std::vector<char> sdp(16384);
    if (FF.av_sdp_create(contexts.data(), int(contexts.size()), sdp.data(), int(sdp.size())) >= 0)
        Log(llInfo, QString("SDP:\r\n") + QString::fromUtf8(sdp.data()));
}

void TPipelineState::WriteTrailers()
{
    int failure = 0;
    int failedFile = -1;
    for (size_t i = 0; i < OutputFiles.size(); ++i) {
        TMuxer& mux = *OutputFiles[i].Mux;
        if (!mux.HeaderWritten || mux.TrailerWritten) continue;
        mux.TrailerWritten = true;
        int ret = FF.av_write_trailer(mux.Ctx);
        if (ret >= 0 && mux.Ctx->pb) {
            FF.avio_flush(mux.Ctx->pb);
            if (mux.Ctx->pb->error < 0) ret = mux.Ctx->pb->error;
        }
        if (ret < 0 && !failure) {
            failure = ret;
            failedFile = int(i);
        }
    }
    if (failure) FailCode(QString::asprintf("Could not write trailer for output file #%d", failedFile), failure);
}
