#include "FFTargets.h"

#include <cmath>

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
