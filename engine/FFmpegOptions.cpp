// The option dispatcher: one name, one effect, with the checks and messages of each setter.
#include "FFTargets.h"
#include "FFmpeg.h"

#include <QCoreApplication>
#include <QDir>
#include <QTime>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

// Picture sizes beyond this are refused at once instead of failing deep in the encoder.
constexpr int MaxFrameDimension = 16384;

[[noreturn]] void Fail(const QString& message)
{
    throw FFmpegException(message);
}

bool Flag(const QString& value)
{
    return value != QLatin1String("0");
}

std::int64_t ParseInteger(const QString& name, const QString& value, std::int64_t minimum,
                          std::int64_t maximum, int base = 10)
{
    bool ok = false;
    const std::int64_t n = value.trimmed().toLongLong(&ok, base);
    if (!ok) Fail(QStringLiteral("Expected number for %1 but found: %2").arg(name, value));
    if (n < minimum || n > maximum)
        Fail(QStringLiteral("The value for %1 was %2 which is not within %3 - %4")
                 .arg(name, value)
                 .arg(minimum)
                 .arg(maximum));
    return n;
}

int ParseInt(const QString& name, const QString& value, int minimum = INT_MIN,
             int maximum = INT_MAX)
{
    return int(ParseInteger(name, value, minimum, maximum));
}

double ParseFloat(const QString& name, const QString& value, double minimum, double maximum)
{
    bool ok = false;
    const double d = value.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        Fail(QStringLiteral("Expected number for %1 but found: %2").arg(name, value));
    if (d < minimum || d > maximum)
        Fail(QStringLiteral("The value for %1 was %2 which is not within %3 - %4")
                 .arg(name, value)
                 .arg(minimum)
                 .arg(maximum));
    return d;
}

// Reads "<number><one separator><number>..." in C notation; false on anything else.
bool ReadIndexList(const QString& value, int minCount, int maxCount, std::vector<long>& out)
{
    const QByteArray text = value.trimmed().toUtf8();
    const char* p = text.constData();
    out.clear();
    while (true) {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(p, &end, 0);
        if (end == p || errno == ERANGE || n < 0 || n > INT_MAX) return false;
        out.push_back(n);
        if (!*end) break;
        if (int(out.size()) >= maxCount) return false;
        p = end + 1;
        if (!*p) return false;
    }
    return int(out.size()) >= minCount;
}

void RequireLibraries(bool ready)
{
    if (!ready) Fail(QStringLiteral("The FFmpeg libraries are not loaded"));
}

} // namespace

const QHash<QString, TCustomFFmpeg::THandler>& TCustomFFmpeg::OptionTable()
{
    static const QHash<QString, THandler> table = [] {
        QHash<QString, THandler> h;
        auto add = [&h](std::initializer_list<const char*> names, THandler handler) {
            for (const char* n : names) h.insert(QString::fromLatin1(n), handler);
        };

        add({"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i", "y",
             "benchmark"},
            [](TCustomFFmpeg& t, const QString& name, const QString&) {
                t.Log(llInfo, QStringLiteral("Do nothing: option - ") + name);
            });
        add({"loglevel"}, [](TCustomFFmpeg&, const QString&, const QString& v) {
            if (!FFLogger()->SetLogLevelByName(v.trimmed()))
                Fail(QStringLiteral("Invalid loglevel \"%1\"").arg(v));
        });
        add({"f"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.SetFormat(v); });
        add({"map"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.AddStreamMap(v); });
        add({"map_meta_data"},
            [](TCustomFFmpeg& t, const QString&, const QString& v) { t.AddMetaDataMap(v); });
        add({"t"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.SetDuration(n, v, false, t.FOptions.RecordingTime);
            t.FOptions.TotalDuration = t.FOptions.RecordingTime;
        });
        add({"fs"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.LimitFileSize = ParseInteger(n, v, 0, INT64_MAX);
        });
        add({"ss"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.SetDuration(n, v, false, t.FOptions.StartTime);
        });
        add({"itsoffset"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.SetDuration(n, v, false, t.FOptions.InputTSOffset);
        });
        add({"itsscale"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.SetTimeScale(v); });
        add({"timestamp"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            std::int64_t us = 0;
            t.SetDuration(n, v, true, us);
            t.FOptions.RecordingTimestamp = us / 1000000;
        });
        add({"metadata"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            const qsizetype eq = v.indexOf('=');
            if (eq < 0) Fail(QStringLiteral("Missing ="));
            if (eq == 0) Fail(QStringLiteral("Missing metadata key in \"%1\"").arg(v));
            t.FOptions.Metadata.emplace_back(v.left(eq), v.mid(eq + 1));
        });
        add({"dframes", "vframes", "aframes"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            const int type = n.at(0) == 'd'   ? AVMEDIA_TYPE_DATA
                             : n.at(0) == 'v' ? AVMEDIA_TYPE_VIDEO
                                              : AVMEDIA_TYPE_AUDIO;
            t.FOptions.MaxFrames[type] = ParseInt(n, v, 0);
        });
        add({"timelimit"}, [](TCustomFFmpeg& t, const QString&, const QString&) {
            t.Log(llWarning, QStringLiteral("Warning: -timelimit not implemented on Windows"));
        });
        add({"dump"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.DoPktDump = Flag(v); });
        add({"hex"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.DoHexDump = Flag(v); });
        add({"re"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.RateEmu = Flag(v); });
        add({"loop_input"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.LoopInput = Flag(v); });
        add({"loop_output"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.LoopOutput = ParseInt(n, v, -1);
        });
        add({"v"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.Verbose = ParseInt(n, v); });
        add({"target"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            QString norm = QStringLiteral("auto");
            QString type = v;
            for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
                const QString p = QString::fromLatin1(prefix);
                if (v.startsWith(p)) {
                    norm = p.chopped(1);
                    type = v.mid(p.size());
                }
            }
            t.SetTarget(type, norm, QStringLiteral("ntsc"));
        });
        add({"threads"}, [](TCustomFFmpeg&, const QString& n, const QString&) {
            Fail(QStringLiteral("TODO: option - ") + n);
        });
        add({"vsync"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.VideoSyncMethod = ParseInt(n, v); });
        add({"async"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.AudioSyncMethod = ParseInt(n, v); });
        add({"adrift_threshold"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.AudioDriftThreshold = float(ParseFloat(n, v, 0, 1e9));
        });
        add({"dts_delta_threshold"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.DtsDeltaThreshold = float(ParseFloat(n, v, 0, 1e9));
        });
        add({"vglobal"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.VideoGlobalHeader = ParseInt(n, v); });
        add({"copyinkf"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.CopyInitialNonKeyframes = ParseInt(n, v); });
        add({"programid"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.ProgramID = ParseInt(n, v); });
        add({"vdt"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.VideoDiscard = ParseInt(n, v); });
        add({"vc"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.VideoChannel = ParseInt(n, v); });
        add({"top"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.TopFieldFirst = ParseInt(n, v); });
        add({"dc"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.IntraDCPrecision = ParseInt(n, v); });
        add({"me_threshold"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.MeThreshold = ParseInt(n, v); });
        add({"copyts"}, [](TCustomFFmpeg& t, const QString&, const QString&) { t.FOptions.CopyTs = true; });
        add({"xerror"}, [](TCustomFFmpeg& t, const QString&, const QString&) { t.FOptions.ExitOnError = true; });
        add({"shortest"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.OptShortest = Flag(v); });
        add({"intra"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.IntraOnly = Flag(v); });
        add({"vn"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.VideoDisable = Flag(v); });
        add({"an"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.AudioDisable = Flag(v); });
        add({"sn"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.SubtitleDisable = Flag(v); });
        add({"sameq"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.SameQuality = Flag(v); });
        add({"deinterlace"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.DoDeinterlace = Flag(v); });
        add({"psnr"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.DoPSNR = Flag(v); });
        add({"qphist"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.QPHist = Flag(v); });
        add({"force_fps"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.ForceFPS = Flag(v); });
        add({"isync"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.InputSync = Flag(v); });
        add({"b", "vb"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.SetCodecBitrate(AVMEDIA_TYPE_VIDEO, n, v);
        });
        add({"ab"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.SetCodecBitrate(AVMEDIA_TYPE_AUDIO, n, v);
        });
        add({"r"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            RequireLibraries(t.OptionContextsReady());
            AVRational rate{0, 0};
            if (FF.av_parse_video_rate(&rate, v.trimmed().toUtf8().constData()) < 0 ||
                rate.num <= 0 || rate.den <= 0)
                Fail(QStringLiteral("Incorrect frame rate"));
            t.FOptions.FrameRate = rate;
        });
        add({"s"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            RequireLibraries(t.OptionContextsReady());
            int w = 0, h = 0;
            if (FF.av_parse_video_size(&w, &h, v.trimmed().toUtf8().constData()) < 0 || w <= 0 ||
                h <= 0 || w > MaxFrameDimension || h > MaxFrameDimension)
                Fail(QStringLiteral("Incorrect frame size"));
            t.FOptions.FrameWidth = w;
            t.FOptions.FrameHeight = h;
        });
        add({"aspect"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.SetAspect(v); });
        add({"pix_fmt"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            RequireLibraries(t.OptionContextsReady());
            if (v == QLatin1String("list")) return t.ListPixelFormats();
            const AVPixelFormat fmt = FF.av_get_pix_fmt(v.trimmed().toUtf8().constData());
            if (fmt == AV_PIX_FMT_NONE)
                Fail(QStringLiteral("Unknown pixel format requested: %1").arg(v));
            t.FOptions.FramePixFmt = fmt;
        });
        add({"sample_fmt"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            RequireLibraries(t.OptionContextsReady());
            if (v == QLatin1String("list")) return t.ListSampleFormats();
            const AVSampleFormat fmt = FF.av_get_sample_fmt(v.trimmed().toUtf8().constData());
            if (fmt == AV_SAMPLE_FMT_NONE)
                Fail(QStringLiteral("Unknown sample format requested: %1").arg(v));
            t.FOptions.AudioSampleFmt = fmt;
        });
        add({"croptop", "cropbottom", "cropleft", "cropright"},
            [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.SetCrop(n, v); });
        add({"padtop", "padbottom", "padleft", "padright"},
            [](TCustomFFmpeg& t, const QString& n, const QString& v) {
                const int pad = ParseInt(n, v, INT_MIN, MaxFrameDimension);
                if (pad < 0) return;
                TFFmpegOptions& o = t.FOptions;
                (n == QLatin1String("padtop")      ? o.FramePadTop
                 : n == QLatin1String("padbottom") ? o.FramePadBottom
                 : n == QLatin1String("padleft")   ? o.FramePadLeft
                                                   : o.FramePadRight) = pad;
            });
        add({"padcolor"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            const int color = int(ParseInteger(n, v, 0, 0xFFFFFF, 0));
            t.FOptions.PadColor = PadColorToYUV(color);
        });
        add({"qscale"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            bool ok = false;
            const double q = v.trimmed().toDouble(&ok);
            if (!ok || !(q > 0.0) || q > 255.0)
                Fail(QStringLiteral("qscale must be > 0.0 and <= 255"));
            t.FOptions.VideoQScale = float(q);
        });
        add({"rc_override"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.VideoRCOverride = v; });
        add({"tvstd"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.VideoStandard = v; });
        add({"vstats_file"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.VStatsFileName = v; });
        add({"vcodec"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.SetCodecName(AVMEDIA_TYPE_VIDEO, v); });
        add({"acodec"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.SetCodecName(AVMEDIA_TYPE_AUDIO, v); });
        add({"scodec"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.SetCodecName(AVMEDIA_TYPE_SUBTITLE, v); });
        add({"pass"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            const QString p = v.trimmed();
            if (p != QLatin1String("1") && p != QLatin1String("2"))
                Fail(QStringLiteral("pass number can be only 1 or 2"));
            t.FOptions.DoPass = p.toInt();
        });
        add({"passlogfile"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.PassLogFileName = v; });
        add({"vstats"}, [](TCustomFFmpeg& t, const QString&, const QString&) {
            const QString folder = QDir(QCoreApplication::applicationDirPath()).filePath(QString());
            t.FOptions.VStatsFileName =
                QStringLiteral("%1vstats_%2.log")
                    .arg(folder.endsWith('/') ? folder : folder + '/',
                         QTime::currentTime().toString(QStringLiteral("hhmmss")));
        });
        add({"vhook"}, [](TCustomFFmpeg& t, const QString&, const QString& v) {
            if (!t.AddFrameHook(v))
                Fail(QStringLiteral("Failed to add video hook function: ") + v);
        });
        add({"vfilters"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.VideoFilters = v; });
        add({"intra_matrix", "inter_matrix"},
            [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.SetMatrix(n, v); });
        add({"vtag", "atag", "stag"},
            [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.SetCodecTag(n, v); });
        add({"newvideo", "newaudio", "newsubtitle"}, [](TCustomFFmpeg& t, const QString& n, const QString&) {
            if (t.OutputFileCount() <= 0)
                Fail(QStringLiteral("At least one output file must be specified"));
            t.NewOutputStream(n == QLatin1String("newvideo")   ? AVMEDIA_TYPE_VIDEO
                              : n == QLatin1String("newaudio") ? AVMEDIA_TYPE_AUDIO
                                                               : AVMEDIA_TYPE_SUBTITLE);
        });
        add({"vlang"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.VideoLanguage = v; });
        add({"alang"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.AudioLanguage = v; });
        add({"slang"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.SubtitleLanguage = v; });
        add({"vol"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.AudioVolume = ParseInt(n, v, 0, 65536); });
        add({"aq"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.AudioQScale = float(ParseFloat(n, v, -1e6, 1e6));
        });
        add({"ar"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            const int rate = ParseInt(n, v);
            if (rate > 0) t.FOptions.AudioSampleRate = rate;
        });
        add({"ac"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            const int channels = ParseInt(n, v);
            if (channels > 0) t.FOptions.AudioChannels = channels;
        });
        add({"muxdelay"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.MuxMaxDelay = float(ParseFloat(n, v, 0, 2000));
        });
        add({"muxpreload"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.MuxPreload = float(ParseFloat(n, v, 0, 2000));
        });
        add({"absf", "vbsf", "sbsf"},
            [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.SetBitstreamFilter(n, v); });
        add({"apre", "vpre", "spre", "fpre"},
            [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.ApplyPreset(n, v); });
        return h;
    }();
    return table;
}

void TCustomFFmpeg::SetOption(const QString& name, const QString& value)
{
    const auto& table = OptionTable();
    const auto it = table.constFind(name);
    if (it != table.constEnd())
        (*it)(*this, name, value);
    else
        GenericOption(name, value); // unknown names are ignored
}

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
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        FOptions.VideoStreamCopy = copy || FOptions.VideoStreamCopy;
        if (!copy) FOptions.VideoCodecName = name;
        break;
    case AVMEDIA_TYPE_AUDIO:
        FOptions.AudioStreamCopy = copy || FOptions.AudioStreamCopy;
        if (!copy) FOptions.AudioCodecName = name;
        break;
    default:
        FOptions.SubtitleStreamCopy = copy || FOptions.SubtitleStreamCopy;
        if (!copy) FOptions.SubtitleCodecName = name;
        break;
    }
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
