#include "FFTargets.h"

#include "FFmpeg.h"

#include <cmath>

namespace {

// "@size", "@rate" and "@gop" stand for the values that depend on the norm.
struct TTargetSetting {
    const char* Name;
    const char* Value;
};

struct TTargetPreset {
    const char* Type;
    const char* PalSize;
    const char* NtscSize; // also FILM
    std::vector<TTargetSetting> Settings;
    int SampleRate;
    int Channels;             // 0: keep
    bool MonoToStereo;        // one channel becomes two
    float MuxPreload;         // seconds; < 0: keep
    const char* DefaultAspect; // when none is set; nullptr: none
};

const std::vector<TTargetPreset>& TargetPresets()
{
    static const std::vector<TTargetPreset> presets = {
        {"vcd", "352x288", "352x240",
         {{"vcodec", "mpeg1video"}, {"acodec", "mp2"}, {"f", "vcd"}, {"s", "@size"},
          {"r", "@rate"}, {"g", "@gop"}, {"b", "1150000"}, {"maxrate", "1150000"},
          {"minrate", "1150000"}, {"bufsize", "327680"}, {"ab", "224000"},
          {"packetsize", "2324"}, {"muxrate", "1411200"}},
         44100, 2, false, 0.44f, "4:3"},
        {"svcd", "480x576", "480x480",
         {{"vcodec", "mpeg2video"}, {"acodec", "mp2"}, {"f", "svcd"}, {"s", "@size"},
          {"r", "@rate"}, {"g", "@gop"}, {"b", "2040000"}, {"maxrate", "2516000"},
          {"minrate", "0"}, {"bufsize", "1835008"}, {"flags", "+scan_offset"},
          {"ab", "224000"}, {"packetsize", "2324"}},
         44100, 0, true, -1.0f, "4:3"},
        {"dvd", "720x576", "720x480",
         {{"vcodec", "mpeg2video"}, {"acodec", "ac3"}, {"f", "dvd"}, {"s", "@size"},
          {"r", "@rate"}, {"g", "@gop"}, {"b", "6000000"}, {"maxrate", "9000000"},
          {"minrate", "0"}, {"bufsize", "1835008"}, {"packetsize", "2048"},
          {"muxrate", "10080000"}, {"ab", "448000"}},
         48000, 0, true, -1.0f, "16:9"},
        {"dv", "720x576", "720x480",
         {{"f", "dv"}, {"s", "@size"}, {"pix_fmt", "@dvpix"}, {"r", "@rate"}},
         48000, 2, false, -1.0f, nullptr},
        {"dv50", "720x576", "720x480",
         {{"f", "dv"}, {"s", "@size"}, {"pix_fmt", "yuv422p"}, {"r", "@rate"}},
         48000, 2, false, -1.0f, nullptr},
    };
    return presets;
}

} // namespace

std::array<int, 3> PadColorToYUV(int color)
{
    const int r = color & 0xFF;
    const int g = (color >> 8) & 0xFF;
    const int b = (color >> 16) & 0xFF;
    const int y = (307 * r + 602 * g + 117 * b + 512) >> 10;
    const int u = ((-173 * r - 340 * g + 512 * b + 511) >> 10) + 128;
    const int v = ((512 * r - 429 * g - 84 * b + 511) >> 10) + 128;
    return {y, u, v};
}

int NormOfFrameRate(AVRational rate)
{
    if (rate.num <= 0 || rate.den <= 0) return -1;
    const long fr = std::lround(double(rate.num) * 1000.0 / double(rate.den));
    if (fr == 25000) return tnPAL;
    if (fr == 29970 || fr == 23976) return tnNTSC;
    return -1;
}

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
