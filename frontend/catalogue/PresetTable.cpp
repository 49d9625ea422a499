// The catalogue itself: every format and every preset, in list order. List texts are shown
// exactly as written here; where a text and its parameters differ, the parameters apply.
#include "PresetCatalogue.h"

#include "AppSettings.h"

namespace {

constexpr char OptionsAText[] =
    "flags=+loop\r\n"
    "cmp=+chroma\r\n"
    "deblockalpha=0\r\n"
    "deblockbeta=0crf=24\r\n"
    "refs=1\r\n"
    "coder=0\r\n"
    "me_range=16\r\n"
    "subq=5\r\n"
    "partitions=+parti4x4+parti8x8+partp8x8\r\n"
    "g=250\r\n"
    "keyint_min=25\r\n"
    "level=30\r\n"
    "qmin=10\r\n"
    "qmax=51\r\n"
    "trellis=2\r\n"
    "sc_threshold=40\r\n"
    "i_qfactor=0.71\r\n";

constexpr char OptionsBText[] =
    "flags=+loop\r\n"
    "cmp=+chroma\r\n"
    "partitions=+parti4x4+partp8x8+partb8x8\r\n"
    "me_method=umh\r\n"
    "subq=5\r\n"
    "trellis=1\r\n"
    "refs=2\r\n"
    "bf=1\r\n"
    "coder=1\r\n"
    "me_range=16\r\n"
    "g=300\r\n"
    "keyint_min=25\r\n"
    "sc_threshold=40\r\n"
    "i_qfactor=0.71\r\n"
    "bt=64k\r\n"
    "maxrate=4M\r\n"
    "bufsize=4M\r\n"
    "rc_eq='blurCplx^(1-qComp)'\r\n"
    "qcomp=0.6\r\n"
    "qmin=10\r\n"
    "qmax=51\r\n"
    "qdiff=4\r\n"
    "level=21";

constexpr TPresetExtras Tag(const char* tag)
{
    TPresetExtras e;
    e.VideoTag = tag;
    return e;
}

constexpr TPresetExtras VPre(const char* preset)
{
    TPresetExtras e;
    e.VideoPreset = preset;
    return e;
}

constexpr TPresetExtras Opts(const char* text)
{
    TPresetExtras e;
    e.ExtOptions = text;
    return e;
}

constexpr TPresetExtras Psp()
{
    TPresetExtras e;
    e.ForceFormat = "psp";
    e.ExtOptions = OptionsBText;
    return e;
}

constexpr TPresetExtras Rates(int rate, int buffer)
{
    TPresetExtras e;
    e.MinMaxRate = rate;
    e.BufferSize = buffer;
    return e;
}

constexpr TPresetExtras TargetOf(int target, int norm)
{
    TPresetExtras e;
    e.Target = target;
    e.TargetNorm = norm;
    return e;
}

constexpr TPresetExtras SourceAudioBitrate()
{
    TPresetExtras e;
    e.AudioBitrateFromSource = true;
    return e;
}

constexpr TPresetExtras X264 = VPre("libx264-default");
constexpr TPresetExtras XVID = Tag("XVID");
constexpr TPresetExtras OptA = Opts(OptionsAText);
constexpr TPresetExtras NoExtras{};
constexpr int Src = 0; // fit: keep the source picture size

constexpr TPreset Audio(const char* text, const char* codec, int channels, int sampleRate,
                        int bitrate, TPresetExtras extras = {})
{
    return {text, nullptr, Src, Src, nullptr, -1, codec, channels, sampleRate, bitrate, extras};
}

// Columns: text, video codec, fit W, fit H, frame rate, video bit rate, audio codec,
// channels, sample rate, audio bit rate, other.

const TPreset AVIPresets[] = {
    {"HD Video 720p: MPEG4 (DivX, XviD), 4500 kbps; Audio: MP3, 192 kbps", "mpeg4", 1280, 720, nullptr, 4500000, "libmp3lame", 2, 44100, 192000, XVID},
    {"HD Video 1080p: H.264/AVC, 4200 kbps; Audio: MP3, 256 kbps", "libx264", 1920, 1080, nullptr, 4200000, "libmp3lame", 2, 44100, 256000, X264},
    {"Video: MPEG4 (DivX, XviD), 2500 kbps, Original; Audio: MP3, 256 kbps", "mpeg4", Src, Src, nullptr, 2500000, "libmp3lame", 2, 44100, 256000, XVID},
    {"Video: MPEG4 (DivX, XviD), 1500 kbps, Original; Audio: MP3, 192 kbps", "mpeg4", Src, Src, nullptr, 1500000, "libmp3lame", 2, 44100, 192000, XVID},
    {"Video: MPEG4 (DivX, XviD), 768 kbps, Original; Audio: MP3, 96 kbps", "mpeg4", Src, Src, nullptr, 768000, "libmp3lame", 2, 44100, 96000, XVID},
    {"Video: MPEG4 (DivX, XviD), 2500 kbps, 720x540; Audio: MP3, 256 kbps", "mpeg4", 720, 540, nullptr, 2500000, "libmp3lame", 2, 44100, 256000, XVID},
    {"Video: MPEG4 (DivX, XviD), 1500 kbps, 512x384; Audio: MP3, 192 kbps", "mpeg4", 512, 384, nullptr, 1500000, "libmp3lame", 2, 44100, 192000, XVID},
    {"Video: MPEG4 (DivX, XviD), 768 kbps, 320x240; Audio: MP3, 96 kbps", "mpeg4", 320, 240, nullptr, 768000, "libmp3lame", 2, 44100, 96000, XVID},
    {"Video: H.264/AVC, 1200 kbps; Audio: MP3, 192 kbps", "libx264", Src, Src, nullptr, 1200000, "libmp3lame", 2, 44100, 192000, X264},
    {"Video: H.264/AVC, 768 kbps; Audio: MP3, 96 kbps", "libx264", Src, Src, nullptr, 768000, "libmp3lame", 2, 44100, 96000, X264},
    {"BlackBerry 81xx - (MPEG4, 560 kbps, 320x240)", "mpeg4", 320, 240, nullptr, 460000, "libmp3lame", 2, 44100, 96000, Tag("FMP4")},
    {"BlackBerry 8xxx - (MPEG4, 420 kbps, 240x180)", "mpeg4", 240, 180, nullptr, 324000, "libmp3lame", 2, 44100, 96000, Tag("FMP4")},
    {"Archos AV500/700; 4-series (704,604,504,404) - (MPEG4, 1800 kbps, Original)", "mpeg4", Src, Src, nullptr, 1600000, "libmp3lame", 2, 44100, 192000, XVID},
    {"Archos AV500/700; 4-series (704,604,504,404) - (MPEG4, 900 kbps, 480x272)", "mpeg4", 480, 272, nullptr, 760000, "libmp3lame", 2, 44100, 128000, XVID},
    {"Creative Zen Vision W - (MPEG4, 1800 kbps, 720x480)", "mpeg4", 720, 480, nullptr, 1400000, "libmp3lame", 2, 44100, 192000, XVID},
    {"Creative Zen Vision - (MPEG4, 1200 kbps, 640x480)", "mpeg4", 640, 480, nullptr, 1000000, "libmp3lame", 2, 44100, 192000, XVID},
    {"Creative Zen Vision M - (MPEG4, 720 kbps, 320x240)", "mpeg4", 320, 240, nullptr, 600000, "libmp3lame", 2, 44100, 128000, XVID},
    {"Epson P3000/P4500/P5000 - (MPEG4, 2 mbps, 720x480, 30 fps)", "mpeg4", 720, 480, "30", 1200000, "libmp3lame", 2, 44100, 705000, XVID},
    {"iRiver U20(Clix) - (MPEG4, 320 kbps, 320x240, 15 fps)", "mpeg4", 320, 240, "15", 224000, "libmp3lame", 2, 44100, 96000, XVID},
    {"iRiver U10 Clix - (MPEG4, 560 kbps, 320x240, 15 fps)", "mpeg4", 320, 240, "15", 460000, "libmp3lame", 2, 44100, 96000, XVID},
    {"iAudio X5 - Optimized for hardware - (MPEG4, 600 kbps, 160x120, 15 fps)", "mpeg4", 160, 120, "15", 480000, "libmp3lame", 2, 44100, 128000, XVID},
    {"Nindendo Wii Clip", "mjpeg", 640, 480, nullptr, 4096000, "pcm_s16le", 2, 44100, 1411000, NoExtras},
    {"SanDisk Sansa View - Hight Quality - (MPEG4, 640x480; MP3, 128kbps)", "mpeg4", 640, 480, "25", 1500000, "libmp3lame", 2, 44100, 128000, XVID},
    {"SanDisk Sansa View - Normal Quality - (MPEG4, 320x240; MP3, 96kbps)", "mpeg4", 320, 240, "30", 768000, "libmp3lame", 2, 44100, 96000, XVID},
    {"Video for Google Video", "mpeg4", 640, 480, "30", 2000000, "libmp3lame", 2, 44100, 128000, XVID},
    {"Video for YouTube", "mpeg4", 320, 240, nullptr, 2700000, "libmp3lame", 2, 44100, 128000, XVID},
    {"Video for Myspace", "mpeg4", 320, 240, "25", 1000000, "libmp3lame", 2, 44100, 128000, XVID},
    {"Video: DivX; Audio: MP3, 192 kbps", "mpeg4", Src, Src, nullptr, 1200000, "libmp3lame", 2, 44100, 192000, Tag("DIVX")},
    {"Video: Uncompressed, Original; Audio: PCM", "rawvideo", Src, Src, nullptr, -1, "pcm_s16le", 2, 44100, 1411000, NoExtras},
};

const TPreset MP4Presets[] = {
    {"Apple iPod - (H.264, 320x240)", "libx264", 320, 240, "30", 640000, "libfaac", 2, 44100, 128000, OptA},
    {"Apple iPod - (H.264, 640x480)", "libx264", 640, 480, "30", 640000, "libfaac", 2, 44100, 128000, OptA},
    {"Apple iPod - (MPEG4, 320x240)", "mpeg4", 320, 240, "30", 600000, "libfaac", 2, 44100, 128000, NoExtras},
    {"Apple iPhone/iTouch - (H.264,640x420)", "libx264", 640, 420, "30", 640000, "libfaac", 2, 44100, 128000, OptA},
    {"Microsoft XBox360 - Normal HD Quality 480p - (H.264, 29.97 fps, 848x480)", "libx264", 848, 480, "30000/1001", 2600000, "libfaac", 2, 48000, 256000, X264},
    {"Sony PS3 - Normal HD Quality 480p - (H.264, 29.97 fps, 848x480)", "libx264", 848, 480, "30000/1001", 2600000, "libfaac", 2, 48000, 256000, Psp()},
    {"Sony PS3 - Normal HD Quality 480p, Surround - (H.264, 29.97 fps, 848x480)", "libx264", 848, 480, "30000/1001", 2600000, "libfaac", 2, 48000, 768000, Psp()},
    {"Sony PSP - Normal - (H.264, 29.97 fps, 368x208)", "libx264", 368, 208, "30000/1001", 520000, "libfaac", 2, 48000, 128000, Psp()},
    {"Sony PSP - High Resolution - (H264, 29.97 fps, 480x272)", "libx264", 480, 272, "30000/1001", 720000, "libfaac", 2, 48000, 128000, Psp()},
    {"Epson P2000/P4000 - High Quality - (MPEG4, 640x480)", "mpeg4", 640, 480, nullptr, 1200000, "libfaac", 2, 24000, 96000, NoExtras},
    {"Epson P2000/P4000 - Economy Quality - (MPEG4, 320x240)", "mpeg4", 320, 240, nullptr, 640000, "libfaac", 2, 22050, 64000, NoExtras},
    {"Epson P3000/P4500/P5000 - Best Quality - (MPEG4, 720x480)", "mpeg4", 720, 480, nullptr, 1200000, "libfaac", 2, 48000, 96000, NoExtras},
    {"Mobile - Standard Quality - (MPEG4, 176x144, 15 fps)", "mpeg4", 176, 144, "15", 120000, "libfaac", 2, 44100, 96000, NoExtras},
    {"Mobile - Economy Quality - (MPEG4, 128x96, 12 fps)", "mpeg4", 128, 96, "12", 56000, "libfaac", 2, 22050, 56000, NoExtras},
    {"PC - High Quality - (MPEG4, 2500 kbps, Original Size, 25 fps)", "mpeg4", Src, Src, "25", 2500000, "libfaac", 2, 48000, 256000, NoExtras},
    {"PC - Standard Quality - (MPEG4, 1200 kbps, Original Size, 25 fps)", "mpeg4", Src, Src, "25", 1200000, "libfaac", 2, 48000, 192000, NoExtras},
    {"PC - Economy Quality - (MPEG4, 700 kbps, Original Size, 25 fps)", "mpeg4", Src, Src, "25", 700000, "libfaac", 2, 48000, 128000, NoExtras},
    {"SanDisk Sansa View - Hight Quality - (MPEG4, 640x480; MPEG2/4 Audio, 128kbps)", "mpeg4", 640, 480, "24", 1500000, "libfaac", 2, 48000, 128000, NoExtras},
    {"SanDisk Sansa View - Normal Quality - (MPEG4, 320x240; MPEG2/4 Audio, 96kbps)", "mpeg4", 320, 240, "30", 768000, "libfaac", 2, 48000, 96000, NoExtras},
};

const TPreset FLVPresets[] = {
    {"FLV - Best Quality - (H.264, 1200 kbps, Original; MP3, 160 kbps)", "libx264", Src, Src, nullptr, 1200000, nullptr, 2, 44100, 160000, X264},
    {"FLV - Normal Quality - (H.264, 920 kbps, Original size, 20 fps; MP3, 112 kbps)", "libx264", Src, Src, "20", 930000, nullptr, 2, 44100, 160000, X264},
    {"FLV - Optimal Quality - (H.263, 780 kbps, 352x288, 15 fps; MP3, 64 kbps)", nullptr, 352, 288, "15", 780000, nullptr, 2, 22050, 64000, NoExtras},
    {"FLV - Low Quality - (H.263, 640 kbps, 320x240, 15 fps; MP3, 48 kbps)", nullptr, 320, 240, "15", 640000, nullptr, 2, 11025, 48000, NoExtras},
    {"FLV - Least Quality - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)", nullptr, 276, 144, "15", 480000, nullptr, 1, 11025, 24000, NoExtras},
};

const TPreset SWFPresets[] = {
    {"SWF - Best Quality - (H.263, Original; MP3, 160 kbps)", nullptr, Src, Src, "25", 1200000, nullptr, 2, 44100, 160000, NoExtras},
    {"SWF - Normal Quality - (H.263, 920 kbps, Original size, 20 fps; MP3, 112 kbps)", nullptr, Src, Src, "25", 920000, nullptr, 2, 44100, 112000, NoExtras},
    {"SWF - Optimal Quality - (H.263, 780 kbps, 352x288, 15 fps; MP3, 64 kbps)", nullptr, 352, 288, "15", 780000, nullptr, 2, 22050, 64000, NoExtras},
    {"SWF - Low Quality - (H.263, 640 kbps, 320x240, 15 fps; MP3, 48 kbps)", nullptr, 320, 240, "25", 640000, nullptr, 2, 11025, 48000, NoExtras},
    {"SWF - Least Quality - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)", nullptr, 176, 144, "15", 480000, nullptr, 1, 11025, 24000, NoExtras},
};

const TPreset MPEGPresets[] = {
    {"HD Video 1080p - (MPEG2, 15000 kbps, 1920x1080, 29.97 fps)", "mpeg2video", 1920, 1080, "30000/1001", 15000000, "mp2", 2, 48000, 224000, Rates(15000000, 6881000)},
    {"HD Video 720p - (MPEG2, 9000 kbps, 1280x720, 29.97 fps)", "mpeg2video", 1280, 720, "30000/1001", 9000000, "mp2", 2, 48000, 224000, NoExtras},
    {"DVD NTSC compatible - (MPEG2, 4000 kbps, 720x480, 29.97 fps)", nullptr, 720, 480, "30000/1001", 4000000, "mp2", 2, 48000, 224000, TargetOf(3, 2)},
    {"DVD PAL compatible - (MPEG2, 4000 kbps, 720x576, 25 fps)", nullptr, 720, 576, "25", 4000000, "mp2", 2, 48000, 224000, TargetOf(3, 1)},
    {"Video: MPEG1, 4000 kbps, Original size, 29.97 fps; Audio: 224 kbps", "mpeg1video", Src, Src, "30000/1001", 4000000, "mp2", 2, 44100, 224000, Rates(4000000, 1835000)},
    {"Video: MPEG2, 4000 kbps, Original size, 29.97 fps; Audio: 224 kbps", "mpeg2video", Src, Src, "30000/1001", 4000000, "mp2", 2, 44100, 224000, Rates(4000000, 1835000)},
    {"Creative ZEN Vision W - Best Quality - (MPEG1, 1150 kbps, 720x480, 29.97 fps)", "mpeg1video", 720, 480, "30000/1001", 1150000, "mp2", 2, 44100, 128000, Rates(1150000, 527000)},
    {"Creative ZEN Vision - Standard Quality - (MPEG1, 860 kbps, 480x360, 29.97 fps)", "mpeg1video", 720, 480, "30000/1001", 860000, "mp2", 2, 44100, 128000, Rates(860000, 394000)},
    {"Creative ZEN Vision M - Normal Quality - (MPEG1, 780 kbps, 320x240, 29.97 fps)", "mpeg1video", 320, 240, "30000/1001", 780000, "mp2", 2, 44100, 112000, Rates(780000, 357000)},
    {"Epson P3000/P4500/P5000 - (MPEG2, 2000 kbps, 720x480, 30 fps)", "mpeg1video", 720, 480, "30", 2000000, "mp2", 2, 44100, 192000, Rates(2000000, 917000)},
    {"SVCD NTSC compatible - (MPEG2, 2376 kbps, 480x480, 29.97 fps)", nullptr, 480, 480, "30000/1001", 2376000, "mp2", 2, 44100, 224000, TargetOf(2, 2)},
    {"SVCD PAL compatible - (MPEG2, 2376 kbps, 480x576, 25 fps)", nullptr, 480, 576, "25", 2376000, "mp2", 2, 44100, 224000, TargetOf(2, 1)},
    {"VCD NTSC compatible - (MPEG1, 1150 kbps, 352x240, 29.97 fps)", nullptr, 352, 240, "30000/1001", 1150000, "mp2", 2, 44100, 224000, TargetOf(1, 2)},
    {"VCD PAL compatible - (MPEG1, 1150 kbps, 352x288, 25 fps)", nullptr, 352, 288, "25", 1150000, "mp2", 2, 44100, 224000, TargetOf(1, 1)},
};

const TPreset RMPresets[] = {
    {"RM - Best Quality - (1024 kbps, Original)", "rv20", Src, Src, nullptr, 1024000, nullptr, -1, -1, -1, NoExtras},
    {"RM - Normal Quality - (750 kbps, Original)", "rv20", Src, Src, nullptr, 750000, nullptr, -1, -1, -1, NoExtras},
    {"RM - Optimal Quality - (512 kbps, Original)", "rv20", Src, Src, nullptr, 512000, nullptr, -1, -1, -1, NoExtras},
    {"RM - Low Quality  - (256 kbps, Original)", "rv20", Src, Src, nullptr, 256000, nullptr, -1, -1, -1, NoExtras},
    {"RM - Least Quality  - (128 kbps, Original)", "rv20", Src, Src, nullptr, 128000, nullptr, -1, -1, -1, NoExtras},
};

const TPreset WMVPresets[] = {
    {"HD Video 1080p: WMV 9, 9000 kbps; Audio: WMA Pro, 384kbps", "wmv2", 1920, 1080, "30000/1001", 9000000, "wmav2", 2, 48000, 384000, NoExtras},
    {"HD Video 720p: WMV 9, 7000 kbps; Audio: WMA Pro, 384kbps", "wmv2", 1280, 720, "30000/1001", 7000000, "wmav2", 2, 48000, 384000, NoExtras},
    {"Microsoft Zune - Best Quality - (1112 kbps, 320x240, 25 fps)", "wmv2", 320, 240, "25", 1112000, "wmav2", 2, 44100, 192000, NoExtras},
    {"Microsoft Zune - Normal Quality - (568 kbps, 320x240, 25 fps)", "wmv2", 320, 240, "25", 568000, "wmav2", 2, 44100, 128000, NoExtras},
    {"Video for Pocket PCs/PDAs", "wmv2", 192, 144, "20", 176000, "wmav2", 2, 32000, 48000, NoExtras},
    {"Archos AV500/700; 4-series (704,604,504,404) - Highest Available Quality", "wmv2", 352, 288, "25", 920000, "wmav2", 2, 44100, 128000, NoExtras},
    {"Archos AV500/700; 4-series (704,604,504,404) - Good Quality", "wmv2", 320, 240, "25", 600000, "wmav2", 2, 44100, 128000, NoExtras},
    {"Archos AV500/700; 4-series (704,604,504,404) - Low Quality", "wmv2", 352, 288, "25", 400000, "wmav2", 2, 44100, 96000, NoExtras},
    {"Creative ZEN Vision W - Highest Available Quality", "wmv2", 480, 272, "25", 700000, "wmav2", 2, 44100, 192000, NoExtras},
    {"Creative ZEN Vision - Good Quality", "wmv2", 320, 240, "25", 720000, "wmav2", 2, 44100, 128000, NoExtras},
    {"Creative ZEN Vision M - Normal Quality", "wmv2", 320, 240, "25", 480000, "wmav2", 2, 44100, 128000, NoExtras},
    {"Epson Multimedia Storage Viewer P3000/P5000", "wmv2", 352, 288, "24", 768000, "wmav2", 2, 44100, 128000, NoExtras},
    {"SanDisk Sansa View", "wmv2", 320, 240, "30", 768000, "wmav2", 2, 48000, 128000, NoExtras},
    {"Palm Treo series", "wmv2", 320, 240, "25", 380000, "wmav2", 2, 44100, 128000, NoExtras},
    {"HP iPaq series", "wmv2", 320, 240, "25", 220000, "wmav2", 2, 44100, 96000, NoExtras},
    {"Windows Media Video 9 High Quality", "wmv2", 320, 240, "25", 2500000, "wmav2", 2, 48000, 196000, NoExtras},
    {"Windows Media Video 9 Standard Quality", "wmv2", 320, 240, "25", 720000, "wmav2", 2, 44100, 128000, NoExtras},
    {"Windows Media Video 9 Low Quality", "wmv2", 320, 240, "25", 480000, "wmav2", 2, 44100, 96000, NoExtras},
};

const TPreset MOVPresets[] = {
    {"Apple TV - Best Quality - (H.264, Original; MP2/4 (AAC), 320 kbps)", "libx264", Src, Src, nullptr, 1200000, "libfaac", 2, 48000, 320000, X264},
    {"Quick Time - HD Quality 480p - (H.264, 848x480; MP2/4 (AAC), 320 kbps)", "libx264", 848, 480, nullptr, 1200000, "libfaac", 2, 48000, 320000, X264},
    {"Quick Time - DVD Quality - (H.264, 720x576; MP2/4 (AAC), 320 kbps)", "libx264", 720, 576, nullptr, 1200000, "libfaac", 2, 48000, 320000, X264},
    {"Quick Time - Photo Quality - (Photo Jpeg, Original; MP3, 256 kbps)", "mjpeg", Src, Src, nullptr, 16384000, "libmp3lame", 2, 44100, 256000, NoExtras},
    {"Quick Time - Optimal Quality - (H.263, 352x288; MP3, 128 kbps)", "h263", 352, 288, nullptr, 6144000, "libmp3lame", 2, 44100, 128000, NoExtras},
    {"Quick Time - Highest Available Quality - (MPEG4, Original; MP3, 192 kbps)", "mpeg4", Src, Src, nullptr, 921600, "libmp3lame", 2, 44100, 192000, NoExtras},
    {"Quick Time - Standard Quality - (H.263, 176x144; MP3, 128 kbps)", "h263", 176, 144, nullptr, 4014080, "libmp3lame", 2, 44100, 128000, NoExtras},
    {"Quick Time - Balanced Quality - (MPEG4, Original; MP3, 96 kbps)", "mpeg4", Src, Src, nullptr, 614400, "libmp3lame", 2, 44100, 96000, NoExtras},
    {"Quick Time - Economy Quality - (Sorenson Video; MP3, 96 kbps)", "svq1", Src, Src, nullptr, 921600, "libmp3lame", 2, 44100, 96000, NoExtras},
    {"Quick Time - Economy Quality - (Sorenson Video; IMA ADPCM)", "svq1", Src, Src, nullptr, 921600, "adpcm_ima_qt", 2, 44100, 352000, NoExtras},
};

const TPreset ThreeGPPresets[] = {
    {"3GPP - Extended Mobile Support - (H.263, 240 kbps, 176x144, 12 fps; AMR)", "h263", 176, 144, "12", 240000, nullptr, 1, 8000, 12200, NoExtras},
    {"3GPP - Mobile Highest Available Quality - (MPEG4, 104 kbps, 176x144, 15 fps; AAC)", "mpeg4", 176, 144, "15", 104000, "libfaac", 1, 32000, 64000, NoExtras},
    {"3GPP - Mobile Standard Quality - (MPEG4, 64 kbps, 176x144, 12 fps; AMR)", "mpeg4", 176, 144, "12", 64000, nullptr, 1, 8000, 12200, NoExtras},
    {"3GPP - Mobile Balanced Quality - (H.263, 140 kbps, 128x96, 10 fps; AMR)", "h263", 128, 96, "10", 140000, nullptr, 1, 8000, 10200, NoExtras},
    {"3GPP - Mobile Smallest Size with Audio - (MPEG4, 44 kbps, 128x96, 10 fps; AMR)", "mpeg4", 128, 96, "10", 44000, nullptr, 1, 8000, 6700, NoExtras},
};

const TPreset iPodPresets[] = {
    {"iPod Highest Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)", "libx264", 640, 480, "30", 2500000, "libfaac", 2, 48000, 160000, OptA},
    {"iPod Touch High Quality (H264, 30 fps, 480x320, 2500 kbps; AAC - 160 kbps) ", "libx264", 480, 320, "30", 2500000, "libfaac", 2, 48000, 160000, OptA},
    {"iPod Touch Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)", "libx264", 480, 320, "24", 1300000, "libfaac", 2, 44100, 128000, OptA},
    {"iPod Touch Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps) ", "libx264", 320, 240, "15", 500000, "libfaac", 2, 44100, 128000, OptA},
    {"iPod Classic High Quality (H264, 30 fps, 320x240, 2500 kbps; AAC - 160 kbps)", "libx264", 320, 240, "30", 2500000, "libfaac", 2, 48000, 160000, OptA},
    {"iPod Classic Standard Quality (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)", "libx264", 320, 240, "24", 1000000, "libfaac", 2, 44100, 128000, OptA},
    {"iPod Classic Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)", "libx264", 320, 240, "15", 500000, "libfaac", 2, 44100, 128000, OptA},
    {"iPod Nano High Quality (H264, 30 fps, 320x240, 2500 kbps; AAC - 160 kbps)", "libx264", 320, 240, "30", 2500000, "libfaac", 2, 48000, 160000, OptA},
    {"iPod Nano Standard Quality (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)", "libx264", 320, 240, "24", 1000000, "libfaac", 2, 44100, 128000, OptA},
    {"iPod Nano Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)", "libx264", 320, 240, "15", 500000, "libfaac", 2, 44100, 128000, OptA},
};

const TPreset iPhonePresets[] = {
    {"iPhone High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)", "libx264", 640, 480, "30", 2500000, "libfaac", 2, 48000, 160000, OptA},
    {"iPhone Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)", "libx264", 480, 320, "30", 1300000, "libfaac", 2, 44100, 128000, OptA},
    {"iPhone Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)", "libx264", 320, 240, "15", 500000, "libfaac", 2, 44100, 128000, OptA},
};

const TPreset AppleTVPresets[] = {
    {"AppleTV High Quality (H264, 24 fps, 1280x720, 5000 kbps; AAC - 160 kbps)", "libx264", 640, 480, "24", 5000000, "libfaac", 2, 48000, 160000, OptA},
    {"AppleTV Standard Quality (H264, 24 fps, 720x540, 2000 kbps; AAC - 128 kbps)", "libx264", 720, 540, "24", 2000000, "libfaac", 2, 44100, 128000, OptA},
    {"AppleTV Economy Quality (H264, 24 fps, 480x360, 1000 kbps; AAC - 128 kbps)", "libx264", 480, 360, "24", 1000000, "libfaac", 2, 44100, 128000, OptA},
};

const TPreset PSPPresets[] = {
    {"PSP Highest Quality (H264, 30 fps, 480x272, 1500 kbps; AAC - 160 kbps)", "libx264", 480, 272, "30", 1500000, "libfaac", 2, 48000, 160000, Psp()},
    {"PSP Optimal Quality (H264, 24 fps, 368x208, 1000 kbps; AAC - 128 kbps)", "libx264", 368, 208, "24", 1000000, "libfaac", 2, 44100, 128000, Psp()},
    {"PSP Economy Quality (H264, 15 fps, 368x208, 500 kbps; AAC - 128 kbps)", "libx264", 368, 208, "15", 500000, "libfaac", 2, 44100, 128000, Psp()},
};

const TPreset BlackBerryPresets[] = {
    {"BlackBerry High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)", "libx264", 640, 480, "30", 2500000, "libfaac", 2, 48000, 160000, X264},
    {"BlackBerry Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)", "libx264", 480, 320, "30", 1300000, "libfaac", 2, 44100, 128000, X264},
    {"BlackBerry Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)", "libx264", 320, 240, "15", 500000, "libfaac", 2, 44100, 128000, X264},
};

const TPreset MobilePhonePresets[] = {
    {"Mobile MP4 High Quality (MPEG4, 15 fps, 320x240, 600 kbps; AAC - 192 kbps)", "mpeg4", 320, 240, "15", 600000, "libfaac", 2, 48000, 192000, NoExtras},
    {"Mobile MP4 Standard Quality (MPEG4, 15 fps, 176x144, 256 kbps; AAC - 128 kbps)", "mpeg4", 176, 144, "15", 256000, "libfaac", 2, 44100, 128000, NoExtras},
    {"Mobile MP4 Balanced Quality (MPEG4, 12 fps, 176x144, 146 kbps; AAC - 96 kbps)", "mpeg4", 176, 144, "12", 146000, "libfaac", 2, 32000, 96000, NoExtras},
    {"Mobile MP4 Economy Quality (MPEG4, 10 fps, 128x96, 119 kbps; AAC - 64 kbps)", "mpeg4", 128, 96, "10", 119000, "libfaac", 2, 22050, 64000, NoExtras},
};

const TPreset iPadPresets[] = {
    {"iPad High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)", "libx264", 640, 480, "30", 2500000, "libfaac", 2, 48000, 160000, OptA},
    {"iPad Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)", "libx264", 480, 320, "30", 1300000, "libfaac", 2, 44100, 128000, OptA},
    {"iPad Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)", "libx264", 320, 240, "15", 500000, "libfaac", 2, 44100, 128000, OptA},
};

const TPreset WAVPresets[] = {
    Audio("For Mobiles - PCM: 11025 Hz, Mono, 16 bits", "pcm_s16le", 1, 11025, -1),
    Audio("AM Radio Quality - PCM: 22050 Hz, Mono, 16 bits", "pcm_s16le", 1, 22050, -1),
    Audio("FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits", "pcm_s24le", 2, 22050, -1),
    Audio("HiFi Quality - PCM: 48000Hz, Stereo, 32 bits", "pcm_s32le", 2, 48000, -1),
    Audio("Uncompressed (CD Audio Quality)", "pcm_s16le", 2, 44000, -1),
};

const TPreset MP3Presets[] = {
    Audio("For Mobile - MP3: 44100 Hz, Stereo, 112 kbps", "libmp3lame", 2, 44100, 112000),
    Audio("For Media Player - MP3: 48000 Hz, Stereo, 128 kbps", "libmp3lame", 2, 48000, 128000),
    Audio("Normal Quality - MP3: 48000 Hz, Stereo, 256 kbps", "libmp3lame", 2, 48000, 256000),
    Audio("Best Quality - MP3: 48000 Hz, Stereo, 320 kbps", "libmp3lame", 2, 48000, 320000),
};

const TPreset WMAPresets[] = {
    Audio("For Media Player Best Quality", "wmav2", 2, 48000, 192000),
    Audio("For Media Player Economy Quality", "wmav2", 2, 44100, 96000),
    Audio("For Pocket PCs/PDAs Normal Quality", "wmav2", 2, 44100, 128000),
    Audio("For PC Normal Quality", "wmav2", 2, 44100, 128000),
    Audio("WMA Losslesss Audio", "wmav2", 2, 48000, -1, SourceAudioBitrate()),
};

const TPreset OGGPresets[] = {
    Audio("Telephone Quality - Ogg Vorbis: Quality - 4.97; 11025 Hz, Mono", "libvorbis", -1, 11025, -1, Opts("aq=4.97")),
    Audio("AM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Mono", "libvorbis", -1, 22050, -1, Opts("aq=4.97")),
    Audio("FM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Stereo", "libvorbis", -1, 22050, -1, Opts("aq=4.97")),
    Audio("CD Quality - Ogg Vorbis: Quality - 4.97; 44100 Hz, Stereo", "libvorbis", -1, 44100, -1, Opts("aq=4.97")),
    Audio("HiFi Quality - Ogg Vorbis: Quality - 8.05; 48000 Hz, Stereo", "libvorbis", -1, 48000, -1, Opts("aq=8.05")),
};

const TPreset AACPresets[] = {
    Audio("For Mobiles - MPEG2/4 LC: 16000 Hz, Mono, 96 kbps", "libfaac", 1, 16000, 96000),
    Audio("AM Quality - MPEG2/4 LC: 22500 Hz, Mono, 112 kbps", "libfaac", 1, 22500, 112000),
    Audio("FM Quality - MPEG2/4 LC: 22500 Hz, Stereo, 224 kbps", "libfaac", 2, 22500, 224000),
    Audio("CD Quality - MPEG2/4 LC: 44100 Hz, Stereo, 256 kbps", "libfaac", 2, 44100, 256000),
    Audio("HiFi Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", "libfaac", 2, 48000, 256000),
};

const TPreset M4APresets[] = {
    Audio("Normal Quality - MPEG2/4 LC: 44100 Hz, Stereo, 96 kbps", nullptr, 2, 44100, 96000),
    Audio("Best Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", nullptr, 2, 44800, 256000),
};

const TPreset FLACPresets[] = {
    Audio("Compression Level 0", "flac", -1, -1, -1, Opts("compression_level=0")),
    Audio("Compression Level 1", "flac", -1, -1, -1, Opts("compression_level=1")),
    Audio("Compression Level 2", "flac", -1, -1, -1, Opts("compression_level=2")),
    Audio("Compression Level 3", "flac", -1, -1, -1, Opts("compression_level=3")),
    Audio("Compression Level 4", "flac", -1, -1, -1, Opts("compression_level=4")),
    Audio("Compression Level 5 (Default)", "flac", -1, -1, -1, Opts("compression_level=5")),
    Audio("Compression Level 6", "flac", -1, -1, -1, Opts("compression_level=6")),
    Audio("Compression Level 7", "flac", -1, -1, -1, Opts("compression_level=7")),
    Audio("Compression Level 8", "flac", -1, -1, -1, Opts("compression_level=8")),
};

const TPreset MP2Presets[] = {
    Audio("For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps", nullptr, 1, 22050, 96000),
    Audio("AM Quality - MPEG layer-2: 22050 Hz, Mono, 112 kbps", nullptr, 1, 22050, 112000),
    Audio("FM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps", nullptr, 2, 22050, 128000),
};

#define FORMAT(cls, index, name, ext, presets) \
    {cls, index, #name, "ButtonFormat" #name, "ImageComboBox" #name "Presets", ext, \
     &TAppSettings::Output##name##Preset, "Output" #name "Preset", presets}

const TOutputFormat Formats[] = {
    FORMAT(fcVideo, 0, AVI, ".avi", AVIPresets),
    FORMAT(fcVideo, 1, MP4, ".mp4", MP4Presets),
    FORMAT(fcVideo, 2, FLV, ".flv", FLVPresets),
    FORMAT(fcVideo, 3, SWF, ".swf", SWFPresets),
    FORMAT(fcVideo, 4, MPEG, ".mpg", MPEGPresets),
    FORMAT(fcVideo, 5, RM, ".rm", RMPresets),
    FORMAT(fcVideo, 6, WMV, ".wmv", WMVPresets),
    FORMAT(fcVideo, 7, MOV, ".mov", MOVPresets),
    FORMAT(fcVideo, 8, 3GP, ".3gp", ThreeGPPresets),
    FORMAT(fcDevice, 0, iPod, ".mp4", iPodPresets),
    FORMAT(fcDevice, 1, iPhone, ".mp4", iPhonePresets),
    FORMAT(fcDevice, 2, AppleTV, ".mp4", AppleTVPresets),
    FORMAT(fcDevice, 3, PSP, ".mp4", PSPPresets),
    FORMAT(fcDevice, 4, BlackBerry, ".mp4", BlackBerryPresets),
    FORMAT(fcDevice, 5, MobilePhone, ".mp4", MobilePhonePresets),
    FORMAT(fcDevice, 6, iPad, ".mp4", iPadPresets),
    FORMAT(fcAudio, 0, WAV, ".wav", WAVPresets),
    FORMAT(fcAudio, 1, MP3, ".mp3", MP3Presets),
    FORMAT(fcAudio, 2, WMA, ".wma", WMAPresets),
    FORMAT(fcAudio, 3, OGG, ".ogg", OGGPresets),
    FORMAT(fcAudio, 4, AAC, ".aac", AACPresets),
    FORMAT(fcAudio, 5, M4A, ".m4a", M4APresets),
    FORMAT(fcAudio, 6, FLAC, ".flac", FLACPresets),
    FORMAT(fcAudio, 7, MP2, ".mp2", MP2Presets),
};

#undef FORMAT

} // namespace

const char* const PresetOptionsA = OptionsAText;
const char* const PresetOptionsB = OptionsBText;

std::span<const TOutputFormat> OutputFormats()
{
    return Formats;
}
