#include "ExtractedVideo.h"

#include "YouTubeQuality.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

QString Family(const QString& codec, bool video)
{
    const QString c = codec.trimmed().toLower();
    struct TPrefix {
        const char* Prefix;
        const char* Family;
    };
    static const TPrefix videoFamilies[] = {{"avc", "h264"},  {"h264", "h264"}, {"hvc1", "hevc"}, {"hev1", "hevc"},
                                            {"h265", "hevc"}, {"hevc", "hevc"}, {"vp09", "vp9"},  {"vp9", "vp9"},
                                            {"vp8", "vp8"},   {"av01", "av1"},  {"av1", "av1"},   {"mp4v", "mpeg4"},
                                            {"s263", "h263"}, {"h263", "h263"}, {"flv1", "flv1"}, {"vp6", "vp6"}};
    static const TPrefix audioFamilies[] = {{"mp4a.6b", "mp3"}, {"mp4a.69", "mp3"}, {"mp4a", "aac"},
                                            {"aac", "aac"},     {"mp3", "mp3"},     {"opus", "opus"},
                                            {"vorbis", "vorbis"}, {"ac-3", "ac3"}, {"ac3", "ac3"},
                                            {"samr", "amr"},    {"amr", "amr"}};
    const auto* begin = video ? std::begin(videoFamilies) : std::begin(audioFamilies);
    const auto* end = video ? std::end(videoFamilies) : std::end(audioFamilies);
    for (const auto* p = begin; p != end; ++p)
        if (c.startsWith(QLatin1String(p->Prefix)))
            return QString::fromLatin1(p->Family);
    return {};
}

bool Holds(const QString& ext, const QString& family, const char* const (*table)[2], size_t rows)
{
    if (family.isEmpty())
        return false;
    for (size_t i = 0; i < rows; ++i)
        if (ext == QLatin1String(table[i][0]) && QString::fromLatin1(table[i][1]).split(u',').contains(family))
            return true;
    return false;
}

const char* const VideoInContainer[][2] = {
    {"mp4", "h264,hevc,vp9,av1,mpeg4"}, {"flv", "h264,flv1,vp6"}, {"3gp", "h263,h264,mpeg4"}};
const char* const AudioInContainer[][2] = {{"mp4", "aac,mp3,opus,ac3"}, {"flv", "aac,mp3"}, {"3gp", "aac,amr"}};

// "none" is the extractor's word for a missing stream; anything else (or nothing) may be one.
bool Present(const QJsonValue& codec) { return codec.toString() != QLatin1String("none"); }

TExtractedFormat ReadFormat(const QJsonObject& o)
{
    TExtractedFormat f;
    f.Id = o.value(QLatin1String("format_id")).toVariant().toString();
    f.Ext = o.value(QLatin1String("ext")).toString().toLower();
    f.Protocol = o.value(QLatin1String("protocol")).toString().toLower();
    f.Url = o.value(QLatin1String("url")).toString();
    f.Height = o.value(QLatin1String("height")).toInt();
    f.VideoCodec = o.value(QLatin1String("vcodec")).toString();
    f.AudioCodec = o.value(QLatin1String("acodec")).toString();
    f.HasVideo = Present(o.value(QLatin1String("vcodec")));
    f.HasAudio = Present(o.value(QLatin1String("acodec")));
    f.Bitrate = o.value(QLatin1String(f.HasVideo ? "tbr" : "abr")).toDouble();
    if (f.Bitrate <= 0)
        f.Bitrate = o.value(QLatin1String("tbr")).toDouble();
    f.ChunkSize = qint64(o.value(QLatin1String("downloader_options")).toObject().value(QLatin1String("http_chunk_size")).toDouble());
    const QJsonObject headers = o.value(QLatin1String("http_headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        f.Headers << qMakePair(it.key().toUtf8(), it.value().toString().toUtf8());
    return f;
}

const TExtractedFormat* FindFormat(const TExtractedVideo& video, const QString& id)
{
    for (const TExtractedFormat& f : video.Formats)
        if (f.Id == id)
            return &f;
    for (const TExtractedFormat& f : video.Chosen)
        if (f.Id == id)
            return &f;
    return nullptr;
}

QString DottedExt(const QString& ext) { return ext.isEmpty() ? QString() : QLatin1Char('.') + ext; }

} // namespace

bool TExtractedFormat::Fetchable() const
{
    return (Protocol == QLatin1String("http") || Protocol == QLatin1String("https")) && !Url.isEmpty();
}

bool ContainerHoldsVideo(const QString& ext, const QString& codec)
{
    return Holds(ext, Family(codec, true), VideoInContainer, std::size(VideoInContainer));
}

bool ContainerHoldsAudio(const QString& ext, const QString& codec)
{
    return Holds(ext, Family(codec, false), AudioInContainer, std::size(AudioInContainer));
}

bool ParseExtractedVideo(const QByteArray& json, TExtractedVideo& video, QString* why)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (doc.isNull())
        return refuse(QStringLiteral("the extractor's output is not JSON (%1 at byte %2)")
                          .arg(error.errorString())
                          .arg(error.offset));
    if (!doc.isObject())
        return refuse(QStringLiteral("the extractor's output is not a description of a video"));
    const QJsonObject top = doc.object();
    if (top.value(QLatin1String("_type")).toString() == QLatin1String("playlist"))
        return refuse(QStringLiteral("the link is a playlist, not one video"));
    video = {};
    video.Title = top.value(QLatin1String("title")).toString();
    for (const QJsonValue& v : top.value(QLatin1String("formats")).toArray())
        if (v.isObject())
            video.Formats << ReadFormat(v.toObject());
    video.ChosenId = top.value(QLatin1String("format_id")).toVariant().toString();
    video.ChosenExt = top.value(QLatin1String("ext")).toString().toLower();
    for (const QJsonValue& v : top.value(QLatin1String("requested_formats")).toArray())
        if (v.isObject())
            video.Chosen << ReadFormat(v.toObject());
    // A video of one format may carry its address at the top.
    if (top.contains(QLatin1String("url")))
        video.Chosen << ReadFormat(top);
    if (video.Formats.isEmpty() && video.Chosen.isEmpty())
        return refuse(QStringLiteral("the extractor's output names no formats of the video"));
    return true;
}

bool MatchQualitySlot(const TExtractedVideo& video, int code, TMediaChoice& choice)
{
    if (!IsQualityCode(code))
        return false;
    const TYouTubeQualityRow& q = YouTubeQualities[code];
    const QString number = QString::fromLatin1(q.Suffix).section(u'=', 1);
    const QString ext = QString::fromLatin1(q.Extension).mid(1);
    const int height = QString::fromLatin1(q.Video).section(u'x', 1).toInt();
    choice = {};

    for (const TExtractedFormat& f : video.Formats)
        if (f.Fetchable() && f.Id == number && f.HasVideo && f.HasAudio) {
            choice.Video = f;
            choice.Extension = DottedExt(f.Ext.isEmpty() ? ext : f.Ext);
            return true;
        }
    for (const TExtractedFormat& f : video.Formats)
        if (f.Fetchable() && f.HasVideo && f.HasAudio && f.Ext == ext && f.Height == height) {
            choice.Video = f;
            choice.Extension = DottedExt(ext);
            return true;
        }
    // H.264 and AAC first: what every player of these containers plays; then the higher rate.
    auto better = [](const TExtractedFormat& f, const TExtractedFormat* best, bool video, const char* usual) {
        if (!best)
            return true;
        const bool a = Family(video ? f.VideoCodec : f.AudioCodec, video) == QLatin1String(usual);
        const bool b = Family(video ? best->VideoCodec : best->AudioCodec, video) == QLatin1String(usual);
        return a != b ? a : f.Bitrate > best->Bitrate;
    };
    const TExtractedFormat* bestVideo = nullptr;
    const TExtractedFormat* bestAudio = nullptr;
    for (const TExtractedFormat& f : video.Formats) {
        if (!f.Fetchable())
            continue;
        if (f.HasVideo && !f.HasAudio && f.Height == height && ContainerHoldsVideo(ext, f.VideoCodec) &&
            better(f, bestVideo, true, "h264"))
            bestVideo = &f;
        if (f.HasAudio && !f.HasVideo && ContainerHoldsAudio(ext, f.AudioCodec) && better(f, bestAudio, false, "aac"))
            bestAudio = &f;
    }
    if (!bestVideo || !bestAudio)
        return false;
    choice.Video = *bestVideo;
    choice.Audio = *bestAudio;
    choice.Merge = true;
    choice.Extension = DottedExt(ext);
    return true;
}

bool ExtractorChoice(const TExtractedVideo& video, TMediaChoice& choice, QString* why)
{
    choice = {};
    auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    QStringList ids = video.ChosenId.split(u'+', Qt::SkipEmptyParts);
    if (ids.isEmpty() && !video.Chosen.isEmpty())
        ids << video.Chosen.first().Id;
    if (ids.isEmpty() || ids.size() > 2)
        return refuse(QStringLiteral("the extractor chose no single format (\"%1\")").arg(video.ChosenId));
    QVector<TExtractedFormat> parts;
    for (const QString& id : ids) {
        const TExtractedFormat* f = FindFormat(video, id);
        if (!f && video.Chosen.size() == 1 && ids.size() == 1)
            f = &video.Chosen.first();
        if (!f)
            return refuse(QStringLiteral("the extractor's choice \"%1\" is not among its formats").arg(id));
        if (!f->Fetchable())
            return refuse(QStringLiteral("the extractor's choice \"%1\" is a %2 stream, not a file")
                              .arg(id, f->Protocol.isEmpty() ? QStringLiteral("streaming") : f->Protocol));
        parts << *f;
    }
    choice.Video = parts[0];
    if (parts.size() == 2) {
        choice.Merge = true;
        choice.Audio = parts[1];
        // The video part first, whichever order the pair names them in.
        if (!choice.Video.HasVideo && choice.Audio.HasVideo)
            std::swap(choice.Video, choice.Audio);
    }
    QString ext = video.ChosenExt;
    if (ext.isEmpty())
        ext = choice.Video.Ext;
    if (ext.isEmpty())
        ext = QStringLiteral("mp4");
    choice.Extension = DottedExt(ext);
    return true;
}
