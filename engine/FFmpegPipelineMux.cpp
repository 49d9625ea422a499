// Muxing: creating an output with its streams, writing packets through the bitstream filters,
// headers and trailers.
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

namespace {

// Encoders the library build may lack, and what replaces them.
struct TEncoderSubstitute {
    const char* Missing;
    const char* Replacement;
};
constexpr TEncoderSubstitute EncoderSubstitutes[] = {
    {"libfaac", "aac"},          {"libvo_aacenc", "aac"}, {"libfdk_aac", "aac"},
    {"libxvid", "mpeg4"},        {"libopencore_amrnb", "aac"}, {"libvo_amrwbenc", "aac"},
    {"libtheora", "mpeg4"},      {"libvorbis", "vorbis"}, {"libmp3lame", "mp2"},
};

// Preferred replacements when a muxer's default codec has no encoder in this build.
constexpr const char* PreferredEncoders[] = {"aac", "libmp3lame", "mp2", "ac3", "pcm_s16le",
                                             "libx264", "mpeg4", "h263", "mpeg2video", "mjpeg"};

const AVCodec* EncoderAcceptedBy(const AVOutputFormat* fmt, AVMediaType type)
{
    for (const char* name : PreferredEncoders) {
        const AVCodec* codec = FF.avcodec_find_encoder_by_name(name);
        if (codec && codec->type == type && FF.avformat_query_codec(fmt, codec->id, FF_COMPLIANCE_NORMAL) == 1)
            return codec;
    }
    return nullptr;
}

const AVCodec* ChooseEncoder(TMuxer& mux, AVMediaType type, const QString& name)
{
    const char* kind = MediaTypeName(type);
    if (!name.isEmpty()) {
        const QByteArray n = name.toUtf8();
        const AVCodec* codec = FF.avcodec_find_encoder_by_name(n.constData());
        if (!codec) {
            for (const auto& s : EncoderSubstitutes) {
                if (name.compare(s.Missing, Qt::CaseInsensitive) != 0) continue;
                codec = FF.avcodec_find_encoder_by_name(s.Replacement);
                if (codec)
                    FFLogger()->Log(nullptr, llWarning,
                                    QString("Encoder '%1' is not available in this library build, using '%2' instead")
                                        .arg(name, s.Replacement));
                break;
            }
        }
        if (!codec) Fail(QString::asprintf("Unknown %s '%s'", "encoder", n.constData()));
        if (codec->type != type) Fail(QString::asprintf("Invalid %s type '%s'", "encoder", n.constData()));
        return codec;
    }
    const QByteArray file = mux.FileName.toUtf8();
    const AVCodecID id = FF.av_guess_codec(mux.Ctx->oformat, nullptr, file.constData(), nullptr, type);
    const AVCodec* codec = id != AV_CODEC_ID_NONE ? FF.avcodec_find_encoder(id) : nullptr;
    if (!codec) {
        codec = EncoderAcceptedBy(mux.Ctx->oformat, type);
        if (!codec) Fail(QString("%1 encoder (codec %2) not available").arg(kind, FF.avcodec_get_name(id)));
        FFLogger()->Log(nullptr, llWarning,
                        QString("No encoder for the %1 codec %2 of format '%3', using '%4' instead")
                            .arg(QString(kind).toLower(), FF.avcodec_get_name(id),
                                 mux.Ctx->oformat->name, codec->name));
    }
    return codec;
}

AVStream* NewStream(TMuxer& mux)
{
    AVStream* st = FF.avformat_new_stream(mux.Ctx, nullptr);
    if (!st) Fail("Could not alloc stream");
    return st;
}

void SetLanguage(AVStream* st, const QString& language)
{
    if (!language.isEmpty()) FF.av_dict_set(&st->metadata, "language", language.toUtf8().constData(), 0);
}

// The options that only a muxer's or encoder's own table knows, for the object that knows them.
void ClaimOptions(const TFFmpegOptions& o, void* obj, AVDictionary** dict)
{
    for (const auto& [name, value] : o.UnclaimedOptions) {
        const QByteArray n = name.toUtf8();
        if (FF.av_opt_find(obj, n.constData(), nullptr, 0, AV_OPT_SEARCH_CHILDREN))
            FF.av_dict_set(dict, n.constData(), value.toUtf8().constData(), 0);
    }
}

void ApplyCommonEncoderSettings(TMuxer& mux, AVCodecContext* enc, int globalFlag)
{
    enc->thread_count = 0; // automatic, as the command line does
    if ((mux.Ctx->oformat->flags & AVFMT_GLOBALHEADER) || globalFlag)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

// "start,end,q/start,end,q/..."
void ParseRcOverride(AVCodecContext* enc, const QString& text)
{
    if (text.isEmpty()) return;
    const QStringList entries = text.split('/', Qt::SkipEmptyParts);
    enc->rc_override = static_cast<RcOverride*>(FF.av_mallocz(sizeof(RcOverride) * size_t(entries.size())));
    if (!enc->rc_override) Fail("av_mallocz fail");
    int i = 0;
    for (const QString& e : entries) {
        const QStringList v = e.split(',');
        bool ok1 = false, ok2 = false, ok3 = false;
        if (v.size() != 3) Fail("error parsing rc_override");
        const int start = v[0].toInt(&ok1), end = v[1].toInt(&ok2), q = v[2].toInt(&ok3);
        if (!ok1 || !ok2 || !ok3) Fail("error parsing rc_override");
        RcOverride& r = enc->rc_override[i++];
        r.start_frame = start;
        r.end_frame = end;
        if (q > 0) { r.qscale = q; r.quality_factor = 1.0f; }
        else { r.qscale = 0; r.quality_factor = -q / 100.0f; }
    }
    enc->rc_override_count = i;
}

void SetMatrix(std::uint16_t*& dest, const std::vector<std::uint16_t>& m)
{
    if (m.size() != 64) return;
    dest = static_cast<std::uint16_t*>(FF.av_mallocz(64 * sizeof(std::uint16_t)));
    if (!dest) Fail("av_mallocz fail");
    for (int i = 0; i < 64; ++i) dest[i] = m[size_t(i)];
}

} // namespace

void TPipelineState::NewVideoStream(TMuxer& mux, int entry)
{
    TFFmpegOptions& o = LiveOptions();
    auto c = std::make_shared<TStreamCoder>();
    c->Mux = &mux;
    c->St = NewStream(mux);
    c->Type = AVMEDIA_TYPE_VIDEO;
    c->St->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    c->BsfNames = o.VideoBitstreamFilters;
    SetLanguage(c->St, o.VideoLanguage);
    if (o.VideoStreamCopy) {
        c->Copy = true;
    } else {
        // "f pgmyuv" writes images with the codec of that name.
        const bool pgmyuv = o.VideoCodecName.isEmpty() && mux.OutputOptions.ForcePgmyuvCodec;
        c->Codec = ChooseEncoder(mux, AVMEDIA_TYPE_VIDEO, pgmyuv ? QStringLiteral("pgmyuv") : o.VideoCodecName);
        AVCodecContext* enc = c->Enc = FF.avcodec_alloc_context3(c->Codec);
        if (!enc) Fail("av_mallocz fail");
        T.CopyCodecOptions(enc, AVMEDIA_TYPE_VIDEO);
        ClaimOptions(o, enc, &c->EncOpts);
        ApplyCommonEncoderSettings(mux, enc, o.VideoGlobalHeader & 1);

        AVRational rate = (o.FrameRate.num > 0 && o.FrameRate.den > 0) ? o.FrameRate : AVRational{25, 1};
        if (c->Codec->supported_framerates && !o.ForceFPS)
            rate = c->Codec->supported_framerates[FF.av_find_nearest_q_idx(rate, c->Codec->supported_framerates)];
        // Encoders of the MPEG-4 family keep the time base within 16 bits.
        if (rate.num > 65535 || rate.den > 65535) {
            FF.av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);
        }
        enc->framerate = rate;
        enc->time_base = av_inv_q(rate);
        enc->width = o.FrameWidth + o.FramePadLeft + o.FramePadRight;
        enc->height = o.FrameHeight + o.FramePadTop + o.FramePadBottom;
        if (o.FrameAspectRatio > 0 && enc->width > 0)
            enc->sample_aspect_ratio =
                FF.av_d2q(o.FrameAspectRatio * enc->height / enc->width, 255);
        c->St->sample_aspect_ratio = enc->sample_aspect_ratio;

        AVPixelFormat fmt = o.FramePixFmt;
        const AVPixelFormat* pixFmts = c->Codec->pix_fmts;
        // The JPEG encoder lists MPEG-range formats too, but opens them only at unofficial
        // compliance: at normal compliance its full-range formats are the ones it takes.
        static constexpr AVPixelFormat JpegPixFmts[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
                                                        AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_NONE};
        if (c->Codec->id == AV_CODEC_ID_MJPEG && enc->strict_std_compliance > FF_COMPLIANCE_UNOFFICIAL)
            pixFmts = JpegPixFmts;
        if (pixFmts) {
            bool supported = false;
            for (const AVPixelFormat* p = pixFmts; *p != AV_PIX_FMT_NONE; ++p)
                if (*p == fmt) supported = true;
            if (!supported) {
                const AVPixelFormat wanted = fmt;
                fmt = fmt == AV_PIX_FMT_NONE
                          ? pixFmts[0]
                          : FF.avcodec_find_best_pix_fmt_of_list(pixFmts, fmt, 0, nullptr);
                if (wanted != AV_PIX_FMT_NONE && fmt != AV_PIX_FMT_NONE)
                    Log(llWarning, QString("Pixel format %1 is not supported by %2, using %3")
                                       .arg(FF.av_get_pix_fmt_name(wanted), c->Codec->name, FF.av_get_pix_fmt_name(fmt)));
            }
        }
        if (fmt == AV_PIX_FMT_NONE) fmt = AV_PIX_FMT_YUV420P;
        enc->pix_fmt = fmt;

        if (o.IntraOnly) enc->gop_size = 0;
        if (o.VideoQScale > 0) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = int(FF_QP2LAMBDA * o.VideoQScale);
        }
        SetMatrix(enc->intra_matrix, o.IntraMatrix);
        SetMatrix(enc->inter_matrix, o.InterMatrix);
        ParseRcOverride(enc, o.VideoRCOverride);
        if (o.IntraDCPrecision > 8) enc->intra_dc_precision = o.IntraDCPrecision - 8;
        if (o.DoPSNR) enc->flags |= AV_CODEC_FLAG_PSNR;
        if (o.DoPass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
        if (o.DoPass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
        if (o.VideoCodecTag) enc->codec_tag = o.VideoCodecTag;
    }
    if (o.VideoCodecTag) c->St->codecpar->codec_tag = o.VideoCodecTag;
    c->CropTop = o.FrameTopBand;
    c->CropBottom = o.FrameBottomBand;
    c->CropLeft = o.FrameLeftBand;
    c->CropRight = o.FrameRightBand;
    c->PadTop = o.FramePadTop;
    c->PadBottom = o.FramePadBottom;
    c->PadLeft = o.FramePadLeft;
    c->PadRight = o.FramePadRight;
    c->PadColor = o.PadColor;
    c->Filters = o.VideoFilters;
    c->ScalerFlags = T.ScalerFlags();
    Coders[size_t(entry)].push_back(c);
    o.VideoCodecName.clear();
    o.VideoStreamCopy = false;
    o.VideoLanguage.clear();
}

void TPipelineState::NewAudioStream(TMuxer& mux, int entry)
{
    TFFmpegOptions& o = LiveOptions();
    auto c = std::make_shared<TStreamCoder>();
    c->Mux = &mux;
    c->St = NewStream(mux);
    c->Type = AVMEDIA_TYPE_AUDIO;
    c->St->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    c->BsfNames = o.AudioBitstreamFilters;
    SetLanguage(c->St, o.AudioLanguage);
    if (o.AudioStreamCopy) {
        c->Copy = true;
    } else {
        c->Codec = ChooseEncoder(mux, AVMEDIA_TYPE_AUDIO, o.AudioCodecName);
        AVCodecContext* enc = c->Enc = FF.avcodec_alloc_context3(c->Codec);
        if (!enc) Fail("av_mallocz fail");
        T.CopyCodecOptions(enc, AVMEDIA_TYPE_AUDIO);
        ClaimOptions(o, enc, &c->EncOpts);
        ApplyCommonEncoderSettings(mux, enc, o.VideoGlobalHeader & 2);

        // The nearest rate, channel count and sample format the encoder supports.
        int rate = o.AudioSampleRate > 0 ? o.AudioSampleRate : 44100;
        if (c->Codec->supported_samplerates) {
            int best = c->Codec->supported_samplerates[0];
            for (const int* r = c->Codec->supported_samplerates; *r; ++r)
                if (std::abs(*r - rate) < std::abs(best - rate)) best = *r;
            if (best != rate)
                Log(llWarning, QString("Sample rate %1 Hz is not supported by %2, using %3 Hz")
                                   .arg(rate).arg(c->Codec->name).arg(best));
            rate = best;
        }
        enc->sample_rate = rate;
        enc->time_base = AVRational{1, rate};
        int channels = o.AudioChannels > 0 ? o.AudioChannels : 2;
        if (c->Codec->ch_layouts && c->Codec->ch_layouts[0].nb_channels) {
            const AVChannelLayout* best = &c->Codec->ch_layouts[0];
            for (const AVChannelLayout* l = c->Codec->ch_layouts; l->nb_channels; ++l)
                if (std::abs(l->nb_channels - channels) < std::abs(best->nb_channels - channels)) best = l;
            if (best->nb_channels != channels)
                Log(llWarning, QString("%1 channels are not supported by %2, using %3")
                                   .arg(channels).arg(c->Codec->name).arg(best->nb_channels));
            FF.av_channel_layout_copy(&enc->ch_layout, best);
        } else {
            FF.av_channel_layout_default(&enc->ch_layout, channels);
        }
        AVSampleFormat fmt = o.AudioSampleFmt;
        if (c->Codec->sample_fmts) {
            bool supported = false;
            for (const AVSampleFormat* f = c->Codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
                if (*f == fmt) supported = true;
            if (!supported) {
                const AVSampleFormat want = fmt;
                fmt = c->Codec->sample_fmts[0];
                // Prefer the same sample type in the other layout (s16 <-> s16p, flt <-> fltp).
                for (const AVSampleFormat* f = c->Codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
                    if (want != AV_SAMPLE_FMT_NONE && FF.av_get_packed_sample_fmt(*f) == FF.av_get_packed_sample_fmt(want)) {
                        fmt = *f;
                        break;
                    }
            }
        }
        if (fmt == AV_SAMPLE_FMT_NONE) fmt = AV_SAMPLE_FMT_S16;
        enc->sample_fmt = fmt;
        if (o.AudioQScale > -99999.0f) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = int(FF_QP2LAMBDA * o.AudioQScale);
        }
        if (o.AudioCodecTag) enc->codec_tag = o.AudioCodecTag;
    }
    if (o.AudioCodecTag) c->St->codecpar->codec_tag = o.AudioCodecTag;
    Coders[size_t(entry)].push_back(c);
    o.AudioCodecName.clear();
    o.AudioStreamCopy = false;
    o.AudioLanguage.clear();
}

void TPipelineState::NewSubtitleStream(TMuxer& mux, int entry)
{
    TFFmpegOptions& o = LiveOptions();
    auto c = std::make_shared<TStreamCoder>();
    c->Mux = &mux;
    c->St = NewStream(mux);
    c->Type = AVMEDIA_TYPE_SUBTITLE;
    c->St->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    c->BsfNames = o.SubtitleBitstreamFilters;
    SetLanguage(c->St, o.SubtitleLanguage);
    if (o.SubtitleStreamCopy) {
        c->Copy = true;
    } else {
        c->Codec = ChooseEncoder(mux, AVMEDIA_TYPE_SUBTITLE, o.SubtitleCodecName);
        c->Enc = FF.avcodec_alloc_context3(c->Codec);
        if (!c->Enc) Fail("av_mallocz fail");
        T.CopyCodecOptions(c->Enc, AVMEDIA_TYPE_SUBTITLE);
        ClaimOptions(o, c->Enc, &c->EncOpts);
        c->Enc->time_base = AV_TIME_BASE_Q;
        if (o.SubtitleCodecTag) c->Enc->codec_tag = o.SubtitleCodecTag;
    }
    Coders[size_t(entry)].push_back(c);
    o.SubtitleCodecName.clear();
    o.SubtitleStreamCopy = false;
    o.SubtitleLanguage.clear();
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
            if (f.Ctx->duration != AV_NOPTS_VALUE && f.Ctx->duration > 0) total += f.Ctx->duration;
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
    AVFormatContext* oc = c.Mux->Ctx;
    pkt->stream_index = c.St->index;
    // Muxers refuse decode times that do not increase; nudge them as the command line does.
    if (!(oc->oformat->flags & AVFMT_NOTIMESTAMPS) && pkt->dts != AV_NOPTS_VALUE && c.LastDts != AV_NOPTS_VALUE &&
        pkt->dts <= c.LastDts) {
        pkt->dts = c.LastDts + 1;
        if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < pkt->dts) pkt->pts = pkt->dts;
    }
    if (pkt->dts != AV_NOPTS_VALUE) c.LastDts = pkt->dts;
    const std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (ts != AV_NOPTS_VALUE) {
        const double t = double(ts + pkt->duration) * av_q2d(c.St->time_base);
        if (t > c.LastTime) c.LastTime = t;
    }
    switch (c.Type) {
    case AVMEDIA_TYPE_VIDEO: s.VideoSize += pkt->size; break;
    case AVMEDIA_TYPE_AUDIO: s.AudioSize += pkt->size; break;
    default: s.ExtraSize += pkt->size; break;
    }
    const int ret = FF.av_interleaved_write_frame(oc, pkt);
    if (ret < 0) FailCode("av_interleaved_write_frame()", ret);
}

} // namespace

void TPipelineState::WritePacket(TStreamCoder& c, AVPacket* pkt)
{
    while (c.BsfPackets.size() < c.Bsfs.size()) {
        c.BsfPackets.push_back(FF.av_packet_alloc());
        if (!c.BsfPackets.back()) Fail("av_mallocz fail");
    }
    FilterAndWrite(*this, c, pkt, 0, c.BsfPackets);
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
