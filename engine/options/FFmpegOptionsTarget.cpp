// The "target" option on the option state: the norm from the frame rate or the inputs, then
// the target's settings set one by one as if the user had given them.
#include "FFTargets.h"
#include "FFmpeg.h"

// The set frame rate decides; else the video streams of the inputs opened so far.
TTargetNorm TCustomFFmpeg::DetectNorm() const
{
    const int byRate = NormOfFrameRate(FOptions.FrameRate);
    if (byRate >= 0) return TTargetNorm(byRate);
    for (int i = 0; i < InputFileCount(); ++i) {
        const AVFormatContext* input = InputFile(i);
        if (!input) continue;
        for (unsigned s = 0; s < input->nb_streams; ++s) {
            const AVStream* st = input->streams[s];
            if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
            AVRational rate = st->r_frame_rate;
            if (rate.num <= 0 || rate.den <= 0) rate = st->avg_frame_rate;
            const int norm = NormOfFrameRate(rate);
            if (norm >= 0) return TTargetNorm(norm);
        }
    }
    return tnUnknown;
}

void TCustomFFmpeg::SetTarget(const QString& type, const QString& norm, const QString& fallbackNorm)
{
    const TTargetPreset* preset = nullptr;
    for (const TTargetPreset& p : TargetPresets())
        if (type == QLatin1String(p.Type)) preset = &p;
    if (!preset) throw FFmpegException(QStringLiteral("Unknown target type"));

    TTargetNorm n = tnUnknown;
    if (norm == QLatin1String("pal"))
        n = tnPAL;
    else if (norm == QLatin1String("ntsc"))
        n = tnNTSC;
    else if (norm == QLatin1String("film"))
        n = tnFILM;
    else {
        // Without a frame rate (an audio-only input) the fallback decides rather than failing.
        n = DetectNorm();
        if (n == tnUnknown)
            n = fallbackNorm == QLatin1String("film")   ? tnFILM
                : fallbackNorm == QLatin1String("ntsc") ? tnNTSC
                                                        : tnPAL;
        if (FOptions.Verbose > 0)
            Log(llVerbose, QStringLiteral("Assuming %1 for target.")
                               .arg(n == tnPAL ? QStringLiteral("PAL") : QStringLiteral("NTSC")));
    }

    const QString size = QString::fromLatin1(n == tnPAL ? preset->PalSize : preset->NtscSize);
    const QString rate = n == tnPAL    ? QStringLiteral("25")
                         : n == tnNTSC ? QStringLiteral("30000/1001")
                                       : QStringLiteral("24000/1001");
    const QString gop = n == tnPAL ? QStringLiteral("15") : QStringLiteral("18");
    const QString dvPix = n == tnPAL ? QStringLiteral("yuv420p") : QStringLiteral("yuv411p");

    for (const TTargetSetting& s : preset->Settings) {
        QString value = QString::fromLatin1(s.Value);
        if (value == QLatin1String("@size")) value = size;
        else if (value == QLatin1String("@rate")) value = rate;
        else if (value == QLatin1String("@gop")) value = gop;
        else if (value == QLatin1String("@dvpix")) value = dvPix;
        SetOption(QString::fromLatin1(s.Name), value);
    }
    FOptions.AudioSampleRate = preset->SampleRate;
    if (preset->Channels > 0) FOptions.AudioChannels = preset->Channels;
    if (preset->MonoToStereo && FOptions.AudioChannels == 1) FOptions.AudioChannels = 2;
    if (preset->MuxPreload >= 0) FOptions.MuxPreload = preset->MuxPreload;
    if (preset->DefaultAspect && FOptions.FrameAspectRatio == 0.0) {
        SetOption(QStringLiteral("aspect"), QString::fromLatin1(preset->DefaultAspect));
        Log(llInfo, QStringLiteral("Assuming %1 for aspect ratio").arg(preset->DefaultAspect));
    }
}
