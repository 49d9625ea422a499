// The option records of the add calls turned into options of the task, in the order in which
// a later value replaces an earlier one.
#include "FFmpegEngine.h"
#include "FFmpegTask.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

QString Seconds(std::int64_t microseconds)
{
    const char* sign = microseconds < 0 ? "-" : "";
    const std::uint64_t us = microseconds < 0 ? 0 - std::uint64_t(microseconds) : std::uint64_t(microseconds);
    return QString::asprintf("%s%llu.%06llu", sign, (unsigned long long)(us / 1000000),
                             (unsigned long long)(us % 1000000));
}

// Local date-time as days since 1899-12-30 -> the date text the "timestamp" option reads.
QString TimestampText(double days)
{
    if (days == 0.0) return QStringLiteral("now");
    const QDateTime base(QDate(1899, 12, 30), QTime(0, 0), Qt::LocalTime);
    const QDateTime local = base.addMSecs(qint64(days * 86400000.0 + 0.5));
    return local.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + 'Z';
}

class TOptionWriter {
public:
    explicit TOptionWriter(TFFmpeg& task) : T(task) {}
    void Text(const char* name, const QString& value)
    {
        if (!value.isEmpty()) T.SetOption(QLatin1String(name), value);
    }
    void Positive(const char* name, double value)
    {
        if (value > 0) T.SetOption(QLatin1String(name), QString::number(value, 'g', 10));
    }
    void NotNegative(const char* name, int value)
    {
        if (value >= 0) T.SetOption(QLatin1String(name), QString::number(value));
    }
    void Always(const char* name, int value) { T.SetOption(QLatin1String(name), QString::number(value)); }
    void Flag(const char* name, bool value)
    {
        if (value) T.SetOption(QLatin1String(name), QStringLiteral("1"));
    }
    void Time(const char* name, std::int64_t value)
    {
        if (value != NoTimestampValue) T.SetOption(QLatin1String(name), Seconds(value));
    }
    void Meta(const char* key, const QString& value)
    {
        if (!value.isEmpty()) T.SetOption(QStringLiteral("metadata"), QLatin1String(key) + '=' + value);
    }
    void MetaNumber(const char* key, int value)
    {
        if (value > 0) Meta(key, QString::number(value));
    }

private:
    TFFmpeg& T;
};

} // namespace

void TCustomFFmpegEngine::ApplyInputOptions(TFFmpeg& task, int index, const QString& fileName,
                                            const TInputOptions& options)
{
    TInputOptions copy = options;
    if (copy.FileName.isEmpty()) copy.FileName = fileName;
    task.FInputOptions[size_t(index)] = copy;
    task.ApplyCustomOthers(copy.ExtOptions);
    task.ApplyCustomCodecs(copy.ExtOptions);
    TOptionWriter w(task);
    w.Text("f", copy.ForceFormat);
    w.Time("ss", copy.StartTime);
    w.NotNegative("programid", copy.ProgramID);
}

void TCustomFFmpegEngine::ApplyOutputOptions(TFFmpeg& task, int index, const QString& fileName,
                                             const TOutputOptions& options)
{
    TOutputOptions copy = options;
    if (copy.FileName.isEmpty()) copy.FileName = fileName;
    task.FOutputOptions[size_t(index)] = copy;

    if (copy.Target >= 1 && copy.Target <= 3) {
        static const char* const types[] = {"vcd", "svcd", "dvd"};
        const QString norm = copy.TargetNorm == 1   ? QStringLiteral("pal")
                             : copy.TargetNorm == 2 ? QStringLiteral("ntsc")
                                                    : QStringLiteral("auto");
        task.SetTarget(QLatin1String(types[copy.Target - 1]), norm,
                       copy.DefaultNorm == 1 ? QStringLiteral("pal") : QStringLiteral("ntsc"));
    }

    TOptionWriter w(task);
    task.ApplyCustomCodecs(copy.ExtOptions);
    w.Text("acodec", copy.AudioCodec);
    w.Text("vcodec", copy.VideoCodec);
    w.Text("scodec", copy.SubtitleCodec);

    task.ApplyCustomPresets(copy.ExtOptions);
    w.Text("apre", copy.AudioPreset);
    w.Text("vpre", copy.VideoPreset);
    w.Text("spre", copy.SubtitlePreset);

    task.ApplyCustomOthers(copy.ExtOptions);
    ApplyOutputFields(task, copy);

    task.ApplyCustomFrameSize(copy.ExtOptions);
    w.Text("s", copy.FrameSize);

    task.ApplyCustomFilters(copy.ExtOptions);
    w.Text("vfilters", copy.VideoFilters);

    if (copy.CustomHook) {
        TFFmpeg* t = &task;
        task.CustomHook = true;
        task.OnHookFrame = [this, t](THookInfo& info) { DoCustomHook(t, info); };
    }
}

void TCustomFFmpegEngine::ApplyOutputFields(TFFmpeg& task, const TOutputOptions& o)
{
    TOptionWriter w(task);
    w.Text("f", o.ForceFormat);
    w.Positive("packetsize", o.PacketSize);
    w.Positive("muxrate", o.MuxRate);
    w.Positive("muxdelay", o.MuxDelay);
    w.Positive("muxpreload", o.MuxPreload);
    w.Flag("an", o.DisableAudio);
    w.NotNegative("vol", o.AudioVolume);
    w.Positive("ac", o.AudioChannels);
    w.Positive("ar", o.AudioSampleRate);
    w.Positive("ab", o.AudioBitrate);
    w.Positive("abt", o.AudioBitrateTolerance);
    w.Text("alang", o.AudioLanguage);
    w.Always("async", o.AudioSync);
    w.Text("atag", o.AudioTag);
    w.Flag("vn", o.DisableVideo);
    w.Text("r", o.FrameRate);
    w.Text("aspect", o.AspectRatio);
    w.NotNegative("croptop", o.CropTop);
    w.NotNegative("cropbottom", o.CropBottom);
    w.NotNegative("cropleft", o.CropLeft);
    w.NotNegative("cropright", o.CropRight);
    w.NotNegative("padtop", o.PadTop);
    w.NotNegative("padbottom", o.PadBottom);
    w.NotNegative("padleft", o.PadLeft);
    w.NotNegative("padright", o.PadRight);
    w.Always("padcolor", int(o.PadColor & 0xFFFFFF));
    w.Positive("g", o.GOPSize);
    w.Positive("vb", o.VideoBitrate);
    w.Positive("maxrate", o.MaxRate);
    w.Positive("minrate", o.MinRate);
    w.Positive("bt", o.VideoBitrateTolerance);
    w.Positive("bufsize", o.BufferSize);
    w.Always("vsync", o.VideoSync);
    w.Text("vtag", o.VideoTag);
    w.Text("vlang", o.VideoLanguage);
    w.Flag("sn", o.DisableSubtitle);
    w.Text("slang", o.SubtitleLanguage);
    w.Always("isync", o.InputSync ? 1 : 0);
    w.Flag("copyts", o.CopyTimestamps);
    w.Time("ss", o.StartTime);
    w.Time("t", o.RecordingTime);
    if (o.Info.Timestamp >= 0.0) task.SetOption(QStringLiteral("timestamp"), TimestampText(o.Info.Timestamp));
    w.MetaNumber("year", o.Info.Year);
    w.MetaNumber("track", o.Info.Track);
    w.Meta("title", o.Info.Title);
    w.Meta("author", o.Info.Author);
    w.Meta("copyright", o.Info.Copyright);
    w.Meta("comment", o.Info.Comment);
    w.Meta("album", o.Info.Album);
    w.Meta("genre", o.Info.Genre);
}
