#pragma once
// Internal state of the transcoder, shared by its stage files (demux, decode, filter/video,
// audio, encode set-up, mux, hook, progress). Not to be included outside those files.
#include "FFmpegPipeline.h"

#include "InputSource.h"
#include "PipelineStages.h"
#include "FFmpegLock.h"
#include "FFmpegLogger.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

// Media type names used in messages, by AVMediaType.
const char* MediaTypeName(int type);
// "<prefix>: <library error text>"
QString WithError(const QString& prefix, int code);
// Monotonic clock in microseconds (progress and preview intervals).
std::int64_t NowMicroseconds();
[[noreturn]] void FailCode(const QString& message, int code);

// Timestamps come from files and may be anything: sums and products of them stop at the
// limits instead of overflowing, and never land on the no-timestamp value.
inline std::int64_t SatAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN + 1;
    return r == AV_NOPTS_VALUE ? INT64_MIN + 1 : r;
}
inline std::int64_t SatSub(std::int64_t a, std::int64_t b)
{
    std::int64_t r = 0;
    if (__builtin_sub_overflow(a, b, &r)) return b < 0 ? INT64_MAX : INT64_MIN + 1;
    return r == AV_NOPTS_VALUE ? INT64_MIN + 1 : r;
}
inline std::int64_t SatMul(std::int64_t a, std::int64_t b)
{
    std::int64_t r = 0;
    if (__builtin_mul_overflow(a, b, &r)) return (a < 0) != (b < 0) ? INT64_MIN + 1 : INT64_MAX;
    return r == AV_NOPTS_VALUE ? INT64_MIN + 1 : r;
}
// Rounds a double into the 64-bit range (not a number: 0).
inline std::int64_t SatRound(double v)
{
    if (!(v == v)) return 0;
    if (v >= 9.2e18) return INT64_MAX;
    if (v <= -9.2e18) return INT64_MIN + 1;
    return std::llround(v);
}
// Opens `graph` as buffer -> chain -> buffersink for pictures like `frame`, with times in
// microseconds; the sink gives `sinkFormat` unless that is AV_PIX_FMT_NONE. A library code < 0 on
// failure (FFmpegFramesVideo.cpp).
int OpenVideoGraph(AVFilterGraph* graph, const AVFrame* frame, const char* chain, AVPixelFormat sinkFormat,
                   AVFilterContext*& src, AVFilterContext*& sink);
// False when the encoder cannot take the input's subtitles: pictures into a text format, or
// text into a picture format.
bool SubtitleKindsMatch(const AVCodec* encoder, AVCodecID input);
// The options that only a muxer's or encoder's own table knows, for the object that knows them.
void ClaimOptions(const TFFmpegOptions& o, void* obj, AVDictionary** dict);

struct TInputFile {
    AVFormatContext* Ctx = nullptr;
    QString FileName;
    std::int64_t TSOffset = 0; // microseconds, added to every timestamp of the file
    std::array<double, MAX_STREAMS> TSScale{};
    bool EndOfFile = false;
    bool NoPacket = false;
    // Decoders named for the file ("vcodec", "acodec", "scodec") and the decoding options set
    // before it was opened, by media type.
    std::array<QString, AVMEDIA_TYPE_NB> DecoderNames;
    std::array<std::vector<std::pair<QByteArray, QByteArray>>, AVMEDIA_TYPE_NB> DecoderOpts;
    int FirstStream = 0; // index of its first stream in TPipelineState::InputStreams
    int StreamCount = 0; // streams when the run started
};

// A picture subtitle kept for burning in: its rectangles (palette indices and ARGB palette) on
// the subtitle's canvas, and the times it shows, microseconds on the task's clock.
struct TBurnRect {
    int X = 0, Y = 0, W = 0, H = 0;
    std::vector<std::uint8_t> Indices;
    std::array<std::uint32_t, 256> Palette{};
};
struct TBurnPicture {
    std::int64_t Start = 0, End = INT64_MAX;
    int CanvasWidth = 0, CanvasHeight = 0; // 0: the picture's size
    std::vector<TBurnRect> Rects;          // none: the screen is cleared
};

struct TInputStream {
    int FileIndex = 0;
    int StreamIndex = 0;
    AVStream* St = nullptr;
    bool Decoding = false;
    AVCodecContext* Dec = nullptr;
    std::int64_t Pts = AV_NOPTS_VALUE;     // current time, microseconds
    std::int64_t NextPts = AV_NOPTS_VALUE; // expected time of the next packet, microseconds
    bool IsStart = true;
    bool PastRecordingTime = false;
    bool Flushed = false;
    bool Used = false;
    // Deinterlacing, before the hooks and for every output the stream feeds: its own graph,
    // which gives each picture back one picture later.
    bool Deinterlace = false;
    AVFilterGraph* Deint = nullptr;
    AVFilterContext* DeintSrc = nullptr;
    AVFilterContext* DeintSink = nullptr;
    int DeintWidth = -1, DeintHeight = -1, DeintFormat = -1;
};

// One output file. In join mode several entries share it.
struct TMuxer {
    AVFormatContext* Ctx = nullptr;
    QString FileName;
    TFFmpegOptions OutputOptions; // snapshot of the option state when the output was created
    AVDictionary* MuxOpts = nullptr;
    bool HeaderWritten = false;
    bool TrailerWritten = false;
    ~TMuxer();
};

struct TOutputFile {
    std::shared_ptr<TMuxer> Mux;
    int InputIndex = -1; // join mode: the input this entry takes its streams from
};

// What the progress report shows of a stream while stage threads run: published by the
// stream's stage after each job and by the muxer after each packet, under FiguresLock.
struct TCoderFigures {
    int FrameNumber = 0;
    float Quality = -1.0f;
    std::array<std::uint64_t, 3> FrameError{};
    std::array<std::uint64_t, 3> TotalError{};
    double LastTime = 0.0;
};

// The encoding (or copying) state of one stream of an output file. Join entries share it, so
// frame counters and positions continue from one input to the next.
struct TStreamCoder {
    TMuxer* Mux = nullptr;
    AVStream* St = nullptr;
    AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
    bool Copy = false;
    const AVCodec* Codec = nullptr;
    AVCodecContext* Enc = nullptr;
    AVDictionary* EncOpts = nullptr;
    bool EncoderOpen = false;
    QStringList BsfNames;
    std::vector<AVBSFContext*> Bsfs;
    std::vector<AVPacket*> BsfPackets; // one scratch packet per filter's output

    std::int64_t SyncOpts = 0; // next position, encoder time base (frames or samples)
    double SyncSkew = 0;       // input gaps too large to fill, in the same units
    int FrameNumber = 0;
    float Quality = -1.0f;
    int PictType = 0; // of the last encoded picture (AVPictureType)
    std::array<std::uint64_t, 3> FrameError{}; // squared error of the last frame, per plane
    std::array<std::uint64_t, 3> TotalError{}; // summed over the run
    double LastTime = 0.0;     // seconds reached in the output
    std::int64_t LastDts = AV_NOPTS_VALUE;
    bool SeenKeyFrame = false;
    bool Started = false;      // first frame seen (audio sync start)

    // video
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
    int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
    std::array<int, 3> PadColor{16, 128, 128};
    QString Filters;
    bool SizeSet = false; // "s" was given: a user chain's pictures are scaled to it
    QString ScalerFlags = QStringLiteral("bicubic"); // of the option state when the stream was made
    AVFilterGraph* Graph = nullptr;
    AVFilterContext* BufferSrc = nullptr;
    AVFilterContext* BufferSink = nullptr;
    int GraphWidth = -1, GraphHeight = -1, GraphFormat = -1; // the input the graph was built for
    bool CropFailed = false;   // that input leaves nothing to crop: no graph, pictures dropped
    int InWidth = -1, InHeight = -1, InFormat = -1;          // of the last decoded picture
    bool GraphNeeded = false;
    AVFrame* Filtered = nullptr;
    // burning subtitles in: the subtitle stream, what it showed and will show, the copy of a
    // picture with a subtitle on it
    TInputStream* BurnSource = nullptr;
    std::deque<TBurnPicture> BurnQueue;
    AVFrame* Burned = nullptr;
    bool BurnRefused = false; // a picture format without a way to draw on it, said once

    // audio
    SwrContext* Swr = nullptr;
    int SwrInRate = 0, SwrInFormat = -1;
    AVChannelLayout SwrInLayout{};
    bool SwrBuilt = false;
    AVAudioFifo* Fifo = nullptr;
    AVFrame* AudioFrame = nullptr; // one encoder frame, reused
    std::vector<std::uint8_t*> ConvBuffer;
    int ConvCapacity = 0;

    // DVB subtitles: the packet that clears the last picture, held until the next picture shows
    // whether it comes in time (a new picture replaces the old one anyway).
    AVPacket* PendingClear = nullptr;

    // two-pass
    FILE* PassLog = nullptr;
    char* StatsIn = nullptr;

    // staged runs: the stage that encodes the stream (-1: the worker does), the stream's own
    // scratch packet, the preview's picture conversion and the published figures
    int Stage = -1;
    AVPacket* Scratch = nullptr;
    SwsContext* PreviewRGB = nullptr;
    int DecodedAtDispatch = 0; // the worker's count of decoded pictures when the job was handed over
    TCoderFigures Shown;

    ~TStreamCoder();
};

struct TOutputStream {
    int FileIndex = 0;   // output entry
    int StreamIndex = 0; // stream of the output file
    std::shared_ptr<TStreamCoder> C;
    TInputStream* Source = nullptr;
    int SourceIndex = -1; // in InputStreams
    int SyncIndex = -1;
};

struct TFrameHookModule;

struct TPipelineState {
    explicit TPipelineState(TFFmpegTranscoder& owner) : T(owner) {}
    ~TPipelineState();

    TFFmpegTranscoder& T;
    // The option state as it stands now; each output keeps its own snapshot (TMuxer).
    TFFmpegOptions& LiveOptions() { return T.FOptions; }

    std::vector<TInputFile> InputFiles;
    std::vector<TOutputFile> OutputFiles;
    std::vector<TInputStream> InputStreams;
    std::vector<TOutputStream> OutputStreams;
    // Streams created when outputs are made, per output entry (join entries repeat them).
    std::vector<std::vector<std::shared_ptr<TStreamCoder>>> Coders;
    bool Join = false;
    int CurrentInput = 0; // join mode

    // One scratch packet per stage: read, stream copy, encoder output, subtitle output.
    AVPacket* Packet = nullptr;
    AVPacket* CopyPacket = nullptr;
    AVPacket* EncodedPacket = nullptr;
    AVPacket* SubtitlePacket = nullptr;
    std::vector<std::uint8_t> SubtitleBuffer; // what a subtitle encoder writes into, for the run
    AVFrame* Decoded = nullptr;
    AVFrame* Scaled = nullptr; // decoded audio at one output's volume

    std::int64_t VideoSize = 0, AudioSize = 0, ExtraSize = 0;
    std::atomic<int> DupFrames{0}, DropFrames{0};
    std::atomic<bool> DupDropChanged{false};
    std::int64_t StartTime = 0, LastReport = 0;
    int DecodedVideoFrames = 0;
    int PreparedVideoFrames = 0; // pictures through deinterlacing, offered to the hooks
    std::int64_t QPHistogram[52] = {};
    FILE* VStats = nullptr;

    // hook / preview
    TBitmap HookBitmap, PreviewBitmap;
    SwsContext* ToRGB = nullptr;
    SwsContext* FromRGB = nullptr;
    AVFrame* Deinterlaced = nullptr;
    std::int64_t LastPreview = 0;
    std::vector<std::shared_ptr<TFrameHookModule>> Hooks;
    std::vector<void*> HookContexts;
    // staged runs: the preview pictures the stages made, in order, delivered by the worker (the
    // oldest goes when the worker falls behind by more than a few)
    struct TPendingPreview {
        TBitmap Bitmap;
        std::int64_t PTS = 0;
        int FrameNumber = 0;
    };
    std::mutex PreviewLock;
    std::deque<TPendingPreview> PendingPreviews;

    // The stage threads of this run; none when it runs on the worker alone (PipelineStages.cpp).
    std::unique_ptr<TPipelineStages> Stages;
    // True when the run may use stage threads: one input, no join, and no option whose effect
    // depends on the encoders' progress as the worker reads it (frame and size limits, stats).
    bool CanStage() const;
    void StartStages();
    // Stops the stage threads (if any still run), joins them and lets them go.
    void StopStages();
    // The frame's work for one output stream: on the stream's stage (with a new reference to
    // the frame) or now.
    void ToCoder(TOutputStream& ost, AVFrame* frame, const std::function<void(AVFrame*)>& work);
    void PublishFigures(TStreamCoder& c);
    TCoderFigures Figures(const TStreamCoder& c);
    void DeliverPreview();

    // demux (FFmpegPipelineDemux.cpp)
    bool OpenInput(const QString& fileName);
    void LeaveOutExtraStreams(AVFormatContext* ctx);
    int ReadPacket(int fileIndex);
    bool AdjustTimestamps(TInputFile& file, TInputStream& ist, AVPacket* pkt);

    // mux (FFmpegPipelineMux.cpp)
    int CreateOutput(const QString& fileName, bool join);
    void WritePacket(TStreamCoder& c, AVPacket* pkt);
    // The muxer's side of a packet, after the bitstream filters: times made writable, figures,
    // the interleaving write. On the muxing thread in a staged run.
    void MuxPacket(TStreamCoder& c, AVPacket* pkt);
    void DrainBitstreamFilters(TStreamCoder& c);
    void WriteHeaders();
    void LogSessionDescription();
    void WriteTrailers();

    // run coordinator (FFmpegPipeline.cpp)
    void Run();
    void BuildTables();
    void MapStreams();
    int ChooseInput();
    void EndOfInput(int fileIndex, bool& endLoop);
    void FlushAll();
    void Release();

    // encoders (FFmpegPipelineEncoders.cpp)
    void NewVideoStream(TMuxer& mux, int entry);
    void NewAudioStream(TMuxer& mux, int entry);
    void NewSubtitleStream(TMuxer& mux, int entry);
    // The encoder a new subtitle stream of the output would get; nullptr for a copy or none.
    const AVCodec* SubtitleEncoderFor(TMuxer& mux);
    void SetUpOutputStream(TOutputStream& ost);
    void OpenCodecs();
    void CloseCodecs();
    void OpenPassLog(TStreamCoder& c, int streamIndex);

    // decoding (FFmpegFramesDecode.cpp)
    int DecodePacket(TInputStream& ist, const AVPacket* pkt);
    void CopyPacketOut(TOutputStream& ost, TInputStream& ist, const AVPacket* pkt);
    void ApplyVolume(AVFrame* frame, int volume);

    // video (FFmpegFramesVideo.cpp)
    void VideoOut(TOutputStream& ost, AVFrame* frame, std::int64_t ptsUs);
    void EncodeVideo(TOutputStream& ost, AVFrame* frame, std::int64_t ptsUs);
    // Encodes what the output graph gives back; `flush` first ends its input, so the pictures a
    // filter still holds come out too.
    void PullVideoGraph(TOutputStream& ost, bool flush);
    // False when the picture cannot be cropped and the frame is dropped.
    bool BuildVideoGraph(TStreamCoder& c, const AVFrame* frame);
    void DrainEncoder(TStreamCoder& c);
    void ReceivePackets(TStreamCoder& c);
    void WriteVStats(TStreamCoder& c, int frameSize);

    // audio (FFmpegFramesAudio.cpp)
    void AudioOut(TOutputStream& ost, AVFrame* frame, std::int64_t ptsUs);
    void BuildResampler(TStreamCoder& c, const AVFrame* frame);
    void EncodeAudioFifo(TStreamCoder& c, bool flush);
    void InsertSilence(TStreamCoder& c, std::int64_t samples);

    // subtitles (FFmpegFramesSubtitle.cpp)
    void SubtitleOut(TOutputStream& ost, AVSubtitle& sub, std::int64_t ptsUs);

    // burning subtitles in (FFmpegFramesBurn.cpp)
    // Gives every video output that burns subtitles the first picture subtitle stream of its
    // input file, which is then decoded.
    void AttachBurnSources();
    void KeepBurnSubtitle(TInputStream& ist, const AVSubtitle& sub, std::int64_t ptsUs);
    // The picture with the subtitle of its time on it (a copy), or the picture itself.
    AVFrame* BurnSubtitles(TStreamCoder& c, AVFrame* frame, std::int64_t ptsUs);

    // hook and preview (FFmpegFramesHook.cpp)
    void PreProcessVideo(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs);
    void HookAndOutput(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs);
    void RunCustomHook(AVFrame* frame, std::int64_t ptsUs);
    bool BuildDeinterlacer(TInputStream& ist, const AVFrame* frame);
    void PullDeinterlaced(TInputStream& ist);
    void DrainDeinterlacer(TInputStream& ist);
    // From a stage (coder given, staged run) the picture waits for the worker to deliver it.
    void OfferPreview(const AVFrame* frame, std::int64_t ptsUs, TStreamCoder* coder = nullptr);
    bool FrameToBitmap(const AVFrame* frame, TBitmap& bitmap);
    bool BitmapToFrame(const TBitmap& bitmap, AVFrame* frame);
    void ReleaseHooks();

    // progress (FFmpegPipelineProgress.cpp)
    void ReportProgress(bool isLast, int fileIndex);

    void Log(TLogLevel level, const QString& message) { FFLogger()->Log(&T, level, message); }
    bool Stopping() const { return T.FStopRequest.load(); }
};

// Adds a frame-hook module command line; throws on failure (FFmpegFramesHook.cpp).
std::shared_ptr<TFrameHookModule> LoadFrameHook(const QString& arguments, void*& context);
void ProcessFrameHook(TFrameHookModule& module, void* context, AVFrame* frame, std::int64_t pts);
void ReleaseFrameHook(TFrameHookModule& module, void* context);
