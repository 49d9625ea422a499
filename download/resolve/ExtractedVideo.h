#pragma once
// The extractor's description of one video, and the choice of what to download from it: the
// quality slots over its formats, or the extractor's own choice.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

struct TExtractedFormat {
    QString Id, Ext, Protocol, Url;
    int Height = 0;               // 0 when not given
    QString VideoCodec, AudioCodec;   // as given ("avc1.64001F", "mp4a.40.2"); empty when unknown
    bool HasVideo = true, HasAudio = true;   // false only when the extractor says "none"
    double Bitrate = 0;           // kbit/s of the audio (abr) or the whole (tbr), for ranking
    qint64 ChunkSize = 0;         // downloader_options.http_chunk_size; 0: one request
    QList<QPair<QByteArray, QByteArray>> Headers;   // http_headers, in the order given

    // A plain file over HTTP: streaming manifests and other protocols are not.
    bool Fetchable() const;
};

struct TExtractedVideo {
    QString Title;
    QVector<TExtractedFormat> Formats;
    QString ChosenId;   // the extractor's own choice: "A" or "A+B"
    QString ChosenExt;  // the extension of that choice's file
    // The chosen formats when the list does not hold them (a video of a single format).
    QVector<TExtractedFormat> Chosen;
};

// Reads the extractor's JSON. False with *why when it is not a description of one video.
bool ParseExtractedVideo(const QByteArray& json, TExtractedVideo& video, QString* why);

// What to fetch: one file, or a video and an audio part merged into one file of Extension.
struct TMediaChoice {
    TExtractedFormat Video;
    bool Merge = false;
    TExtractedFormat Audio;
    QString Extension;   // with the dot
};

// The three-step match of one quality code (0..7) over the fetchable formats.
bool MatchQualitySlot(const TExtractedVideo& video, int code, TMediaChoice& choice);
// The extractor's own choice; false with *why when it names nothing fetchable.
bool ExtractorChoice(const TExtractedVideo& video, TMediaChoice& choice, QString* why);

// Whether a container of extension E ("mp4", "flv", "3gp") holds a codec given as the extractor
// names it; an unknown codec is not taken.
bool ContainerHoldsVideo(const QString& ext, const QString& codec);
bool ContainerHoldsAudio(const QString& ext, const QString& codec);
