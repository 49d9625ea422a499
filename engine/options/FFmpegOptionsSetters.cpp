// The setters behind the dispatcher that check more than one number.
#include "FFmpeg.h"
#include "FFmpegOptionsParse.h"

using namespace ffoptions;

void TCustomFFmpeg::SetFormat(const QString& value)
{
    QString name = value.trimmed();
    if (name.isEmpty()) Fail(QStringLiteral("Missing format name for option \"f\""));
    if (name == QLatin1String("pgmyuv")) {
        Log(llInfo, QStringLiteral("pgmyuv format is deprecated, use image2"));
        name = QStringLiteral("image2");
        FOptions.ForcePgmyuvCodec = true;
    }
    FOptions.FileFormatName = name;
    RebuildFormatContext(name);
}

void TCustomFFmpeg::SetCodecName(AVMediaType type, const QString& value)
{
    const QString name = value.trimmed();
    const char* option = type == AVMEDIA_TYPE_VIDEO   ? "vcodec"
                         : type == AVMEDIA_TYPE_AUDIO ? "acodec"
                                                      : "scodec";
    if (name.isEmpty()) Fail(QStringLiteral("Missing codec name for option \"%1\"").arg(option));
    const bool copy = name == QLatin1String("copy");
    // The later value wins, "copy" or a codec name alike.
    QString& codecName = type == AVMEDIA_TYPE_VIDEO   ? FOptions.VideoCodecName
                         : type == AVMEDIA_TYPE_AUDIO ? FOptions.AudioCodecName
                                                      : FOptions.SubtitleCodecName;
    bool& streamCopy = type == AVMEDIA_TYPE_VIDEO   ? FOptions.VideoStreamCopy
                       : type == AVMEDIA_TYPE_AUDIO ? FOptions.AudioStreamCopy
                                                    : FOptions.SubtitleStreamCopy;
    streamCopy = copy;
    if (copy) codecName.clear();
    else codecName = name;
    if (!copy) RebuildCodecContext(type, name);
}

void TCustomFFmpeg::SetDuration(const QString& name, const QString& value, bool isDate,
                                std::int64_t& dest)
{
    RequireLibraries(OptionContextsReady());
    std::int64_t us = 0;
    const QByteArray text = value.trimmed().toUtf8();
    const bool bad = text.isEmpty() || FF.av_parse_time(&us, text.constData(), isDate ? 0 : 1) < 0 ||
                     (!isDate && name != QLatin1String("itsoffset") && us < 0);
    if (bad)
        Fail(QStringLiteral("Invalid %1 specification for %2: %3")
                 .arg(isDate ? QStringLiteral("date") : QStringLiteral("duration"), name, value));
    dest = us;
}

void TCustomFFmpeg::SetCrop(const QString& name, const QString& value)
{
    const int crop = ParseInt(name, value);
    if (crop < 0) return;
    TFFmpegOptions& o = FOptions;
    const bool vertical = name == QLatin1String("croptop") || name == QLatin1String("cropbottom");
    if (vertical) {
        if (crop >= o.FrameHeight)
            Fail(QStringLiteral("Vertical crop dimensions are outside the range of the original "
                                "image.\nRemember to crop first and scale second."));
        (name == QLatin1String("croptop") ? o.FrameTopBand : o.FrameBottomBand) = crop;
        o.FrameHeight -= crop;
    } else {
        if (crop >= o.FrameWidth)
            Fail(QStringLiteral("Horizontal crop dimensions are outside the range of the original "
                                "image.\nRemember to crop first and scale second."));
        (name == QLatin1String("cropleft") ? o.FrameLeftBand : o.FrameRightBand) = crop;
        o.FrameWidth -= crop;
    }
}

void TCustomFFmpeg::SetAspect(const QString& value)
{
    const QString v = value.trimmed();
    double ratio = 0.0;
    const qsizetype colon = v.indexOf(':');
    if (colon >= 0) {
        bool okX = false, okY = false;
        const qint64 x = v.left(colon).toLongLong(&okX);
        const qint64 y = v.mid(colon + 1).toLongLong(&okY);
        if (okX && okY && y > 0) ratio = double(x) / double(y);
    } else {
        bool ok = false;
        ratio = v.toDouble(&ok);
        if (!ok) ratio = 0.0;
    }
    // Negative or absurd ratios are refused too: they only break the scaler later.
    if (!std::isfinite(ratio) || !(ratio > 0.0) || ratio > 1000.0)
        Fail(QStringLiteral("Incorrect aspect ratio specification."));
    FOptions.FrameAspectRatio = ratio;
}

void TCustomFFmpeg::SetMatrix(const QString& name, const QString& value)
{
    const QStringList parts = value.split(',');
    std::vector<std::uint16_t> matrix(64, 0);
    for (int i = 0; i < 64; ++i) {
        if (i < 63 && parts.size() <= i + 1)
            Fail(QStringLiteral("Syntax error in matrix \"%1\" at coeff %2").arg(value).arg(i));
        bool ok = false;
        const int coeff = parts[i].trimmed().toInt(&ok);
        // A zero coefficient would divide by zero in the quantiser.
        if (!ok || coeff < 1 || coeff > 255)
            Fail(QStringLiteral("Syntax error in matrix \"%1\" at coeff %2").arg(value).arg(i));
        matrix[i] = std::uint16_t(coeff);
    }
    (name == QLatin1String("intra_matrix") ? FOptions.IntraMatrix : FOptions.InterMatrix) = matrix;
}

void TCustomFFmpeg::SetCodecTag(const QString& name, const QString& value)
{
    const QByteArray tag = value.toUtf8();
    const QString kind = name.at(0) == 'v'   ? QStringLiteral("video")
                         : name.at(0) == 'a' ? QStringLiteral("audio")
                                             : QStringLiteral("subtitle");
    if (tag.size() != 4)
        Fail(QStringLiteral("%1 tag parameter must be 4 chars: \"%2\"").arg(kind, value));
    const std::uint32_t code = std::uint8_t(tag[0]) | std::uint8_t(tag[1]) << 8 |
                               std::uint8_t(tag[2]) << 16 | std::uint32_t(std::uint8_t(tag[3])) << 24;
    (name.at(0) == 'v'   ? FOptions.VideoCodecTag
     : name.at(0) == 'a' ? FOptions.AudioCodecTag
                         : FOptions.SubtitleCodecTag) = code;
}

void TCustomFFmpeg::SetBitstreamFilter(const QString& name, const QString& value)
{
    if (value.startsWith('=')) return;
    RequireLibraries(OptionContextsReady());
    const QString filter = value.section('=', 0, 0).trimmed();
    if (filter.isEmpty() || !FF.av_bsf_get_by_name(filter.toUtf8().constData()))
        Fail(QStringLiteral("Unknown bitstream filter %1").arg(filter));
    (name.at(0) == 'a'   ? FOptions.AudioBitstreamFilters
     : name.at(0) == 'v' ? FOptions.VideoBitstreamFilters
                         : FOptions.SubtitleBitstreamFilters)
        .append(value.trimmed());
}

void TCustomFFmpeg::AddStreamMap(const QString& value)
{
    std::vector<long> n;
    if (!ReadIndexList(value, 2, 4, n) || n.size() == 3)
        Fail(QStringLiteral("Invalid stream map \"%1\": expected file.stream[:syncfile.syncstream]")
                 .arg(value));
    if (int(FOptions.StreamMaps.size()) >= MAX_STREAM_MAPS)
        Fail(QStringLiteral("Too many stream maps (at most %1)").arg(MAX_STREAM_MAPS));
    TStreamMap map;
    map.FileIndex = int(n[0]);
    map.StreamIndex = int(n[1]);
    map.SyncFileIndex = n.size() == 4 ? int(n[2]) : map.FileIndex;
    map.SyncStreamIndex = n.size() == 4 ? int(n[3]) : map.StreamIndex;
    FOptions.StreamMaps.push_back(map);
}

void TCustomFFmpeg::AddMetaDataMap(const QString& value)
{
    std::vector<long> n;
    if (!ReadIndexList(value, 2, 2, n))
        Fail(QStringLiteral("Invalid metadata map \"%1\": expected outfile:infile").arg(value));
    if (int(FOptions.MetaDataMaps.size()) >= MAX_META_DATA_MAPS)
        Fail(QStringLiteral("Too many metadata maps (at most %1)").arg(MAX_META_DATA_MAPS));
    FOptions.MetaDataMaps.push_back({int(n[0]), int(n[1])});
}

void TCustomFFmpeg::SetTimeScale(const QString& value)
{
    const QByteArray text = value.trimmed().toUtf8();
    const char* p = text.constData();
    char* end = nullptr;
    errno = 0;
    const long stream = std::strtol(p, &end, 0);
    if (end == p || errno == ERANGE || !*end)
        Fail(QStringLiteral("Invalid itsscale \"%1\": expected stream:scale").arg(value));
    if (stream >= MAX_STREAMS)
        Fail(QStringLiteral("stream index over MAX_STREAMS(%1)").arg(MAX_STREAMS));
    p = end + 1;
    const double scale = std::strtod(p, &end);
    if (stream < 0 || end == p || *end || !std::isfinite(scale) || !(scale > 0.0))
        Fail(QStringLiteral("Invalid itsscale \"%1\": expected stream:scale").arg(value));
    const int input = InputFileCount();
    if (input >= MAX_FILES) Fail(QStringLiteral("max input files %1 reached").arg(MAX_FILES));
    FOptions.InputTSScale[input][stream] = scale;
}

void TCustomFFmpeg::ListPixelFormats()
{
    char line[128];
    for (int fmt = -1; fmt < AV_PIX_FMT_NB; ++fmt)
        Log(llInfo, QString::fromUtf8(FF.av_get_pix_fmt_string(line, sizeof line, AVPixelFormat(fmt)))
                        .trimmed());
}

void TCustomFFmpeg::ListSampleFormats()
{
    char line[128];
    for (int fmt = -1; fmt < AV_SAMPLE_FMT_NB; ++fmt)
        Log(llInfo,
            QString::fromUtf8(FF.av_get_sample_fmt_string(line, sizeof line, AVSampleFormat(fmt)))
                .trimmed());
}
