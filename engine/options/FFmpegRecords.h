#pragma once
// The records a task is configured with (TInputOptions, TOutputOptions) and the records its
// events carry (progress, termination, preview, hook). Plain values: the engine keeps copies.
//
// A field at its initial value means "not set": the engine then keeps the input's value or the
// codec's default. Texts are QString, durations and positions 64-bit microseconds, bit rates
// bits per second, sample rates hertz.
#include <QString>

#include <cstdint>
#include <limits>
#include <vector>

// A 24-bit picture: rows top row first, each pixel B, G, R, each row padded to 4 bytes.
struct TBitmap {
    int Width = 0;
    int Height = 0;
    int Stride = 0; // bytes per row: Width * 3 rounded up to a multiple of 4
    std::vector<std::uint8_t> Bits;

    void SetSize(int width, int height)
    {
        Width = width > 0 ? width : 0;
        Height = height > 0 ? height : 0;
        Stride = (Width * 3 + 3) & ~3;
        Bits.assign(size_t(Stride) * size_t(Height), 0);
    }
    bool IsEmpty() const { return Width <= 0 || Height <= 0; }
    const std::uint8_t* ScanLine(int row) const { return Bits.data() + size_t(row) * size_t(Stride); }
    std::uint8_t* ScanLine(int row) { return Bits.data() + size_t(row) * size_t(Stride); }
};

// The library's "no timestamp" value (0x8000000000000000): a time field that is not set.
inline constexpr std::int64_t NoTimestampValue = std::numeric_limits<std::int64_t>::min();

struct TInputOptions {
    QString FileName;                          // empty: the name given to the add call
    QString ForceFormat;                       // "f"
    std::int64_t StartTime = NoTimestampValue; // "ss"
    int ProgramID = -1;                        // "programid" when >= 0
    QString ExtOptions;                        // custom option text

    bool operator==(const TInputOptions&) const = default;
};

inline void InitInputOptions(TInputOptions& options)
{
    options = TInputOptions();
}

// Metadata of an output.
struct TStreamInfo {
    // Local date-time as days since 1899-12-30 with the time of day as fraction;
    // -1.0 = not set, 0 = the moment the output is written.
    double Timestamp = -1.0;
    int Year = -1;  // written when > 0
    int Track = -1; // written when > 0
    QString Title, Author, Copyright, Comment, Album, Genre; // written when not empty

    bool operator==(const TStreamInfo&) const = default;
};

struct TOutputOptions {
    QString FileName;
    QString ForceFormat;        // "f"
    int PacketSize = -1;        // > 0
    int MuxRate = -1;           // > 0
    float MuxDelay = -1.0f;     // seconds, > 0
    float MuxPreload = -1.0f;   // seconds, > 0

    QString AudioCodec;         // "copy" copies the stream
    QString AudioPreset;
    bool DisableAudio = false;
    int AudioVolume = -1;       // 256 = unchanged; >= 0
    int AudioChannels = -1;     // > 0
    int AudioSampleRate = -1;   // > 0
    int AudioBitrate = -1;      // > 0
    int AudioBitrateTolerance = -1;
    QString AudioLanguage;
    int AudioSync = 0;          // always applied
    QString AudioTag;           // four characters

    QString VideoCodec;         // "copy" copies the stream
    QString VideoPreset;
    bool DisableVideo = false;
    QString FrameRate;          // "25", "30000/1001"
    QString FrameSize;          // "320*240"
    QString AspectRatio;        // "1.333"
    int CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1; // >= 0
    int PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;     // >= 0
    std::uint32_t PadColor = 0; // 0xRRGGBB, black
    int GOPSize = -1;
    int VideoBitrate = -1;
    int MaxRate = -1;
    int MinRate = -1;
    int VideoBitrateTolerance = -1;
    int BufferSize = -1;
    int VideoSync = -1;         // always applied
    QString VideoTag;           // four characters
    QString VideoFilters;
    QString VideoLanguage;

    QString SubtitleCodec;
    QString SubtitlePreset;
    bool DisableSubtitle = false;
    QString SubtitleLanguage;

    bool InputSync = false;
    bool CopyTimestamps = false;
    std::int64_t StartTime = NoTimestampValue;
    std::int64_t RecordingTime = NoTimestampValue; // stop writing after this duration
    TStreamInfo Info;

    int Target = 0;             // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
    int TargetNorm = 0;         // 0 "auto", 1 "pal", 2 "ntsc"
    int DefaultNorm = 1;        // when "auto" finds none: 1 "pal", else "ntsc"
    bool CustomHook = false;    // hand every decoded video frame to OnCustomHook
    bool Join = false;          // join all inputs of the task one after another
    QString ExtOptions;         // custom option text

    bool operator==(const TOutputOptions&) const = default;
};

inline void InitOutputOptions(TOutputOptions& options)
{
    options = TOutputOptions();
}

struct TProgressInfo {
    int TaskIndex = -1;
    int FileIndex = -1;               // input of the last packet; -1 in the final report
    int FrameNumber = -1;             // frames encoded for the first video output; -1 without
    int FPS = -1;                     // -1 without video
    float Quality = -1.0f;            // current quantiser; -1 for a copied stream or no video
    float BitRate = 0.0f;             // kbit/s
    std::int64_t CurrentSize = 0;     // bytes written to the first output
    std::int64_t CurrentDuration = 0; // microseconds
    std::int64_t TotalDuration = -1;  // microseconds; -1 unknown
};

struct TTerminateInfo {
    int TaskIndex = -1;               // -1: the final report after the last task
    bool Finished = false;            // ran to its end without a stop request
    bool Exception = false;           // an error ended the task
    QString ExceptionMsg;
};

struct TPreviewInfo {
    int TaskIndex = -1;
    TBitmap* Bitmap = nullptr;        // 24-bit picture owned by the task
    int FrameNumber = 0;              // decoded video frames of the task so far
    std::int64_t PTS = NoTimestampValue; // microseconds
};

struct THookInfo {
    int TaskIndex = -1;
    TBitmap* Bitmap = nullptr;
    int FrameNumber = 0;
    std::int64_t PTS = NoTimestampValue;
    bool Update = true;               // copy the bitmap back into the frame afterwards
    bool StopHook = false;            // set by the handler to stop hooking this task
};
