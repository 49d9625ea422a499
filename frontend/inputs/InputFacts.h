#pragma once
// What the input list knows of one file: the facts the probe gives when the file is added,
// the four display lines of its row, the hidden values the conversion run reads, and the
// thumbnail. QtCore and the engine only: the Step1 page, the conversion run and the
// command-line converter share it.
#include "AVProbe.h"
#include "DVDSelection.h"

#include <QString>

#include <cstdint>
#include <functional>

// The values a row of the input list keeps for the run (path, duration, source geometry).
struct TInputRow {
    QString FileName;            // the full path as added; the row's identity
    std::int64_t Duration = 0;   // microseconds; 0 when unknown
    int Width = -1;              // first video stream; -1 without video
    int Height = -1;
    double Aspect = -1.0;        // display aspect of the first video stream; 0 = no sample aspect
    // A DVD title (the DVD dialog's choice); FileName is then the engine's name for it.
    TDVDSelection DVD;
    bool IsDVD() const { return !DVD.Root.isEmpty(); }
};

struct TInputFacts {
    TInputRow Row;
    bool AudioOnly = false;      // no video stream
    // The four lines beside the thumbnail, as shown.
    QString MinName;             // the path shortened for display (the page shortens it to its width)
    QString DurationLine;        // "Duration: " + text
    QString BitrateLine;         // "Bit rate: " ... or "Audio Bit rate: " ...
    QString DimensionLine;       // "Dimension: W x H" or "Audio Encoder: " ...
    // The picture at half the duration; empty when the file has no video or it cannot be decoded.
    TBitmap Thumbnail;
    // Why a video has no thumbnail when that is not the file's fault (too large a picture, not
    // enough memory); also added to DimensionLine, so the row says it.
    QString ThumbnailNote;
};

// Pictures above this many pixels get no thumbnail: decoding one and turning it into a bitmap
// takes about 4.5 bytes a pixel (a 16000 x 16000 picture over 1 GB). 64 million pixels covers
// 8K video and large photographs at under 300 MB.
constexpr std::int64_t ThumbnailMaxSourcePixels = 64'000'000;

// The first video stream that moves: a cover picture attached to an audio file (MP3, M4A,
// FLAC) is a video stream to the library but not a video; -1 when there is none.
int FirstMovingVideoStream(const TAVProbe& probe);

// Opens fileName with the probe, reads its facts (and the thumbnail when wanted) and closes it.
// False with *error = the probe's LastErrorMessage when the file cannot be opened.
// Throws FFmpegException when the engine libraries are not loaded.
bool ReadInputFacts(TAVProbe& probe, const QString& fileName, TInputFacts& facts, bool wantThumbnail,
                    QString* error);

// The path for display: leading folder names give way to "..." (root and file name kept)
// until fits() accepts the text; the shortest form when nothing fits.
QString ShortenPathToFit(const QString& path, const std::function<bool(const QString&)>& fits);
