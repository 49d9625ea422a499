#include "InputFacts.h"

#include "UtilFuncs.h"

#include <QDir>

#include <algorithm>
#include <new>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

QString BitrateText(int bitsPerSecond)
{
    if (bitsPerSecond < 1)
        return QStringLiteral("Bit rate is not preseted");
    return QString::asprintf("%d Kbps", bitsPerSecond / 1000);
}

// Seeks to the middle of the file and decodes the next picture of the first video stream.
// The seek's own result does not matter: a failed seek still leaves the first picture.
// A picture too large to hold is not decoded at all; running out of memory anyway costs the
// thumbnail, not the file.
void ReadThumbnail(TAVProbe& probe, int videoStream, const TVideoStreamInfo& video, TInputFacts& facts)
{
    if (std::int64_t(video.Width) * std::int64_t(std::max(video.Height, 0)) > ThumbnailMaxSourcePixels) {
        facts.ThumbnailNote = QStringLiteral("no thumbnail above %1 million pixels").arg(ThumbnailMaxSourcePixels / 1000000);
        return;
    }
    try {
        TFileStreamInfo info;
        probe.GetFileStreamInfo(info);
        probe.Seek(0, info.Duration / 2); // -1 halves to 0
        if (probe.DecodeNextFrame(videoStream))
            probe.GetBitmap(facts.Thumbnail);
    } catch (const std::bad_alloc&) {
        facts.Thumbnail = TBitmap{};
        facts.ThumbnailNote = QStringLiteral("no thumbnail: not enough memory");
    }
}

} // namespace

int FirstMovingVideoStream(const TAVProbe& probe)
{
    const AVFormatContext* context = probe.Context();
    if (!context)
        return -1;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return int(i);
    }
    return -1;
}

bool ReadInputFacts(TAVProbe& probe, const QString& fileName, TInputFacts& facts, bool wantThumbnail,
                    QString* error)
{
    facts = TInputFacts{};
    if (!probe.LoadFile(fileName)) {
        if (error)
            *error = probe.LastErrorMessage();
        return false;
    }

    // Whatever happens below, the file is not left open.
    struct TCloser {
        TAVProbe& Probe;
        ~TCloser() { Probe.CloseFile(); }
    } closer{probe};

    const int videoStream = FirstMovingVideoStream(probe);
    facts.AudioOnly = videoStream < 0;
    TVideoStreamInfo video;
    if (!facts.AudioOnly)
        probe.GetVideoStreamInfo(videoStream, video);
    if (wantThumbnail && !facts.AudioOnly)
        ReadThumbnail(probe, videoStream, video, facts);

    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    TAudioStreamInfo audio;
    if (probe.FirstAudioStream() >= 0)
        probe.GetAudioStreamInfo(probe.FirstAudioStream(), audio);

    TInputRow& row = facts.Row;
    row.FileName = fileName;
    row.Duration = file.Duration > 0 ? file.Duration : 0;
    row.Width = video.Width;
    row.Height = video.Height;
    row.Aspect = video.DisplayAspect;

    facts.MinName = QDir::toNativeSeparators(fileName);
    facts.DurationLine = QStringLiteral("Duration: ")
        + (file.Duration == -1 ? QStringLiteral("Duration is not preseted") : FormatMicroseconds(file.Duration));
    if (facts.AudioOnly) {
        facts.BitrateLine = QStringLiteral("Audio Bit rate: ") + BitrateText(audio.BitRate);
        facts.DimensionLine = QStringLiteral("Audio Encoder: ")
            + (probe.FirstAudioStream() >= 0 ? probe.CodecDescription(probe.FirstAudioStream()) : QString());
    } else {
        facts.BitrateLine = QStringLiteral("Bit rate: ") + BitrateText(video.BitRate);
        facts.DimensionLine = QStringLiteral("Dimension: ") + QString::asprintf("%d x %d", video.Width, video.Height);
        if (!facts.ThumbnailNote.isEmpty())
            facts.DimensionLine += QStringLiteral(" (") + facts.ThumbnailNote + u')';
    }
    if (error)
        error->clear();
    return true;
}

QString ShortenPathToFit(const QString& path, const std::function<bool(const QString&)>& fits)
{
    const QString native = QDir::toNativeSeparators(path);
    if (fits(native))
        return native;
    const QChar sep = QDir::separator();
    // Keep the root ("/" or "C:\") and the file name; drop folders from the front.
    QStringList parts = native.split(sep);
    if (parts.size() < 3)
        return native;
    const QString root = parts.takeFirst();
    const QString name = parts.takeLast();
    while (!parts.isEmpty()) {
        parts.removeFirst();
        QStringList shown{root, QStringLiteral("...")};
        shown += parts;
        shown << name;
        const QString candidate = shown.join(sep);
        if (fits(candidate) || parts.isEmpty())
            return candidate;
    }
    return native;
}
