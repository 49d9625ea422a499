// Output stream set-up at the start of a run: stream copy or encoding, two-pass log files,
// bitstream filters, and the opening and closing of encoders and decoders.
#include "FFmpegPipelinePrivate.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstring>

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
            if (T.PreviewFlags.load()) Fail("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
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
