// Demuxing: opening an input with the options set so far, and reading its packets with the
// timestamps moved onto the task's clock.
#include "FFmpegPipelinePrivate.h"
#include "InputSource.h"

#include <QByteArray>
#include <cmath>

namespace {

// Looks a decoder up by name; empty text when it is usable.
QString CheckDecoder(const QString& name, AVMediaType type)
{
    if (name.isEmpty()) return {};
    const AVCodec* codec = FF.avcodec_find_decoder_by_name(name.toUtf8().constData());
    if (!codec) return QString::asprintf("Unknown %s '%s'", "decoder", name.toUtf8().constData());
    if (codec->type != type)
        return QString::asprintf("Invalid %s type '%s'", "decoder", name.toUtf8().constData());
    return {};
}

} // namespace

// Attachments (fonts, covers as files) and data streams are never converted, and a file may
// carry more streams than a task handles: those are discarded, so mapping never picks them and
// their packets are not read into the run. The file itself converts.
void TPipelineState::LeaveOutExtraStreams(AVFormatContext* ctx)
{
    const int file = int(InputFiles.size());
    int kept = 0;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVStream* st = ctx->streams[i];
        const AVMediaType type = st->codecpar->codec_type;
        const char* kind = MediaTypeName(type);
        if (type == AVMEDIA_TYPE_ATTACHMENT || type == AVMEDIA_TYPE_DATA || type == AVMEDIA_TYPE_UNKNOWN) {
            st->discard = AVDISCARD_ALL;
            Log(llInfo, QString::asprintf("Stream #%d.%u (%s) left out: it is not converted", file, i, kind));
        } else if (kept >= MAX_STREAMS) {
            st->discard = AVDISCARD_ALL;
            Log(llWarning, QString::asprintf("Stream #%d.%u (%s) left out: more than %d streams", file, i, kind,
                                             MAX_STREAMS));
        } else {
            ++kept;
        }
    }
}

bool TPipelineState::OpenInput(const QString& fileName)
{
    TFFmpegOptions& o = LiveOptions();
    if (InputFiles.size() >= size_t(MAX_FILES))
        Fail(QString::asprintf("max input files %d reached", MAX_FILES));

    const AVInputFormat* forced = nullptr;
    if (!o.FileFormatName.isEmpty()) {
        forced = FF.av_find_input_format(o.FileFormatName.toUtf8().constData());
        if (!forced) Fail(QString("Unknown input format: \"%1\"").arg(o.FileFormatName));
        o.FileFormatName.clear();
    }

    AVFormatContext* ctx = FF.avformat_alloc_context();
    if (!ctx) Fail("avformat_alloc_context failed");
    auto releaseNames = [&o] {
        o.VideoCodecName.clear();
        o.AudioCodecName.clear();
        o.SubtitleCodecName.clear();
    };

    // Raw demuxers take their parameters as options; others ignore what they do not know.
    AVDictionary* opts = nullptr;
    if (forced) {
        if (o.AudioSampleRate > 0) FF.av_dict_set_int(&opts, "sample_rate", o.AudioSampleRate, 0);
        if (o.AudioChannels > 0) FF.av_dict_set_int(&opts, "channels", o.AudioChannels, 0);
        if (o.FrameRate.num > 0) {
            const QByteArray rate = QString("%1/%2").arg(o.FrameRate.num).arg(o.FrameRate.den).toUtf8();
            FF.av_dict_set(&opts, "framerate", rate.constData(), 0);
        }
        if (o.FrameWidth > 0 && o.FrameHeight > 0) {
            const QByteArray size = QString("%1x%2")
                                        .arg(o.FrameWidth + o.FramePadLeft + o.FramePadRight)
                                        .arg(o.FrameHeight + o.FramePadTop + o.FramePadBottom)
                                        .toUtf8();
            FF.av_dict_set(&opts, "video_size", size.constData(), 0);
        }
        if (o.FramePixFmt != AV_PIX_FMT_NONE)
            FF.av_dict_set(&opts, "pixel_format", FF.av_get_pix_fmt_name(o.FramePixFmt), 0);
    }
    T.CopyFormatOptions(ctx);

    QString err = CheckDecoder(o.VideoCodecName, AVMEDIA_TYPE_VIDEO);
    if (err.isEmpty()) err = CheckDecoder(o.AudioCodecName, AVMEDIA_TYPE_AUDIO);
    if (err.isEmpty()) err = CheckDecoder(o.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE);
    if (!err.isEmpty()) {
        FF.av_dict_free(&opts);
        FF.avformat_free_context(ctx);
        releaseNames();
        T.FErrorText = err;
        return false;
    }

    if (!AttachInputSource(ctx, fileName, &T.FErrorText)) {
        FF.av_dict_free(&opts);
        FF.avformat_free_context(ctx);
        releaseNames();
        return false;
    }
    AVIOContext* attached = ctx->pb;
    const QByteArray name = fileName.toUtf8();
    int ret = FF.avformat_open_input(&ctx, name.constData(), forced, &opts);
    FF.av_dict_free(&opts);
    if (ret < 0) {
        ReleaseInputSource(attached);
        releaseNames();
        T.FErrorText = WithError(fileName, ret);
        return false; // avformat_open_input frees the context on failure
    }
    auto closeCtx = [&] {
        CloseInputContext(&ctx);
        releaseNames();
    };

    if (o.ProgramID >= 0) {
        bool found = false;
        for (unsigned i = 0; i < ctx->nb_streams; ++i) ctx->streams[i]->discard = AVDISCARD_ALL;
        for (unsigned p = 0; p < ctx->nb_programs; ++p) {
            if (ctx->programs[p]->id != o.ProgramID) continue;
            found = true;
            for (unsigned k = 0; k < ctx->programs[p]->nb_stream_indexes; ++k)
                ctx->streams[ctx->programs[p]->stream_index[k]]->discard = AVDISCARD_DEFAULT;
        }
        o.ProgramID = -1;
        if (!found) {
            closeCtx();
            T.FErrorText = "Specified program id not found";
            return false;
        }
    }

    {
        std::lock_guard<std::recursive_mutex> lock(FFmpegLibraryLock());
        ret = FF.avformat_find_stream_info(ctx, nullptr);
    }
    if (ret < 0 && o.Verbose >= 0) {
        T.FErrorText = QString("%1: could not find codec parameters").arg(fileName);
        Log(llVerbose, T.FErrorText);
        closeCtx();
        return false;
    }
    LeaveOutExtraStreams(ctx);

    std::int64_t timestamp = o.StartTime;
    if (ctx->start_time != AV_NOPTS_VALUE) timestamp = SatAdd(timestamp, ctx->start_time);
    if (o.StartTime != 0) {
        ret = FF.av_seek_frame(ctx, -1, timestamp, AVSEEK_FLAG_BACKWARD);
        if (ret < 0 && o.Verbose > 0)
            Log(llVerbose, QString::asprintf("%s: could not seek to position %0.3f",
                                             name.constData(), double(timestamp) / AV_TIME_BASE));
    }
    o.StartTime = 0;

    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVStream* st = ctx->streams[i];
        AVCodecParameters* par = st->codecpar;
        if (st->discard == AVDISCARD_ALL) continue; // left out: its facts must not become the defaults
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO: {
            o.FrameWidth = par->width;
            o.FrameHeight = par->height;
            o.FrameSizeSet = false;
            for (const auto& [n, v] : T.DecoderOptions(AVMEDIA_TYPE_VIDEO))
                if (n == "lowres") {
                    const int steps = std::clamp(v.toInt(), 0, 8);
                    o.FrameWidth = -((-o.FrameWidth) >> steps);
                    o.FrameHeight = -((-o.FrameHeight) >> steps);
                }
            AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
            o.FrameAspectRatio = (sar.num && par->height)
                                     ? av_q2d(sar) * par->width / par->height
                                     : 4.0 / 3.0;
            o.FramePixFmt = AVPixelFormat(par->format);
            const AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
            if (st->r_frame_rate.num && st->avg_frame_rate.num &&
                av_cmp_q(st->r_frame_rate, st->avg_frame_rate) != 0 && o.Verbose >= 0)
                Log(llInfo, QString::asprintf(
                                "Seems stream %d codec frame rate differs from container frame rate: "
                                "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                                int(i), av_q2d(st->avg_frame_rate), st->avg_frame_rate.num,
                                st->avg_frame_rate.den, av_q2d(st->r_frame_rate),
                                st->r_frame_rate.num, st->r_frame_rate.den));
            if (rate.num > 0 && rate.den > 0) o.FrameRate = rate;
            if (o.VideoDisable) st->discard = AVDISCARD_ALL;
            else if (o.VideoDiscard) st->discard = AVDiscard(o.VideoDiscard);
            break;
        }
        case AVMEDIA_TYPE_AUDIO:
            o.AudioChannels = par->ch_layout.nb_channels;
            o.AudioSampleRate = par->sample_rate;
            o.AudioSampleFmt = AVSampleFormat(par->format);
            if (o.AudioDisable) st->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (o.SubtitleDisable) st->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT:
        case AVMEDIA_TYPE_UNKNOWN:
            break;
        default:
            closeCtx();
            Fail("invalid codec_type");
        }
    }

    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > o.TotalDuration &&
        o.RecordingTime == INT64_MAX)
        o.TotalDuration = ctx->duration;

    TInputFile file;
    file.DecoderNames[AVMEDIA_TYPE_VIDEO] =
        o.VideoCodecName.isEmpty() && o.ForcePgmyuvCodec ? QStringLiteral("pgmyuv") : o.VideoCodecName;
    o.ForcePgmyuvCodec = false;
    file.DecoderNames[AVMEDIA_TYPE_AUDIO] = o.AudioCodecName;
    file.DecoderNames[AVMEDIA_TYPE_SUBTITLE] = o.SubtitleCodecName;
    for (int type = 0; type < AVMEDIA_TYPE_NB; ++type) file.DecoderOpts[size_t(type)] = T.DecoderOptions(AVMediaType(type));
    file.Ctx = ctx;
    file.FileName = fileName;
    file.TSOffset = o.CopyTs ? o.InputTSOffset : SatSub(o.InputTSOffset, timestamp);
    const size_t index = InputFiles.size();
    file.TSScale = o.InputTSScale[index];
    o.InputTSOffset = 0;
    InputFiles.push_back(file);

    if (o.Verbose >= 0 && FF.av_dump_format) FF.av_dump_format(ctx, int(index), name.constData(), 0);
    o.VideoChannel = 0;
    releaseNames();
    return true;
}

// Reads the next packet of an input into Packet; answers the library's code.
int TPipelineState::ReadPacket(int fileIndex)
{
    return FF.av_read_frame(InputFiles[size_t(fileIndex)].Ctx, Packet);
}

// Moves a packet's timestamps onto the task's clock. False when the packet is to be dropped.
bool TPipelineState::AdjustTimestamps(TInputFile& file, TInputStream& ist, AVPacket* pkt)
{
    const AVRational tb = ist.St->time_base;
    const std::int64_t offset = FF.av_rescale_q(file.TSOffset, AV_TIME_BASE_Q, tb);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = SatAdd(pkt->dts, offset);
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = SatAdd(pkt->pts, offset);
    const double scale = ist.StreamIndex < MAX_STREAMS ? file.TSScale[size_t(ist.StreamIndex)] : 1.0;
    if (scale != 1.0 && scale > 0.0) {
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = SatRound(double(pkt->dts) * scale);
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = SatRound(double(pkt->pts) * scale);
    }

    // Formats that allow discontinuities (transport and program streams) may jump; keep the
    // clock running by moving the file's offset.
    if (pkt->dts != AV_NOPTS_VALUE && ist.NextPts != AV_NOPTS_VALUE &&
        (file.Ctx->iformat->flags & AVFMT_TS_DISCONT) && !LiveOptions().CopyTs) {
        const std::int64_t dtsUs = FF.av_rescale_q(pkt->dts, tb, AV_TIME_BASE_Q);
        const std::int64_t delta = SatSub(dtsUs, ist.NextPts);
        const std::int64_t threshold = std::int64_t(LiveOptions().DtsDeltaThreshold * AV_TIME_BASE);
        if (delta < -threshold || delta > threshold) {
            file.TSOffset = SatSub(file.TSOffset, delta);
            const std::int64_t d = FF.av_rescale_q(delta, AV_TIME_BASE_Q, tb);
            pkt->dts = SatSub(pkt->dts, d);
            if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = SatSub(pkt->pts, d);
            if (LiveOptions().Verbose > 2)
                Log(llVerbose, QString::asprintf("timestamp discontinuity %lld, new offset= %lld",
                                                 (long long)delta, (long long)file.TSOffset));
        }
    }
    return true;
}
