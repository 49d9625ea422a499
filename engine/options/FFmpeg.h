#pragma once
// options/ owns a job's option state and everything that sets it: the dispatcher and setters,
// the libraries' own option tables (generic route), the older generation's option names
// (OptionCompat), the built-in presets, the target presets, and the option records of tasks and
// events (FFmpegRecords.h). It calls the loader and the logger, and the settings library for the
// application's defaults; it never runs a conversion.
//
// One transcoding job (TCustomFFmpeg): its option state and the option dispatcher.
//
// Options are set one at a time by name, in order, as a command-line transcoder takes them: each
// applies to the next input or output opened, or to the output just opened. Names the dispatcher
// does not handle go to the libraries' own option tables ("generic route"), probed on option
// contexts of defaults; the names set there are remembered and copied onto the real codec,
// format and scaler contexts when those are created. The pipeline extends this class.
#include "FFBaseComponent.h"
#include "FFmpegApi.h"
#include "FFTargets.h"
#include "FFmpegLogger.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

constexpr int MAX_FILES = 20;            // inputs, and outputs, of one task
constexpr int MAX_STREAMS = 20;          // streams per file
constexpr int MAX_STREAM_MAPS = 400;
constexpr int MAX_META_DATA_MAPS = 20;

struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

struct TMetaDataMap {
    int OutFile = 0;
    int InFile = 0;
};


// The option state of a task. The member initialisers are the reset values.
struct TFFmpegOptions {
    // output frame; 0 = from the input
    int FrameWidth = 0;
    int FrameHeight = 0;
    bool FrameSizeSet = false;                   // "s" given since the last input was opened
    double FrameAspectRatio = 0.0;               // 0 = not set
    AVPixelFormat FramePixFmt = AV_PIX_FMT_NONE;
    AVRational FrameRate{0, 0};                  // 0/0 = not set
    int FrameTopBand = 0, FrameBottomBand = 0, FrameLeftBand = 0, FrameRightBand = 0; // crops
    int FramePadTop = 0, FramePadBottom = 0, FramePadLeft = 0, FramePadRight = 0;
    std::array<int, 3> PadColor{16, 128, 128};   // Y, U, V

    // audio
    int AudioSampleRate = 44100;
    int AudioChannels = 2;
    AVSampleFormat AudioSampleFmt = AV_SAMPLE_FMT_NONE;
    float AudioQScale = -99999.0f;               // not set
    int AudioVolume = 256;
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0.1f;

    // video
    int VideoSyncMethod = -1;
    float VideoQScale = 0.0f;                    // 0 = not set
    bool IntraOnly = false;
    bool SameQuality = false;
    bool DoDeinterlace = false;
    bool BurnSubtitles = false;                  // "burnsubtitles": picture subtitles into the video
    int TopFieldFirst = -1;                      // "top"
    int IntraDCPrecision = 8;                    // "dc"
    bool DoPSNR = false;
    bool QPHist = false;
    bool ForceFPS = false;
    int VideoDiscard = 0;                        // "vdt"
    int VideoChannel = 0;                        // "vc"
    int MeThreshold = 0;
    int VideoGlobalHeader = 0;                   // "vglobal"
    int CopyInitialNonKeyframes = 0;             // "copyinkf"
    QString VideoRCOverride;                     // "rc_override"
    QString VideoStandard;                       // "tvstd"
    std::vector<std::uint16_t> IntraMatrix;      // 64 entries once set
    std::vector<std::uint16_t> InterMatrix;

    // codecs: names apply to the next stream of the kind and are then cleared
    QString VideoCodecName, AudioCodecName, SubtitleCodecName;
    bool VideoStreamCopy = false, AudioStreamCopy = false, SubtitleStreamCopy = false;
    std::uint32_t VideoCodecTag = 0, AudioCodecTag = 0, SubtitleCodecTag = 0;
    QString VideoLanguage, AudioLanguage, SubtitleLanguage;
    bool VideoDisable = false, AudioDisable = false, SubtitleDisable = false;

    // limits; MaxFrames is indexed by media type (video, audio, data)
    std::array<int, 3> MaxFrames{INT_MAX, INT_MAX, INT_MAX};
    std::int64_t RecordingTime = INT64_MAX;      // microseconds; INT64_MAX = not set
    std::int64_t StartTime = 0;                  // microseconds
    std::int64_t InputTSOffset = 0;              // microseconds
    std::int64_t LimitFileSize = 0;              // bytes; 0 = none
    std::int64_t RecordingTimestamp = 0;         // seconds since 1970
    std::int64_t TotalDuration = -1;             // expected, microseconds; -1 = unknown

    // muxing (packet size and mux rate go through the generic route)
    float MuxMaxDelay = 0.7f;
    float MuxPreload = 0.5f;

    // two-pass and statistics
    int DoPass = 0;
    QString PassLogFileName;
    QString VStatsFileName;

    int Verbose = 1;
    bool CopyTs = false;
    bool OptShortest = false;
    bool InputSync = false;
    bool ExitOnError = false;
    bool DoPktDump = false;
    bool DoHexDump = false;
    bool RateEmu = false;
    bool LoopInput = false;
    int LoopOutput = -1;                         // -1 = the muxer's default
    float DtsDeltaThreshold = 10.0f;

    QString FileFormatName;                      // "f"; consumed by the next input or output
    bool ForcePgmyuvCodec = false;               // "f pgmyuv": image2 with the pgmyuv codec
    int ProgramID = -1;                          // -1 = none

    // Library options no context of defaults knows: the private options of a muxer or encoder
    // that is only chosen later (from the output name). Each output takes those its muxer and
    // encoders know.
    std::vector<std::pair<QString, QString>> UnclaimedOptions;

    std::vector<TStreamMap> StreamMaps;
    std::vector<TMetaDataMap> MetaDataMaps;
    std::vector<std::pair<QString, QString>> Metadata; // for the next output
    std::array<std::array<double, MAX_STREAMS>, MAX_FILES> InputTSScale = UnitScale();
    QStringList AudioBitstreamFilters, VideoBitstreamFilters, SubtitleBitstreamFilters;
    QString VideoFilters;                        // "vfilters"
    QStringList VideoHooks;                      // "vhook" arguments

    static std::array<std::array<double, MAX_STREAMS>, MAX_FILES> UnitScale()
    {
        std::array<std::array<double, MAX_STREAMS>, MAX_FILES> s{};
        for (auto& row : s) row.fill(1.0);
        return s;
    }
};

// Stages of a custom option text, by the key of each line.
enum TCustomOptionStage {
    cosNewStreams = 0, // "newvideo", "newaudio", "newsubtitle"
    cosPresets = 1,    // "apre", "vpre", "spre"
    cosCodecs = 2,     // "acodec", "vcodec", "scodec"
    cosFrameSize = 3,  // "s"
    cosFilters = 4,    // "vfilters"
    cosOthers = 5,     // every other key
};

struct TCustomOption {
    QString Key;   // lower case
    QString Value; // as written
    int Stage = cosOthers;
};

// Splits a custom option text into its lines (see ApplyCustomOptions).
QList<TCustomOption> ParseCustomOptions(const QString& text);

class TCustomFFmpeg : public TFFBaseComponent {
public:
    explicit TCustomFFmpeg(QObject* owner = nullptr);
    ~TCustomFFmpeg() override;

    // Back to the reset values; the option contexts are rebuilt when the libraries are loaded.
    void ResetOptions();

    const TFFmpegOptions& Options() const { return FOptions; }

    // The dispatcher: one name, one effect. Rejections raise FFmpegException.
    void SetOption(const QString& name, const QString& value);

    // The library route. False for an empty name or value, an unknown name or a refused value
    // (the refusal goes to the library log).
    bool GenericOption(const QString& name, const QString& value);

    // Applies the lines of one stage of a custom option text, in order, through SetOption.
    void ApplyCustomOptions(const QString& text, int stage);
    // The stages at the points where adding an input or output applies them.
    void ApplyCustomNewStreams(const QString& text) { ApplyCustomOptions(text, cosNewStreams); }
    void ApplyCustomPresets(const QString& text) { ApplyCustomOptions(text, cosPresets); }
    void ApplyCustomCodecs(const QString& text) { ApplyCustomOptions(text, cosCodecs); }
    void ApplyCustomFrameSize(const QString& text) { ApplyCustomOptions(text, cosFrameSize); }
    void ApplyCustomFilters(const QString& text) { ApplyCustomOptions(text, cosFilters); }
    void ApplyCustomOthers(const QString& text) { ApplyCustomOptions(text, cosOthers); }

    // optionName is "apre", "vpre", "spre" or "fpre".
    void ApplyPreset(const QString& optionName, const QString& presetName);

    // type "vcd", "svcd", "dvd", "dv", "dv50"; norm "pal", "ntsc", "film" or anything else for
    // automatic; fallback used when automatic detection finds nothing.
    void SetTarget(const QString& type, const QString& norm, const QString& fallbackNorm);

    // Copies the options remembered for a media type (or the format / scaler) onto a real
    // context. Names the context does not know (another codec's private options) are skipped,
    // and so are decoding options on the way to an encoder.
    // Answers how many were copied.
    int CopyCodecOptions(AVCodecContext* ctx, AVMediaType type) const;
    int CopyFormatOptions(AVFormatContext* ctx) const;
    int CopyScalerOptions(SwsContext* ctx) const;

    // The scaler flags of the option state as the scaler's option text ("bicubic", "lanczos").
    QString ScalerFlags() const;

    // The decoding options set so far for a media type, as name and value texts.
    std::vector<std::pair<QByteArray, QByteArray>> DecoderOptions(AVMediaType type) const;

    // Names set through the library route, in order, for one context kind.
    QStringList RememberedOptions(int target) const;

    // Option contexts: the five codec media types, then the format and the scaler.
    enum TOptionTarget { otFormat = AVMEDIA_TYPE_NB, otScaler, otCount };

protected:
    // The pipeline supplies these; without it there are no inputs or outputs.
    virtual int InputFileCount() const { return 0; }
    virtual const AVFormatContext* InputFile(int index) const;
    virtual int OutputFileCount() const { return 0; }
    // "newvideo", "newaudio", "newsubtitle": one more stream in the last output.
    virtual void NewOutputStream(AVMediaType type);
    // "vhook": registers a frame-hook module command line; false when it cannot be used.
    virtual bool AddFrameHook(const QString& arguments);

    void Log(TLogLevel level, const QString& message);
    // Accepted for old option texts, but nothing in this library version acts on it.
    void NoEffect(const QString& name);
    bool OptionContextsReady() const { return FCodecOpts[AVMEDIA_TYPE_VIDEO] != nullptr; }

    TFFmpegOptions FOptions;

private:
    using THandler = void (*)(TCustomFFmpeg& t, const QString& name, const QString& value);
    static const QHash<QString, THandler>& OptionTable();

    enum class TSetResult { srUnknown, srSet, srRefused };

    void PrepareOptionContexts();
    void ReleaseOptionContexts();
    void* OptionObject(int target) const;
    TSetResult SetOnTarget(int target, const QString& name, const QString& value, int optFlags);
    TSetResult SetLibraryOption(const QString& name, const QString& value);
    bool SetCodecBitrate(AVMediaType type, const QString& name, const QString& value);
    bool IsLibraryOption(const QString& name) const;
    // For a muxer or encoder chosen later, whose own table may know the name.
    void KeepUnclaimed(const QString& name, const QString& value);
    QString LibraryOptionValue(const QString& name) const;
    void Remember(int target, const QString& name);
    int CopyOptions(int target, void* dest, bool toEncoder = false) const;
    void SetCodecName(AVMediaType type, const QString& value);
    void RebuildCodecContext(AVMediaType type, const QString& codecName);
    void RebuildFormatContext(const QString& formatName);
    void SetFormat(const QString& value);
    void SetCrop(const QString& name, const QString& value);
    void SetAspect(const QString& value);
    void SetMatrix(const QString& name, const QString& value);
    void SetCodecTag(const QString& name, const QString& value);
    void SetBitstreamFilter(const QString& name, const QString& value);
    void AddStreamMap(const QString& value);
    void AddMetaDataMap(const QString& value);
    void SetTimeScale(const QString& value);
    void SetDuration(const QString& name, const QString& value, bool isDate, std::int64_t& dest);
    void ListPixelFormats();
    void ListSampleFormats();
    TTargetNorm DetectNorm() const;

    AVCodecContext* FCodecOpts[AVMEDIA_TYPE_NB] = {};
    AVFormatContext* FFormatOpts = nullptr;
    SwsContext* FSwsOpts = nullptr;
    std::vector<std::pair<int, QString>> FOptionNames; // (target, name) set through the library
};
