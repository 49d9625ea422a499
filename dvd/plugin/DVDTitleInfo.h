#pragma once
// The title record and the exports of the DVD plug-in, shared by the plug-in and the program
// that loads it. The layout is fixed (3960 bytes, little-endian, natural alignment): a plug-in
// built by anyone else may fill it, so every offset is checked at compile time.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 8)

struct TDVDAudioInfo {
    std::int32_t Type;         // codec code, see DVDCodec
    std::int32_t ID;           // MPEG-PS stream id: 0x80+n AC3, 0x88+n DTS, 0xA0+n LPCM, 0xC0+n MPEG audio
    std::int32_t SampleRate;   // Hz
    std::int32_t Channels;
    char LanguageCode[4];      // zero-terminated when shorter
    char LanguageName[64];
};

struct TDVDSubtitleInfo {
    std::int32_t Type;
    std::int32_t ID;           // 0x20+n
    char LanguageCode[4];
    char LanguageName[64];
};

inline constexpr int DVDMaxAudio = 8;
inline constexpr int DVDMaxSubtitles = 32;
inline constexpr int DVDMaxChapters = 100;

struct TDVDTitleInfo {
    double Length;             // seconds
    std::int32_t VideoType;
    std::int32_t VideoID;
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t Norm;         // 0 PAL, 1 NTSC
    std::int32_t Aspect;       // 0 4:3, 1 16:9
    std::int32_t AudioCount;
    TDVDAudioInfo Audio[DVDMaxAudio];
    std::int32_t SubtitleCount;
    TDVDSubtitleInfo Subtitle[DVDMaxSubtitles];
    std::int32_t ChapterCount;
    std::int32_t Reserved1;
    double ChapterLength[DVDMaxChapters]; // seconds
    std::int32_t IsValid;
    std::int32_t Reserved2;
};

#pragma pack(pop)

static_assert(sizeof(TDVDAudioInfo) == 84);
static_assert(offsetof(TDVDAudioInfo, Type) == 0);
static_assert(offsetof(TDVDAudioInfo, ID) == 4);
static_assert(offsetof(TDVDAudioInfo, SampleRate) == 8);
static_assert(offsetof(TDVDAudioInfo, Channels) == 12);
static_assert(offsetof(TDVDAudioInfo, LanguageCode) == 16);
static_assert(offsetof(TDVDAudioInfo, LanguageName) == 20);
static_assert(sizeof(TDVDSubtitleInfo) == 76);
static_assert(offsetof(TDVDSubtitleInfo, Type) == 0);
static_assert(offsetof(TDVDSubtitleInfo, ID) == 4);
static_assert(offsetof(TDVDSubtitleInfo, LanguageCode) == 8);
static_assert(offsetof(TDVDSubtitleInfo, LanguageName) == 12);
static_assert(offsetof(TDVDTitleInfo, Length) == 0);
static_assert(offsetof(TDVDTitleInfo, VideoType) == 8);
static_assert(offsetof(TDVDTitleInfo, VideoID) == 12);
static_assert(offsetof(TDVDTitleInfo, Width) == 16);
static_assert(offsetof(TDVDTitleInfo, Height) == 20);
static_assert(offsetof(TDVDTitleInfo, Norm) == 24);
static_assert(offsetof(TDVDTitleInfo, Aspect) == 28);
static_assert(offsetof(TDVDTitleInfo, AudioCount) == 32);
static_assert(offsetof(TDVDTitleInfo, Audio) == 36);
static_assert(offsetof(TDVDTitleInfo, SubtitleCount) == 708);
static_assert(offsetof(TDVDTitleInfo, Subtitle) == 712);
static_assert(offsetof(TDVDTitleInfo, ChapterCount) == 3144);
static_assert(offsetof(TDVDTitleInfo, ChapterLength) == 3152);
static_assert(offsetof(TDVDTitleInfo, IsValid) == 3952);
static_assert(sizeof(TDVDTitleInfo) == 3960);

// Codec codes of VideoType and the Type fields.
enum DVDCodec : std::int32_t {
    dcUnknown = 0, dcMPEG1 = 1, dcMPEG2 = 2, dcMPA = 3, dcAC3 = 4, dcDTS = 5, dcLPCM = 6, dcSUB = 7,
};

inline constexpr int DVDBlockSize = 2048;

// The exports, C linkage and calling convention, 8-bit zero-terminated texts.
extern "C" {
using TDVDInitialize = std::int32_t (*)(const char* init);
using TDVDEnumTitle = std::int32_t (*)(const char* root);
using TDVDGetTitle = std::int32_t (*)(std::int32_t index, TDVDTitleInfo* info);
using TDVDSetParam = std::int32_t (*)(const char* name, const char* value);
using TDVDGetLibVersion = std::int32_t (*)();
// Reading a title: the VOB blocks of chapters first..last (from 0) of a title (from 0) of root.
using TDVDOpenTitleReader = void* (*)(const char* root, std::int32_t title, std::int32_t firstChapter,
                                       std::int32_t lastChapter);
using TDVDTitleReaderBlocks = std::int64_t (*)(void* reader);
// Reads count blocks from block (counted within the range); the number read, 0 at the end, < 0 on error.
using TDVDReadTitleBlocks = std::int32_t (*)(void* reader, std::int64_t block, std::int32_t count,
                                             unsigned char* buffer);
using TDVDCloseTitleReader = void (*)(void* reader);
// The reason of the last failure on the calling thread.
using TDVDGetLastError = const char* (*)();
}
