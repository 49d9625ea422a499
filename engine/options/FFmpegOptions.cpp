// The option dispatcher: one name, one effect, with the checks and messages of each setter.
#include "AppSettings.h"
#include "FFTargets.h"
#include "FFmpeg.h"
#include "FFmpegOptionsParse.h"

#include <QDir>
#include <QTime>

using namespace ffoptions;

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
        add({"vc"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.VideoChannel = ParseInt(n, v);
            t.NoEffect(n); // a capture device's channel: no devices here
        });
        add({"top"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.TopFieldFirst = ParseInt(n, v); });
        add({"dc"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) { t.FOptions.IntraDCPrecision = ParseInt(n, v); });
        add({"me_threshold"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.MeThreshold = ParseInt(n, v);
            // Still in the encoders' own table on library versions that have it.
            if (!t.GenericOption(n, v)) t.NoEffect(n);
        });
        add({"copyts"}, [](TCustomFFmpeg& t, const QString&, const QString&) { t.FOptions.CopyTs = true; });
        add({"xerror"}, [](TCustomFFmpeg& t, const QString&, const QString&) { t.FOptions.ExitOnError = true; });
        add({"shortest"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.OptShortest = Flag(v); });
        add({"intra"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.IntraOnly = Flag(v); });
        add({"vn"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.VideoDisable = Flag(v); });
        add({"an"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.AudioDisable = Flag(v); });
        add({"sn"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.SubtitleDisable = Flag(v); });
        add({"sameq"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.SameQuality = Flag(v);
            // Decoders of this library version do not report a picture's quantiser, so there is
            // no input quality to keep.
            if (t.FOptions.SameQuality) t.NoEffect(n);
        });
        add({"deinterlace"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.DoDeinterlace = Flag(v); });
        add({"burnsubtitles"}, [](TCustomFFmpeg& t, const QString&, const QString& v) { t.FOptions.BurnSubtitles = Flag(v); });
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
            t.FOptions.FrameSizeSet = true;
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
        add({"tvstd"}, [](TCustomFFmpeg& t, const QString& n, const QString& v) {
            t.FOptions.VideoStandard = v;
            t.NoEffect(n); // a capture device's norm: no devices here
        });
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
            // Never the program's folder: an installed program must not write there. The
            // per-user settings folder when the wizard has one, else the current folder.
            const QString folder = SettingsDir.isEmpty() ? QDir::currentPath() : SettingsDir;
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
