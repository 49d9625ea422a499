#pragma once
// Target presets (disc and camcorder formats set up in one option) and the colour conversion of
// the padding colour.
#include "FFmpegApi.h"

#include <array>
#include <vector>

// Integer colour with red in bits 0-7, green 8-15, blue 16-23 -> Y, U, V.
std::array<int, 3> PadColorToYUV(int color);

enum TTargetNorm { tnPAL, tnNTSC, tnFILM, tnUnknown };

// 25 -> PAL, 29.97 or 23.976 -> NTSC; -1 for any other rate.
int NormOfFrameRate(AVRational rate);

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

// Every target the "target" option knows, by type name.
const std::vector<TTargetPreset>& TargetPresets();
