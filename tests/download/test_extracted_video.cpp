// Reading the extractor's description and choosing from its formats: the three steps of a
// quality slot, which containers hold which codecs, and the extractor's own choice.
#include "ExtractedVideo.h"
#include "StandInExtractor.h"
#include "YouTubeQuality.h"

#include <gtest/gtest.h>

namespace {

constexpr int HQ18 = 1, HQ35 = 2, HQ22 = 3, HQ13 = 4, HQ37 = 7;

TExtractedVideo Parse(const QJsonObject& json)
{
    TExtractedVideo video;
    QString why;
    EXPECT_TRUE(ParseExtractedVideo(QJsonDocument(json).toJson(), video, &why)) << why.toStdString();
    return video;
}

QJsonObject F(const QString& id, const QString& ext, int height, const QString& v, const QString& a,
              const QString& protocol = QStringLiteral("https"))
{
    return FormatJson(id, ext, QStringLiteral("https://media.example/") + id, height, v, a, 0, protocol);
}

} // namespace

TEST(ExtractedVideo, ReadsTitleFormatsHeadersAndChunkSize)
{
    QJsonObject json = VideoJson("Tom & Jerry", {FormatJson("18", "mp4", "https://m/18", 360, "avc1", "mp4a", 10485760)},
                                 "18", "mp4");
    json["formats"] = QJsonArray{FormatJson("18", "mp4", "https://m/18", 360, "avc1", "mp4a", 10485760),
                                 QJsonObject{{"format_id", 251}, {"ext", "webm"}, {"vcodec", "none"}, {"acodec", "opus"},
                                             {"abr", 130.5}, {"url", "https://m/251"}, {"protocol", "https"}}};
    const TExtractedVideo video = Parse(json);
    EXPECT_EQ(video.Title, QStringLiteral("Tom & Jerry"));
    ASSERT_EQ(video.Formats.size(), 2);
    EXPECT_EQ(video.Formats[0].ChunkSize, 10485760);
    EXPECT_EQ(video.Formats[0].Headers.size(), 4);
    EXPECT_EQ(video.Formats[1].Id, QStringLiteral("251"));   // a number is read as its text
    EXPECT_FALSE(video.Formats[1].HasVideo);
    EXPECT_TRUE(video.Formats[1].HasAudio);
    EXPECT_DOUBLE_EQ(video.Formats[1].Bitrate, 130.5);

    TExtractedVideo bad;
    QString why;
    EXPECT_FALSE(ParseExtractedVideo("ERROR: nothing", bad, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("not JSON")));
    EXPECT_FALSE(ParseExtractedVideo("[1, 2]", bad, &why));
    EXPECT_FALSE(ParseExtractedVideo(R"({"title": "x"})", bad, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("no formats")));
    EXPECT_FALSE(ParseExtractedVideo(QByteArray(), bad, &why));
}

TEST(ExtractedVideo, SlotTakesTheFormatNumberThenExtensionAndHeightThenAMergeInThatOrder)
{
    // Step 1: the format id, whatever its height, when it has both streams.
    TMediaChoice c;
    TExtractedVideo v = Parse(VideoJson("t", {F("22", "mp4", 718, "avc1", "mp4a"), F("x720", "mp4", 720, "avc1", "mp4a")},
                                        "22", "mp4"));
    ASSERT_TRUE(MatchQualitySlot(v, HQ22, c));
    EXPECT_EQ(c.Video.Id, QStringLiteral("22"));
    EXPECT_FALSE(c.Merge);
    EXPECT_EQ(c.Extension, QStringLiteral(".mp4"));

    // Step 2: both streams, the slot's extension and height; another extension does not do.
    v = Parse(VideoJson("t", {F("a", "webm", 144, "vp9", "opus"), F("b", "3gp", 144, "mp4v", "mp4a")}, "a", "webm"));
    ASSERT_TRUE(MatchQualitySlot(v, HQ13, c));
    EXPECT_EQ(c.Video.Id, QStringLiteral("b"));
    EXPECT_EQ(c.Extension, QStringLiteral(".3gp"));
    EXPECT_FALSE(MatchQualitySlot(v, HQ18, c));

    // Step 3: video only of that height the container holds, with the best audio it holds.
    v = Parse(VideoJson("t",
                        {F("248", "webm", 1080, "vp9", "none"), F("137", "mp4", 1080, "avc1.640028", "none"),
                         F("251", "webm", 0, "none", "opus"), F("139", "m4a", 0, "none", "mp4a.40.5"),
                         F("140", "m4a", 0, "none", "mp4a.40.2")},
                        "137+140", "mp4"));
    v.Formats[3].Bitrate = 48;
    v.Formats[4].Bitrate = 128;
    ASSERT_TRUE(MatchQualitySlot(v, HQ37, c));
    EXPECT_TRUE(c.Merge);
    EXPECT_EQ(c.Video.Id, QStringLiteral("137"));   // H.264 before VP9, which MP4 could hold too
    EXPECT_EQ(c.Audio.Id, QStringLiteral("140"));   // the higher AAC rate
    EXPECT_EQ(c.Extension, QStringLiteral(".mp4"));
    // Without H.264 and AAC: what MP4 holds; FLV holds neither VP9 nor Opus.
    v.Formats.remove(1);
    v.Formats.remove(2, 2);
    ASSERT_TRUE(MatchQualitySlot(v, HQ37, c));
    EXPECT_EQ(c.Video.Id, QStringLiteral("248"));
    EXPECT_EQ(c.Audio.Id, QStringLiteral("251"));
    v.Formats[0].Height = 360;
    EXPECT_FALSE(MatchQualitySlot(v, HQ35, c));
    // No audio part at all: no merge.
    v = Parse(VideoJson("t", {F("137", "mp4", 1080, "avc1", "none")}, "137", "mp4"));
    EXPECT_FALSE(MatchQualitySlot(v, HQ37, c));
}

TEST(ExtractedVideo, ManifestsAreNeverChosen)
{
    const TExtractedVideo v = Parse(VideoJson(
        "t", {F("18", "mp4", 360, "avc1", "mp4a", "m3u8_native"), F("95", "mp4", 720, "avc1", "mp4a", "m3u8"),
              F("dash", "mp4", 720, "avc1", "none", "http_dash_segments")},
        "95", "mp4"));
    TMediaChoice c;
    for (int code = 0; code < YouTubeQualityCount; ++code)
        EXPECT_FALSE(MatchQualitySlot(v, code, c)) << code;
    QString why;
    EXPECT_FALSE(ExtractorChoice(v, c, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("not a file"))) << why.toStdString();
}

TEST(ExtractedVideo, OwnChoiceKeepsItsRealExtensionAndPutsTheVideoPartFirst)
{
    TMediaChoice c;
    QString why;
    TExtractedVideo v = Parse(VideoJson("t", {F("43", "webm", 360, "vp8", "vorbis")}, "43", "webm"));
    ASSERT_TRUE(ExtractorChoice(v, c, &why));
    EXPECT_EQ(c.Extension, QStringLiteral(".webm"));

    v = Parse(VideoJson("t", {F("140", "m4a", 0, "none", "mp4a"), F("137", "mp4", 1080, "avc1", "none")}, "140+137",
                        "mp4"));
    ASSERT_TRUE(ExtractorChoice(v, c, &why));
    EXPECT_TRUE(c.Merge);
    EXPECT_EQ(c.Video.Id, QStringLiteral("137"));
    EXPECT_EQ(c.Audio.Id, QStringLiteral("140"));

    EXPECT_FALSE(ExtractorChoice(Parse(VideoJson("t", {F("1", "mp4", 0, "", "")}, "9", "mp4")), c, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("\"9\"")));

    // A video of one format may give it only at the top.
    QJsonObject single{{"title", "one"}, {"format_id", "0"}, {"ext", "mp4"}, {"url", "https://m/0"}, {"protocol", "https"}};
    ASSERT_TRUE(ExtractorChoice(Parse(single), c, &why)) << why.toStdString();
    EXPECT_EQ(c.Video.Url, QStringLiteral("https://m/0"));
}

TEST(ExtractedVideo, ContainersHoldTheCodecsTheirMuxersTake)
{
    EXPECT_TRUE(ContainerHoldsVideo("mp4", "avc1.64001F"));
    EXPECT_TRUE(ContainerHoldsVideo("mp4", "av01.0.08M.08"));
    EXPECT_FALSE(ContainerHoldsVideo("flv", "vp09.00.40.08"));
    EXPECT_TRUE(ContainerHoldsVideo("3gp", "mp4v.20.3"));
    EXPECT_FALSE(ContainerHoldsVideo("mp4", ""));   // unknown is not taken
    EXPECT_TRUE(ContainerHoldsAudio("mp4", "opus"));
    EXPECT_FALSE(ContainerHoldsAudio("flv", "opus"));
    EXPECT_TRUE(ContainerHoldsAudio("flv", "mp4a.40.2"));
    EXPECT_TRUE(ContainerHoldsAudio("mp4", "mp4a.6B"));   // MP3 in its MP4 name
    EXPECT_FALSE(ContainerHoldsAudio("3gp", "vorbis"));
}
