// Encoders, from choosing one to closing it: the streams of a new output with their encoder
// settings, the choice between stream copy and encoding at the start of a run, two-pass log
// files, bitstream filters, and the opening and closing of encoders and decoders.
#include "FFmpegPipelinePrivate.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cmath>
#include <cstring>

void ClaimOptions(const TFFmpegOptions& o, void* obj, AVDictionary** dict)
{
    for (const auto& [name, value] : o.UnclaimedOptions) {
        const QByteArray n = name.toUtf8();
        if (FF.av_opt_find(obj, n.constData(), nullptr, 0, AV_OPT_SEARCH_CHILDREN))
            FF.av_dict_set(dict, n.constData(), value.toUtf8().constData(), 0);
    }
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

bool SubtitleKindsMatch(const AVCodec* encoder, AVCodecID input)
{
    const AVCodecDescriptor* in = FF.avcodec_descriptor_get(input);
    const AVCodecDescriptor* out = encoder ? FF.avcodec_descriptor_get(encoder->id) : nullptr;
    if (!in || !out) return true;
    const int pictures = AV_CODEC_PROP_BITMAP_SUB, text = AV_CODEC_PROP_TEXT_SUB;
    if ((in->props & pictures) && !(out->props & pictures)) return false;
    if ((in->props & text) && !(in->props & pictures) && !(out->props & text)) return false;
    return true;
}

const AVCodec* TPipelineState::SubtitleEncoderFor(TMuxer& mux)
{
    const TFFmpegOptions& o = LiveOptions();
    if (o.SubtitleStreamCopy) return nullptr;
    try {
        return ChooseEncoder(mux, AVMEDIA_TYPE_SUBTITLE, o.SubtitleCodecName);
    } catch (const FFmpegException&) {
        return nullptr; // making the stream says why
    }
}

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
    c->SizeSet = o.FrameSizeSet;
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

void TPipelineState::SetUpOutputStream(TOutputStream& ost)
{
    TStreamCoder& c = *ost.C;
    TInputStream& ist = *ost.Source;
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    const AVCodecParameters* in = ist.St->codecpar;
    FF.av_dict_copy(&c.St->metadata, ist.St->metadata, AV_DICT_DONT_OVERWRITE);

    if (c.Copy) {
        switch (c.Type) {
        case AVMEDIA_TYPE_VIDEO:
            if (T.CustomHook) Fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
            if (!Hooks.empty()) Fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
            if (T.ListenedPreviewFlags())
                Fail("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
            break;
        case AVMEDIA_TYPE_AUDIO:
            if (o.AudioVolume != 256) Fail("-acodec copy and -vol are incompatible (frames are not decoded)");
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            break;
        default:
            Fail("invalid codec_type of output stream");
        }
        const std::uint32_t tag = c.St->codecpar->codec_tag;
        int ret = FF.avcodec_parameters_copy(c.St->codecpar, in);
        if (ret < 0) FailCode("avcodec_parameters_copy", ret);
        // Keep the input's tag only where the muxer knows it for this codec.
        const AVOutputFormat* fmt = c.Mux->Ctx->oformat;
        if (tag) c.St->codecpar->codec_tag = tag;
        else if (fmt->codec_tag && FF.av_codec_get_id(fmt->codec_tag, in->codec_tag) != in->codec_id)
            c.St->codecpar->codec_tag = 0;
        else if (!fmt->codec_tag) c.St->codecpar->codec_tag = 0;
        if (c.Type == AVMEDIA_TYPE_AUDIO &&
            ((in->codec_id == AV_CODEC_ID_MP3 && in->block_align == 1) || in->codec_id == AV_CODEC_ID_AC3))
            c.St->codecpar->block_align = 0;
        c.St->time_base = ist.St->time_base;
        c.St->avg_frame_rate = ist.St->avg_frame_rate;
        c.St->r_frame_rate = ist.St->r_frame_rate;
        c.St->sample_aspect_ratio = ist.St->sample_aspect_ratio;
        return;
    }

    ist.Decoding = true;
    AVCodecContext* enc = c.Enc;
    switch (c.Type) {
    case AVMEDIA_TYPE_AUDIO:
        c.Fifo = FF.av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 1024);
        if (!c.Fifo) Fail("av_fifo_alloc fail");
        break;
    case AVMEDIA_TYPE_VIDEO:
        if (in->format == AV_PIX_FMT_NONE) Fail("Video pixel format is unknown, stream cannot be encoded");
        if (enc->width <= 0 || enc->height <= 0) {
            enc->width = in->width;
            enc->height = in->height;
        }
        if (!c.Filters.isEmpty()) {
            // A user chain may change the size: the encoder takes the graph's output.
            AVFrame* probe = FF.av_frame_alloc();
            probe->width = in->width;
            probe->height = in->height;
            probe->format = in->format;
            probe->sample_aspect_ratio = in->sample_aspect_ratio;
            try {
                if (!BuildVideoGraph(c, probe)) Fail("error cropping picture");
            } catch (...) {
                FF.av_frame_free(&probe);
                throw;
            }
            FF.av_frame_free(&probe);
            enc->width = FF.av_buffersink_get_w(c.BufferSink);
            enc->height = FF.av_buffersink_get_h(c.BufferSink);
        }
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        // Bitmap encoders place their pictures on the input's canvas.
        if (enc->width <= 0 || enc->height <= 0) {
            enc->width = in->width;
            enc->height = in->height;
        }
        if (ist.St->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && in->extradata_size > 0 && !enc->subtitle_header) {
            enc->subtitle_header = static_cast<std::uint8_t*>(FF.av_mallocz(size_t(in->extradata_size) + 1));
            if (enc->subtitle_header) {
                std::memcpy(enc->subtitle_header, in->extradata, size_t(in->extradata_size));
                enc->subtitle_header_size = in->extradata_size;
            }
        }
        break;
    default:
        Fail("invalid codec_type of output stream");
    }
    if (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) OpenPassLog(c, int(&ost - OutputStreams.data()));
}

void TPipelineState::OpenPassLog(TStreamCoder& c, int streamIndex)
{
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    const QString prefix = o.PassLogFileName.isEmpty() ? QStringLiteral("ffmpeg2pass") : o.PassLogFileName;
    const QString name = QString("%1-%2.log").arg(prefix).arg(streamIndex).left(1023);
    const QByteArray path = name.toLocal8Bit();
    if (c.Enc->flags & AV_CODEC_FLAG_PASS1) {
        c.PassLog = std::fopen(path.constData(), "wb");
        if (!c.PassLog)
            Fail(QString::asprintf("Cannot write log file %s for pass-1 encoding", path.constData()) + ": " +
                 QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QString::asprintf("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", path.constData()));
    const QByteArray text = file.readAll();
    c.StatsIn = static_cast<char*>(FF.av_malloc(size_t(text.size()) + 1));
    if (!c.StatsIn)
        Fail(QString::asprintf("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
                               path.constData()));
    std::memcpy(c.StatsIn, text.constData(), size_t(text.size()));
    c.StatsIn[text.size()] = 0;
    c.Enc->stats_in = c.StatsIn;
}

namespace {

void OpenBitstreamFilters(TStreamCoder& c)
{
    const AVCodecParameters* par = c.St->codecpar;
    AVRational tb = c.St->time_base;
    for (const QString& name : c.BsfNames) {
        const QByteArray n = name.section('=', 0, 0).toUtf8();
        const AVBitStreamFilter* filter = FF.av_bsf_get_by_name(n.constData());
        if (!filter) Fail(QString::asprintf("Unknown bitstream filter %s", n.constData()));
        AVBSFContext* bsf = nullptr;
        int ret = FF.av_bsf_alloc(filter, &bsf);
        if (ret < 0) FailCode(QString::asprintf("%s init", n.constData()), ret);
        c.Bsfs.push_back(bsf);
        FF.avcodec_parameters_copy(bsf->par_in, par);
        bsf->time_base_in = tb;
        ret = FF.av_bsf_init(bsf);
        if (ret < 0) FailCode(QString::asprintf("%s init", n.constData()), ret);
        par = bsf->par_out;
        tb = bsf->time_base_out;
    }
    if (!c.Bsfs.empty()) FF.avcodec_parameters_copy(c.St->codecpar, par);
}

} // namespace

void TPipelineState::OpenCodecs()
{
    std::vector<TStreamCoder*> seen;
    for (size_t i = 0; i < OutputStreams.size(); ++i) {
        TOutputStream& ost = OutputStreams[i];
        TStreamCoder& c = *ost.C;
        if (std::find(seen.begin(), seen.end(), &c) != seen.end()) continue;
        seen.push_back(&c);
        if (!c.Copy) {
            if (!c.Codec)
                Fail(QString::asprintf("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                                       c.Enc ? int(c.Enc->codec_id) : 0, ost.FileIndex, ost.StreamIndex,
                                       MediaTypeName(c.Type)));
            AVDictionary* opts = nullptr;
            FF.av_dict_copy(&opts, c.EncOpts, 0);
            int ret;
            {
                std::lock_guard<std::recursive_mutex> lock(FFmpegLibraryLock());
                ret = FF.avcodec_open2(c.Enc, c.Codec, &opts);
            }
            FF.av_dict_free(&opts);
            if (ret < 0)
                FailCode(QString::asprintf("Error while opening encoder for output stream #%d.%d (%s) - maybe "
                                           "incorrect parameters such as bit_rate, rate, width or height. Please "
                                           "check error log message to find out more detail information.",
                                           ost.FileIndex, ost.StreamIndex, MediaTypeName(c.Type)),
                         ret);
            c.EncoderOpen = true;
            ret = FF.avcodec_parameters_from_context(c.St->codecpar, c.Enc);
            if (ret < 0) FailCode("avcodec_parameters_from_context", ret);
            c.St->time_base = c.Enc->time_base;
            if (c.Type == AVMEDIA_TYPE_VIDEO) {
                c.St->avg_frame_rate = c.Enc->framerate;
                c.St->r_frame_rate = c.Enc->framerate;
            }
            if (c.Type == AVMEDIA_TYPE_AUDIO) {
                const int frameSize = (c.Enc->frame_size > 0 &&
                                       !(c.Codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
                                          ? c.Enc->frame_size
                                          : 4096;
                c.AudioFrame = FF.av_frame_alloc();
                if (!c.AudioFrame) Fail("Out of memory in do_audio_out");
                c.AudioFrame->format = c.Enc->sample_fmt;
                c.AudioFrame->sample_rate = c.Enc->sample_rate;
                c.AudioFrame->nb_samples = frameSize;
                FF.av_channel_layout_copy(&c.AudioFrame->ch_layout, &c.Enc->ch_layout);
                if (FF.av_frame_get_buffer(c.AudioFrame, 0) < 0) Fail("Out of memory in do_audio_out");
            }
        }
        OpenBitstreamFilters(c);
    }

    for (TInputStream& ist : InputStreams) {
        if (!ist.Decoding) continue;
        const AVCodecParameters* par = ist.St->codecpar;
        const TInputFile& file = InputFiles[size_t(ist.FileIndex)];
        const int type = par->codec_type >= 0 && par->codec_type < AVMEDIA_TYPE_NB ? par->codec_type : AVMEDIA_TYPE_DATA;
        const QString& forced = file.DecoderNames[size_t(type)];
        const AVCodec* codec = forced.isEmpty() ? FF.avcodec_find_decoder(par->codec_id)
                                                : FF.avcodec_find_decoder_by_name(forced.toUtf8().constData());
        if (!codec)
            Fail(QString::asprintf("Decoder (codec id %d) not found for input stream #%d.%d (%s)", int(par->codec_id),
                                   ist.FileIndex, ist.StreamIndex, MediaTypeName(par->codec_type)));
        ist.Dec = FF.avcodec_alloc_context3(codec);
        if (!ist.Dec) Fail("av_mallocz fail");
        FF.avcodec_parameters_to_context(ist.Dec, par);
        ist.Dec->codec_id = codec->id; // a forced decoder reads the stream as its own codec
        ist.Dec->pkt_timebase = ist.St->time_base;
        ist.Dec->thread_count = 0;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) ist.Dec->framerate = ist.St->avg_frame_rate;
        AVDictionary* opts = nullptr;
        for (const auto& [name, value] : file.DecoderOpts[size_t(type)])
            FF.av_dict_set(&opts, name.constData(), value.constData(), 0);
        int ret;
        {
            std::lock_guard<std::recursive_mutex> lock(FFmpegLibraryLock());
            ret = FF.avcodec_open2(ist.Dec, codec, &opts);
        }
        FF.av_dict_free(&opts);
        if (ret < 0)
            FailCode(QString::asprintf("Error while opening decoder for input stream #%d.%d (%s)", ist.FileIndex,
                                       ist.StreamIndex, MediaTypeName(par->codec_type)),
                     ret);
    }
}

void TPipelineState::CloseCodecs()
{
    std::lock_guard<std::recursive_mutex> lock(FFmpegLibraryLock());
    for (TOutputStream& ost : OutputStreams)
        if (ost.C && ost.C->Enc) {
            FF.avcodec_free_context(&ost.C->Enc);
            ost.C->EncoderOpen = false;
        }
    for (auto& coders : Coders)
        for (auto& c : coders)
            if (c && c->Enc) FF.avcodec_free_context(&c->Enc);
    for (TInputStream& ist : InputStreams)
        if (ist.Dec) FF.avcodec_free_context(&ist.Dec);
}
