#pragma once
// probe/ owns the media probe. It calls the loader and the logger only; the task component
// attaches probes to a task's opened inputs.
//
// The media probe: opens one media file at a time, reports the container's and streams' facts,
// seeks, decodes video pictures and turns the last one into a 24-bit bitmap (thumbnails).
#include "FFBaseComponent.h"
#include "FFmpegRecords.h" // TBitmap

#include <QString>

#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

// Absent numbers are -1 and absent texts empty throughout.
struct TFileStreamInfo {
    std::int64_t StartTime = -1; // microseconds
    std::int64_t Duration = -1;  // microseconds
    int BitRate = -1;            // bits per second
    std::int64_t Timestamp = -1; // creation time, seconds since 1970
    int Year = -1;
    int Track = -1;
    QString Title, Author, Copyright, Comment, Album, Genre;
};

struct TAudioStreamInfo {
    QString Language;
    QString Codec;
    std::int64_t RawStartTime = -1; // stream time base; may hold the library's no-value constant
    std::int64_t StartTime = -1;    // microseconds
    std::int64_t RawDuration = -1;
    std::int64_t Duration = -1;
    int BitRate = -1;
    int Channels = -1;
    int SampleRate = -1;
    int SampleFormat = -1;
};

struct TVideoStreamInfo {
    QString Language;
    QString Codec;
    std::int64_t RawStartTime = -1;
    std::int64_t StartTime = -1;
    std::int64_t RawDuration = -1;
    std::int64_t Duration = -1;
    int BitRate = -1;
    int Height = -1;
    int Width = -1;
    float DisplayAspect = -1.0f; // 0 when the stream declares no sample aspect ratio
    int PixelFormat = -1;
    int FrameRateNum = -1;
    int FrameRateDen = -1;
};

// Library seek flags as Seek takes them.
enum : std::uint8_t {
    sfBackward = 1, // AVSEEK_FLAG_BACKWARD
    sfByte = 2,     // position in bytes
    sfAny = 4,      // any frame, not only key frames
    sfFrame = 8,    // position is a frame number
};

class TCustomAVProbe : public TFFBaseComponent {
public:
    explicit TCustomAVProbe(QObject* owner = nullptr);
    ~TCustomAVProbe() override;

    // Opens a file; formatName empty = detect. Throws FFmpegException when the libraries are
    // not loaded; answers false with LastErrorMessage() for every problem of the file.
    bool LoadFile(const QString& fileName, const QString& formatName = {});
    // Uses a context opened elsewhere; the probe never closes, seeks or decodes it.
    void AttachContext(AVFormatContext* context);
    virtual void CloseFile();

    void GetFileStreamInfo(TFileStreamInfo& info);
    void GetAudioStreamInfo(int streamIndex, TAudioStreamInfo& info);
    void GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info);
    void GetVideoStreamInfo(TVideoStreamInfo& info) { GetVideoStreamInfo(-1, info); }
    QString GetFileName();

    // The codec description of a stream: "name(long name)" of its decoder (or encoder), else a
    // name from the stream's codec tag.
    QString CodecDescription(int streamIndex, bool encoder = false) const;

    QString LastErrorMessage() const { return FLastErrorMessage; }
    QString ForcedFormat() const { return FForcedFormat; }
    bool IsOpen() const { return FContext != nullptr; }
    AVFormatContext* Context() const { return FContext; }
    std::int64_t FileSize() const { return FFileSize; }
    int StreamCount() const { return FStreamCount; }
    int ProgramCount() const { return FProgramCount; }
    int AudioStreamCount() const { return FAudioStreamCount; }
    int VideoStreamCount() const { return FVideoStreamCount; }
    int SubtitleStreamCount() const { return FSubtitleStreamCount; }
    int FirstAudioStream() const { return FFirstAudioStream; }
    int FirstVideoStream() const { return FFirstVideoStream; }
    int FirstSubtitleStream() const { return FFirstSubtitleStream; }

protected:
    // Logs the message through the engine logger at a library level and keeps it as last error.
    void Report(int libraryLevel, const QString& message);
    virtual void ComputeFacts();
    AVStream* StreamOrReport(int& index, int mediaType, const char* noneText, const char* wrongText);

    AVFormatContext* FContext = nullptr;
    bool FOwned = false;
    QString FLastErrorMessage;
    QString FForcedFormat;
    std::int64_t FFileSize = -1;
    int FStreamCount = -1, FProgramCount = -1;
    int FAudioStreamCount = -1, FVideoStreamCount = -1, FSubtitleStreamCount = -1;
    int FFirstAudioStream = -1, FFirstVideoStream = -1, FFirstSubtitleStream = -1;
};

class TAVProbe : public TCustomAVProbe {
public:
    explicit TAVProbe(QObject* owner = nullptr);
    ~TAVProbe() override;

    // flags: sf* bits. Without sfByte the position is in microseconds from the file's start.
    bool Seek(std::uint8_t flags, std::int64_t position);
    // Decodes the next picture of a video stream; -1 = the stream chosen before, else the first
    // video stream. After a Seek in time, pictures before the target are decoded and skipped.
    bool DecodeNextFrame(int streamIndex = -1);
    // Copies the last decoded picture into bitmap. False (bitmap untouched) when there is none.
    bool GetBitmap(TBitmap& bitmap);
    void CloseFile() override;

    int CurrentStream() const { return FCurrentStream; }
    std::int64_t StartOffset() const { return FStartOffset; }
    int DecodeStream() const { return FDecodeStream; }
    bool EndOfStream() const { return FEOF; }

    // The last decoded picture.
    bool PictureReady() const { return FPictureReady; }
    int PictureWidth() const { return FPicture.Width; }
    int PictureHeight() const { return FPicture.Height; }
    int PicturePixelFormat() const { return FPicture.PixelFormat; }
    bool PictureKeyFrame() const { return FPicture.KeyFrame; }
    int PictureType() const { return FPicture.PictType; }
    // Microseconds from the stream's start; -1 when unknown.
    std::int64_t PictureTime() const { return FPicture.Time; }
    std::int64_t PreviousPictureTime() const { return FPicture.PrevTime; }
    std::int64_t PicturePosition() const { return FPicture.Position; }

protected:
    void ComputeFacts() override;

private:
    bool CheckOwned();
    bool OpenDecoder(int streamIndex);
    void CloseDecoder();
    void ForgetPicture();
    bool KeepFrame(AVFrame* frame, int streamIndex);
    std::int64_t FrameTime(const AVFrame* frame, int streamIndex) const;
    bool SeekBefore(std::int64_t target, std::int64_t margin);
    bool ConvertPicture(TBitmap& bitmap);

    struct TPicture {
        int PixelFormat = -1;
        int Width = -1;
        int Height = -1;
        bool KeyFrame = false;
        int PictType = 0;
        std::int64_t Time = -1;
        std::int64_t PrevTime = -1;
        std::int64_t Position = -1;
        std::int64_t PrevPosition = -1;
    };

    AVCodecContext* FDecoder = nullptr;
    int FDecoderStream = -1;
    AVFrame* FFrame = nullptr;    // the last decoded picture
    AVFrame* FScratch = nullptr;  // frame being received
    AVPacket* FPacket = nullptr;
    SwsContext* FScaler = nullptr;
    std::vector<std::uint8_t> FConvertBuffer;
    bool FDraining = false;       // the decoder has been told the stream ended
    std::int64_t FSeekTarget = -1; // microseconds; pictures before it are skipped
    int FSeekRetries = 0;          // seeks further back after landing past the target
    std::int64_t FCandidateTime = -1; // time of a skipped picture held in FFrame
    TPicture FPicture;
    bool FPictureReady = false;
    bool FEOF = false;
    int FCurrentStream = -1;
    std::int64_t FStartOffset = 0;
    int FDecodeStream = -1;
};
