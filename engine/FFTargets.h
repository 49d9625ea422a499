#pragma once
// Target presets (disc and camcorder formats set up in one option) and the colour conversion of
// the padding colour.
#include "FFmpegApi.h"

#include <array>

// Integer colour with red in bits 0-7, green 8-15, blue 16-23 -> Y, U, V.
std::array<int, 3> PadColorToYUV(int color);

// 25 -> PAL, 29.97 or 23.976 -> NTSC; -1 for any other rate.
int NormOfFrameRate(AVRational rate);
