#include "AVProbe.h"

#include "FFmpegApi.h"
#include "FFmpegLoader.h"
#include "FFmpegLock.h"
#include "FFmpegLogger.h"
#include "InputSource.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <chrono>
#include <thread>

#include <sys/stat.h>

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};

int ClampToInt(std::int64_t value)
{
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return int(value);
}

QString MetadataValue(AVDictionary* metadata, const char* key)
{
    const AVDictionaryEntry* entry = FF.av_dict_get(metadata, key, nullptr, 0);
    return entry && entry->value ? QString::fromUtf8(entry->value).trimmed() : QString();
}

// Leading integer of a text such as "2009", "2009-05-01" or "3/12"; -1 when none.
int LeadingInt(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*(\\d{1,9})"));
    const QRegularExpressionMatch m = digits.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// A stream whose time base has a zero denominator would divide by zero in every conversion.
void RepairTimeBase(AVStream* stream)
{
    if (stream->time_base.den == 0)
        stream->time_base.den = stream->time_base.num != 0 ? stream->time_base.num : 1;
    if (stream->time_base.num == 0)
        stream->time_base.num = 1;
}

std::int64_t ToMicroseconds(std::int64_t value, AVRational timeBase)
{
    return value == AV_NOPTS_VALUE ? -1 : FF.av_rescale_q(value, timeBase, MicrosecondBase);
}

// Length of one picture in microseconds, from the stream's frame rate (25 per second when unknown).
std::int64_t FrameDuration(const AVStream* stream)
{
    const AVRational rate = stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        return std::int64_t(1000000.0 * rate.den / rate.num);
    return 40000;
}

bool IsImageSequence(const AVFormatContext* context)
{
    return context && context->iformat && context->iformat->name &&
           qstrcmp(context->iformat->name, "image2") == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCustomAVProbe

TCustomAVProbe::TCustomAVProbe(QObject* owner) : TFFBaseComponent(owner) {}

TCustomAVProbe::~TCustomAVProbe() { TCustomAVProbe::CloseFile(); }

void TCustomAVProbe::Report(int libraryLevel, const QString& message)
{
    FLastErrorMessage = message;
    FFLogger()->Log(this, LibraryToLogLevel(libraryLevel), message);
}

bool TCustomAVProbe::LoadFile(const QString& fileName, const QString& formatName)
{
    if (!FFLoader().IsLoaded(lkAVCodec))
        throw FFmpegException(QStringLiteral("LibAVCodec not loaded."));
    if (!FFLoader().IsLoaded(lkAVFormat))
        throw FFmpegException(QStringLiteral("LibAVFormat not loaded."));
    if (!FFLoader().IsLoaded(lkAVUtil))
        throw FFmpegException(QStringLiteral("LibAVUtil not loaded."));
    if (!FFLoader().IsLoaded(lkSwScale))
        throw FFmpegException(QStringLiteral("LibSwScale not loaded."));

    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!formatName.isEmpty()) {
        format = FF.av_find_input_format(formatName.toUtf8().constData());
        if (!format) {
            FLastErrorMessage = QStringLiteral("Unknown input format: %1").arg(formatName);
            return false;
        }
    }

    // A folder or a named pipe would fail late or block forever inside the library.
    const QByteArray encoded = QFile::encodeName(fileName);
    struct stat st {};
    if (::stat(encoded.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Report(AV_LOG_ERROR, FFErrorMessage(fileName, S_ISDIR(st.st_mode) ? AVERROR(EISDIR) : AVERROR(EINVAL)));
        return false;
    }

    FContext = FF.avformat_alloc_context();
    if (!FContext) {
        Report(AV_LOG_ERROR, FFErrorMessage(fileName, AVERROR(ENOMEM)));
        return false;
    }
    FOwned = true;
    QString sourceError;
    if (!AttachInputSource(FContext, fileName, &sourceError)) {
        FF.avformat_free_context(FContext);
        FContext = nullptr;
        FOwned = false;
        Report(AV_LOG_ERROR, sourceError);
        return false;
    }
    AVIOContext* attached = FContext->pb;
    const int opened = FF.avformat_open_input(&FContext, fileName.toUtf8().constData(), format, nullptr);
    if (opened < 0) {
        ReleaseInputSource(attached);
        FContext = nullptr; // freed by the library
        Report(AV_LOG_ERROR, FFErrorMessage(fileName, opened));
        CloseFile();
        return false;
    }
    if (FF.avformat_find_stream_info(FContext, nullptr) < 0) {
        FLastErrorMessage = QStringLiteral("%1: could not find codec parameters").arg(fileName);
        CloseFile();
        return false;
    }
    ComputeFacts();
    FForcedFormat = formatName;
    return true;
}

void TCustomAVProbe::AttachContext(AVFormatContext* context)
{
    CloseFile();
    FContext = context;
    FOwned = false;
    ComputeFacts();
}

void TCustomAVProbe::CloseFile()
{
    if (FContext) {
        if (FOwned && FF.avformat_close_input)
            CloseInputContext(&FContext);
        FContext = nullptr;
    }
    FOwned = false;
    FForcedFormat.clear();
    ComputeFacts();
}

void TCustomAVProbe::ComputeFacts()
{
    FFileSize = -1;
    FStreamCount = FProgramCount = -1;
    FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
    FFirstAudioStream = FFirstVideoStream = FFirstSubtitleStream = -1;
    if (!FContext)
        return;

    std::int64_t size = FContext->pb ? FF.avio_size(FContext->pb) : -1;
    if (size <= 0 && FContext->url) {
        struct stat st {};
        if (::stat(FContext->url, &st) == 0 && S_ISREG(st.st_mode))
            size = st.st_size;
        else if (size == 0)
            size = -1;
    }
    FFileSize = size > 0 ? size : -1;

    FStreamCount = int(FContext->nb_streams);
    FProgramCount = int(FContext->nb_programs);
    FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
    for (int i = 0; i < FStreamCount; ++i) {
        const AVCodecParameters* par = FContext->streams[i]->codecpar;
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            if (FVideoStreamCount++ == 0)
                FFirstVideoStream = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            if (FAudioStreamCount++ == 0)
                FFirstAudioStream = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (FSubtitleStreamCount++ == 0)
                FFirstSubtitleStream = i;
            break;
        default:
            break;
        }
    }
}

AVStream* TCustomAVProbe::StreamOrReport(int& index, int mediaType, const char* noneText, const char* wrongText)
{
    if (index == -1) {
        index = mediaType == AVMEDIA_TYPE_AUDIO ? FFirstAudioStream : FFirstVideoStream;
        if (index < 0) {
            Report(AV_LOG_ERROR, QLatin1String(noneText));
            return nullptr;
        }
    } else if (index < 0 || index >= FStreamCount) {
        Report(AV_LOG_ERROR, QStringLiteral("stream index #%1 is invalid.").arg(index));
        return nullptr;
    }
    AVStream* stream = FContext->streams[index];
    if (stream->codecpar->codec_type != mediaType) {
        Report(AV_LOG_ERROR, QString::asprintf(wrongText, index));
        return nullptr;
    }
    return stream;
}

void TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& info)
{
    info = TFileStreamInfo();
    if (!FContext) {
        Report(AV_LOG_WARNING, QStringLiteral("file not loaded."));
        return;
    }
    if (FContext->start_time != AV_NOPTS_VALUE)
        info.StartTime = FContext->start_time;
    if (FContext->duration != AV_NOPTS_VALUE && FContext->duration >= 0)
        info.Duration = FContext->duration;
    if (FContext->bit_rate > 0)
        info.BitRate = ClampToInt(FContext->bit_rate);

    AVDictionary* m = FContext->metadata;
    const QString created = MetadataValue(m, "creation_time");
    if (!created.isEmpty()) {
        const QDateTime when = QDateTime::fromString(created, Qt::ISODateWithMs);
        if (when.isValid())
            info.Timestamp = when.toSecsSinceEpoch();
    }
    QString year = MetadataValue(m, "date");
    if (year.isEmpty())
        year = MetadataValue(m, "year");
    info.Year = LeadingInt(year);
    info.Track = LeadingInt(MetadataValue(m, "track"));
    info.Title = MetadataValue(m, "title");
    info.Author = MetadataValue(m, "author");
    if (info.Author.isEmpty())
        info.Author = MetadataValue(m, "artist"); // today's muxers write the author here
    info.Copyright = MetadataValue(m, "copyright");
    info.Comment = MetadataValue(m, "comment");
    info.Album = MetadataValue(m, "album");
    info.Genre = MetadataValue(m, "genre");
}

namespace {

// The facts audio and video streams share.
template <typename TStreamRecord>
void FillCommonStreamInfo(AVStream* stream, const QString& codec, TStreamRecord& info)
{
    RepairTimeBase(stream);
    info.Language = MetadataValue(stream->metadata, "language");
    info.Codec = codec;
    info.RawStartTime = stream->start_time;
    info.StartTime = ToMicroseconds(stream->start_time, stream->time_base);
    info.RawDuration = stream->duration;
    info.Duration = ToMicroseconds(stream->duration, stream->time_base);
    const std::int64_t bitRate = stream->codecpar->bit_rate;
    info.BitRate = bitRate > 0 ? ClampToInt(bitRate) : -1;
}

} // namespace

void TCustomAVProbe::GetAudioStreamInfo(int streamIndex, TAudioStreamInfo& info)
{
    info = TAudioStreamInfo();
    if (!FContext) {
        Report(AV_LOG_WARNING, QStringLiteral("file not loaded."));
        return;
    }
    AVStream* stream = StreamOrReport(streamIndex, AVMEDIA_TYPE_AUDIO, "no audio stream.",
                                      "stream #%d is not audio stream.");
    if (!stream)
        return;
    FillCommonStreamInfo(stream, CodecDescription(streamIndex), info);
    const AVCodecParameters* par = stream->codecpar;
    info.Channels = par->ch_layout.nb_channels > 0 ? par->ch_layout.nb_channels : -1;
    info.SampleRate = par->sample_rate > 0 ? par->sample_rate : -1;
    info.SampleFormat = par->format;
}

void TCustomAVProbe::GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info)
{
    info = TVideoStreamInfo();
    if (!FContext) {
        Report(AV_LOG_WARNING, QStringLiteral("file not loaded."));
        return;
    }
    AVStream* stream = StreamOrReport(streamIndex, AVMEDIA_TYPE_VIDEO, "no video stream.",
                                      "stream #%d is not video stream.");
    if (!stream)
        return;
    FillCommonStreamInfo(stream, CodecDescription(streamIndex), info);
    const AVCodecParameters* par = stream->codecpar;
    info.Height = par->height > 0 ? par->height : -1;
    info.Width = par->width > 0 ? par->width : -1;
    // The container's ratio wins over the codec's, as players do.
    AVRational sar = stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio : par->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        info.DisplayAspect = 0.0f;
    else if (par->width > 0 && par->height > 0)
        info.DisplayAspect = float(double(sar.num) / sar.den * par->width / par->height);
    info.PixelFormat = par->format;
    if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0) {
        info.FrameRateNum = stream->r_frame_rate.num;
        info.FrameRateDen = stream->r_frame_rate.den;
    }
}

QString TCustomAVProbe::GetFileName()
{
    if (!FContext) {
        Report(AV_LOG_WARNING, QStringLiteral("file not loaded."));
        return {};
    }
    return FContext->url ? QString::fromUtf8(FContext->url) : QString();
}

QString TCustomAVProbe::CodecDescription(int streamIndex, bool encoder) const
{
    if (!FContext || streamIndex < 0 || streamIndex >= int(FContext->nb_streams))
        return {};
    const AVCodecParameters* par = FContext->streams[streamIndex]->codecpar;
    const AVCodec* codec = encoder ? FF.avcodec_find_encoder(par->codec_id) : FF.avcodec_find_decoder(par->codec_id);
    if (codec) {
        const QString name = QString::fromUtf8(codec->name);
        const QString longName = codec->long_name ? QString::fromUtf8(codec->long_name).trimmed() : QString();
        return longName.isEmpty() ? name : QStringLiteral("%1(%2)").arg(name, longName);
    }
    if (par->codec_id == AV_CODEC_ID_MPEG2TS)
        return QStringLiteral("mpeg2ts");
    if (par->codec_id != AV_CODEC_ID_NONE) {
        const QString name = QString::fromUtf8(FF.avcodec_get_name(par->codec_id)).left(32).trimmed();
        if (!name.isEmpty() && name != QLatin1String("unknown_codec"))
            return name;
    }
    const unsigned tag = par->codec_tag;
    const int c[4] = {int(tag & 0xFF), int((tag >> 8) & 0xFF), int((tag >> 16) & 0xFF), int(tag >> 24)};
    bool printable = true;
    for (int ch : c)
        printable = printable && ch >= 32 && ch <= 126;
    if (printable)
        return QString::asprintf("%c%c%c%c / 0x%04X", c[0], c[1], c[2], c[3], tag);
    return QString::asprintf("0x%04x", tag);
}

// ---------------------------------------------------------------------------------------------
// TAVProbe

TAVProbe::TAVProbe(QObject* owner) : TCustomAVProbe(owner) {}

TAVProbe::~TAVProbe()
{
    TAVProbe::CloseFile();
    if (FF.av_frame_free) {
        FF.av_frame_free(&FFrame);
        FF.av_frame_free(&FScratch);
    }
    if (FF.av_packet_free)
        FF.av_packet_free(&FPacket);
}

void TAVProbe::ComputeFacts()
{
    TCustomAVProbe::ComputeFacts();
    FCurrentStream = FFirstVideoStream >= 0 ? FFirstVideoStream : FFirstAudioStream;
    FStartOffset = 0;
    if (!FContext)
        return;
    if (FCurrentStream >= 0) {
        AVStream* stream = FContext->streams[FCurrentStream];
        RepairTimeBase(stream);
        if (stream->start_time != AV_NOPTS_VALUE)
            FStartOffset = stream->start_time;
    } else if (FContext->start_time != AV_NOPTS_VALUE) {
        FStartOffset = FContext->start_time;
    }
}

void TAVProbe::CloseFile()
{
    ForgetPicture();
    FPicture = TPicture();
    CloseDecoder();
    if (FScaler && FF.sws_freeContext)
        FF.sws_freeContext(FScaler);
    FScaler = nullptr;
    FConvertBuffer.clear();
    FConvertBuffer.shrink_to_fit();
    FEOF = false;
    FSeekTarget = -1;
    FDecodeStream = -1;
    TCustomAVProbe::CloseFile();
}

bool TAVProbe::CheckOwned()
{
    if (!FContext) {
        Report(AV_LOG_WARNING, QStringLiteral("file not loaded."));
        return false;
    }
    if (!FOwned) {
        const QString text = QStringLiteral("file cannot be seeked, handle is readonly.");
        Report(AV_LOG_WARNING, text);
        throw FFmpegException(text);
    }
    return true;
}

void TAVProbe::ForgetPicture()
{
    FPictureReady = false;
    if (FFrame && FF.av_frame_unref)
        FF.av_frame_unref(FFrame);
}

bool TAVProbe::Seek(std::uint8_t flags, std::int64_t position)
{
    if (!CheckOwned())
        return false;
    if (IsImageSequence(FContext)) {
        Report(AV_LOG_INFO, QStringLiteral("\"image2\" format cannot to be seeked."));
        return false;
    }
    if (FContext->pb)
        FFLogger()->LogFmt(this, llDebug, "currunt position %lld bytes", (long long)FF.avio_seek(FContext->pb, 0, SEEK_CUR));

    std::int64_t target = position > 0 ? position : 0;
    const bool byBytes = flags & sfByte;
    if (!byBytes) {
        if (FCurrentStream >= 0)
            target = FF.av_rescale_q(target, MicrosecondBase, FContext->streams[FCurrentStream]->time_base);
        if (FStartOffset > 0)
            target += FStartOffset;
    }

    if (FDecoder)
        FF.avcodec_flush_buffers(FDecoder);
    FDraining = false;
    FEOF = false;
    FSeekTarget = -1;
    ForgetPicture();

    int libFlags = flags & 0x0F;
    // A time seek lands on the key frame at or before the target and decoding then skips up to
    // the target. Seeking forward instead would land after it, or fail where no key frame follows.
    const bool accurate = !(flags & (sfByte | sfAny | sfFrame)) && position > 0;
    if (accurate)
        libFlags |= AVSEEK_FLAG_BACKWARD;
    int result;
    if (position > 0) {
        result = FF.av_seek_frame(FContext, FCurrentStream, target, libFlags);
    } else {
        result = FF.av_seek_frame(FContext, FCurrentStream, 0, libFlags | AVSEEK_FLAG_BACKWARD);
        if (result < 0)
            result = FF.av_seek_frame(FContext, FCurrentStream, target, libFlags & ~AVSEEK_FLAG_BACKWARD);
        // Streams without timestamps (raw elementary streams) still have a first byte.
        if (result < 0 && FContext->pb && !(FContext->iformat->flags & AVFMT_NO_BYTE_SEEK))
            result = FF.av_seek_frame(FContext, -1, 0, AVSEEK_FLAG_BYTE);
    }
    if (result < 0) {
        if (byBytes)
            Report(AV_LOG_ERROR, QStringLiteral("could not seek to position %1 bytes").arg(position));
        else
            Report(AV_LOG_ERROR, QString::asprintf("could not seek to position %0.3f seconds", position / 1000000.0));
        return false;
    }
    if (accurate)
        FSeekTarget = position;
    FSeekRetries = 0;

    if (FContext->pb) {
        FFLogger()->LogFmt(this, llDebug, "seek to position %lld bytes", (long long)FF.avio_seek(FContext->pb, 0, SEEK_CUR));
        if (FContext->pb->eof_reached) {
            Report(AV_LOG_INFO, QStringLiteral("stream eof reached."));
            FEOF = true;
            return false;
        }
    }
    return true;
}

bool TAVProbe::OpenDecoder(int streamIndex)
{
    if (FDecoder && FDecoderStream == streamIndex)
        return true;
    AVStream* stream = FContext->streams[streamIndex];
    const AVCodecParameters* par = stream->codecpar;
    if (par->width <= 0 || par->height <= 0) {
        Report(AV_LOG_ERROR, QStringLiteral("frame size of codec is invalid."));
        return false;
    }
    CloseDecoder();
    const AVCodec* codec = FF.avcodec_find_decoder(par->codec_id);
    if (!codec) {
        Report(AV_LOG_ERROR, QStringLiteral("Unsupported codec (id=%1) for input file stream #%2")
                                 .arg(int(par->codec_id))
                                 .arg(streamIndex));
        return false;
    }
    AVCodecContext* decoder = FF.avcodec_alloc_context3(codec);
    int result = decoder ? FF.avcodec_parameters_to_context(decoder, par) : AVERROR(ENOMEM);
    if (result >= 0) {
        decoder->pkt_timebase = stream->time_base;
        decoder->thread_count = 0; // the library's choice
        std::lock_guard lock(FFmpegLibraryLock());
        result = FF.avcodec_open2(decoder, codec, nullptr);
    }
    if (result < 0) {
        if (decoder) {
            std::lock_guard lock(FFmpegLibraryLock());
            FF.avcodec_free_context(&decoder);
        }
        Report(AV_LOG_ERROR, QStringLiteral("Error while opening codec for input file stream #%1").arg(streamIndex));
        return false;
    }
    FDecoder = decoder;
    FDecoderStream = streamIndex;
    FDraining = false;
    return true;
}

void TAVProbe::CloseDecoder()
{
    if (FDecoder && FF.avcodec_free_context) {
        std::lock_guard lock(FFmpegLibraryLock());
        FF.avcodec_free_context(&FDecoder);
    }
    FDecoder = nullptr;
    FDecoderStream = -1;
    FDraining = false;
}

std::int64_t TAVProbe::FrameTime(const AVFrame* frame, int streamIndex) const
{
    const AVStream* stream = FContext->streams[streamIndex];
    std::int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = frame->pts;
    if (ts == AV_NOPTS_VALUE)
        ts = frame->pkt_dts;
    if (ts == AV_NOPTS_VALUE)
        return -1;
    if (stream->start_time != AV_NOPTS_VALUE)
        ts -= stream->start_time;
    return FF.av_rescale_q(ts, stream->time_base, MicrosecondBase);
}

// Seeks to a key frame at least margin microseconds before target (microseconds from the start).
bool TAVProbe::SeekBefore(std::int64_t target, std::int64_t margin)
{
    std::int64_t position = target - margin;
    if (position < 0)
        position = 0;
    std::int64_t ts = position;
    if (FCurrentStream >= 0)
        ts = FF.av_rescale_q(ts, MicrosecondBase, FContext->streams[FCurrentStream]->time_base);
    if (FStartOffset > 0)
        ts += FStartOffset;
    if (FF.av_seek_frame(FContext, FCurrentStream, ts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    FF.avcodec_flush_buffers(FDecoder);
    FDraining = false;
    return true;
}

bool TAVProbe::KeepFrame(AVFrame* frame, int streamIndex)
{
    const std::int64_t time = FrameTime(frame, streamIndex);
    // Skip pictures before a seek target; keep each as a fallback in case none reaches it.
    const bool reached = FSeekTarget < 0 || time < 0 || time >= FSeekTarget;

    FF.av_frame_unref(FFrame);
    FF.av_frame_move_ref(FFrame, frame);
    FPicture.PixelFormat = FFrame->format;
    FPicture.Width = FFrame->width;
    FPicture.Height = FFrame->height;
    FPicture.KeyFrame = FFrame->key_frame != 0;
    FPicture.PictType = FFrame->pict_type >= 0 && FFrame->pict_type <= 7 ? int(FFrame->pict_type) : 0;
    if (!reached) {
        FCandidateTime = time;
        return false;
    }
    FPicture.PrevTime = FPicture.Time;
    FPicture.Time = time;
    if (time >= 0 && FF.av_log)
        FF.av_log(nullptr, AV_LOG_DEBUG, "decode PTS: %0.3f\n", time / 1000000.0);
    FFLogger()->LogFmt(this, llDebug, "pkt.st_idx=%d, dts=%lld, pts=%lld, flags=%d, pict_type=%d", streamIndex,
                       (long long)FFrame->pkt_dts, (long long)FFrame->pts, FFrame->key_frame, FPicture.PictType);
    FSeekTarget = -1;
    FPictureReady = true;
    return true;
}

bool TAVProbe::DecodeNextFrame(int streamIndex)
{
    if (!CheckOwned())
        return false;
    if (streamIndex == -1) {
        streamIndex = FDecodeStream >= 0 ? FDecodeStream : FFirstVideoStream;
        if (streamIndex < 0) {
            Report(AV_LOG_ERROR, QStringLiteral("no video stream."));
            return false;
        }
    } else if (streamIndex < 0 || streamIndex >= FStreamCount) {
        Report(AV_LOG_ERROR, QStringLiteral("stream index #%1 is invalid.").arg(streamIndex));
        return false;
    } else if (FContext->streams[streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        Report(AV_LOG_ERROR, QStringLiteral("stream #%1 is not video stream.").arg(streamIndex));
        return false;
    }
    if (streamIndex != FDecodeStream) {
        ForgetPicture();
        FDecodeStream = streamIndex;
    }
    if (IsImageSequence(FContext) && FPictureReady)
        return true;
    if (FEOF) {
        Report(AV_LOG_INFO, QStringLiteral("stream eof reached."));
        return false;
    }
    if (!OpenDecoder(streamIndex))
        return false;
    if (!FFrame)
        FFrame = FF.av_frame_alloc();
    if (!FScratch)
        FScratch = FF.av_frame_alloc();
    if (!FPacket)
        FPacket = FF.av_packet_alloc();
    if (!FFrame || !FScratch || !FPacket) {
        Report(AV_LOG_ERROR, FFErrorText(AVERROR(ENOMEM)));
        return false;
    }

    const std::int64_t position = FContext->pb ? FF.avio_seek(FContext->pb, 0, SEEK_CUR) : -1;
    bool candidate = false; // a picture before the seek target is held in FFrame
    int retries = 0;
    for (;;) {
        // Pictures the decoder already holds come first.
        int result;
        while ((result = FF.avcodec_receive_frame(FDecoder, FScratch)) == 0) {
            if (FSeekTarget >= 0 && !candidate && FSeekRetries < 5) {
                // Some containers land past the target (their index holds no key frames); go
                // further back until the first picture is not later than the target.
                const std::int64_t time = FrameTime(FScratch, streamIndex);
                if (time > FSeekTarget + FrameDuration(FContext->streams[streamIndex]) &&
                    FSeekTarget > 0 && SeekBefore(FSeekTarget, 500000LL << FSeekRetries++)) {
                    FF.av_frame_unref(FScratch);
                    continue;
                }
            }
            candidate = true;
            if (KeepFrame(FScratch, streamIndex)) {
                FPicture.PrevPosition = FPicture.Position;
                FPicture.Position = position;
                return true;
            }
        }
        if (FDraining)
            break; // end of stream, or a decoder that cannot go on
        result = FF.av_read_frame(FContext, FPacket);
        if (result == AVERROR(EAGAIN) && ++retries < 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2)); // data not there yet
            continue;
        }
        if (result < 0) {
            // End of file or a read error: take what the decoder still holds.
            FF.avcodec_send_packet(FDecoder, nullptr);
            FDraining = true;
            continue;
        }
        if (FPacket->stream_index == streamIndex)
            FF.avcodec_send_packet(FDecoder, FPacket); // a damaged packet is skipped like the rest
        FF.av_packet_unref(FPacket);
    }
    if (candidate && FSeekTarget >= 0 && FFrame->buf[0]) {
        // The target lay past the last picture: the last one is the closest we have.
        FSeekTarget = -1;
        FPictureReady = true;
        FPicture.PrevTime = FPicture.Time;
        FPicture.Time = FCandidateTime;
        FPicture.Position = position;
        FEOF = true;
        return true;
    }
    Report(AV_LOG_INFO, QStringLiteral("stream eof reached."));
    FEOF = true;
    return false;
}

bool TAVProbe::ConvertPicture(TBitmap& bitmap)
{
    const int width = FFrame->width;
    const int height = FFrame->height;
    if (width <= 0 || height <= 0 || !FFrame->data[0])
        return false;
    TBitmap result;
    result.SetSize(width, height);
    if (FFrame->format == AV_PIX_FMT_BGR24 && width % 2 == 0 && height % 2 == 0 &&
        FFrame->linesize[0] == result.Stride) {
        for (int y = 0; y < height; ++y)
            memcpy(result.ScanLine(y), FFrame->data[0] + size_t(y) * FFrame->linesize[0], size_t(width) * 3);
    } else {
        FScaler = FF.sws_getCachedContext(FScaler, width, height, AVPixelFormat(FFrame->format), width, height,
                                          AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!FScaler)
            return false;
        // Rows aligned for the scaler's vector code, then copied into the bitmap's padded rows.
        const int lineSize = (width * 3 + 63) & ~63;
        const size_t needed = size_t(lineSize) * size_t(height) + 64;
        if (FConvertBuffer.size() < needed)
            FConvertBuffer.resize(needed);
        uint8_t* dst[4] = {FConvertBuffer.data(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {lineSize, 0, 0, 0};
        if (FF.sws_scale(FScaler, FFrame->data, FFrame->linesize, 0, height, dst, dstStride) <= 0)
            return false;
        for (int y = 0; y < height; ++y)
            memcpy(result.ScanLine(y), FConvertBuffer.data() + size_t(y) * lineSize, size_t(width) * 3);
    }
    bitmap = std::move(result);
    return true;
}

bool TAVProbe::GetBitmap(TBitmap& bitmap)
{
    if (!FPictureReady) {
        Report(AV_LOG_ERROR, QStringLiteral("picture not ready, please decode first"));
        return false;
    }
    if (ConvertPicture(bitmap))
        return true;
    bitmap.SetSize(FPicture.Width, FPicture.Height);
    if (FF.av_log)
        FF.av_log(nullptr, AV_LOG_ERROR, "convert picture to bitmap failed\n");
    return false;
}
