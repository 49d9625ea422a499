// Reading video pages and the quality table: the patterns, the order of the entity
// replacements, the link test, the preference summary and the names of saved files.
#include "VideoPage.h"
#include "VideoService.h"
#include "YouTubeQuality.h"

#include <gtest/gtest.h>

namespace {

struct HostOverride {
    explicit HostOverride(const char* host) { qputenv("VORNIC_VIDEO_HOST", host); }
    ~HostOverride() { qunsetenv("VORNIC_VIDEO_HOST"); }
};

} // namespace

TEST(VideoPage, TitleIsTheFirstMetaTitleWithEntitiesReplacedInOrder)
{
    EXPECT_EQ(GetYouTubeTitle(QStringLiteral("<p>no title</p>")), QString());
    const QString page = QStringLiteral("<meta name=\"title\" content=\"A &amp;lt;b&amp;gt; &amp;quot;c&quot; d&nbsp;e\">"
                                        "<meta name=\"title\" content=\"second\">");
    // "&amp;" goes first, so an escaped entity ends up as its character.
    EXPECT_EQ(GetYouTubeTitle(page), QStringLiteral("A <b> \"c\" d e"));
    // A title may span lines; "<" ends the match, so a broken element gives no title.
    EXPECT_EQ(GetYouTubeTitle(QStringLiteral("<meta name=\"title\" content=\"two\nlines\">")), QStringLiteral("two\nlines"));
    EXPECT_EQ(GetYouTubeTitle(QStringLiteral("<meta name=\"title\" content=\"a<b\">")), QString());
    // UTF-8 bytes are decoded; other 8-bit text stays as it is.
    EXPECT_EQ(GetYouTubeTitle(PageText("<meta name=\"title\" content=\"Caf\xC3\xA9\">")), QString::fromUtf8("Caf\xC3\xA9"));
    EXPECT_EQ(GetYouTubeTitle(PageText("<meta name=\"title\" content=\"Caf\xE9\">")), QString::fromLatin1("Caf\xE9"));
}

TEST(VideoPage, MediaAddressKeepsTheWholeMatchesOfBothPieces)
{
    HostOverride host("127.0.0.1:9");
    EXPECT_EQ(GetYouTubeRealURL(QStringLiteral("x video_id=abc&l=1&t=TOK&y video_id=zzz&")),
              QStringLiteral("http://127.0.0.1:9/get_video?video_id=abc&&t=TOK&"));
    EXPECT_EQ(GetYouTubeRealURL(QStringLiteral("video_id=abc&end")), QStringLiteral("http://127.0.0.1:9/get_video?video_id=abc&"));
    EXPECT_EQ(GetYouTubeRealURL(QStringLiteral("nothing")), QStringLiteral("http://127.0.0.1:9/get_video?"));
    // The lazy pieces stop at the first ampersand, across line ends too.
    EXPECT_EQ(GetYouTubeRealURL(QStringLiteral("video_id=a\nb&&t=c&")), QStringLiteral("http://127.0.0.1:9/get_video?video_id=a\nb&&t=c&"));
}

TEST(VideoPage, LinkTestIsCaseInsensitiveAndNeedsHttpAndTheDomain)
{
    EXPECT_TRUE(IsYouTubeURL(QStringLiteral("HTTP://WWW.YOUTUBE.COM/watch?v=x")));
    EXPECT_TRUE(IsYouTubeURL(QStringLiteral(" see youtube.com and http")));   // not parsed
    EXPECT_FALSE(IsYouTubeURL(QStringLiteral("www.youtube.com/watch?v=x")));
    EXPECT_FALSE(IsYouTubeURL(QStringLiteral("http://example.org/watch")));
    // The Share button's short links and the links of short videos.
    EXPECT_TRUE(IsYouTubeURL(QStringLiteral("https://youtu.be/dQw4w9WgXcQ")));
    EXPECT_TRUE(IsYouTubeURL(QStringLiteral("https://YOUTU.BE/abc?si=x")));
    EXPECT_TRUE(IsYouTubeURL(QStringLiteral("https://www.youtube.com/shorts/abcDEF")));
    EXPECT_FALSE(IsYouTubeURL(QStringLiteral("https://youtu.belong.example/x")));
    HostOverride host("127.0.0.1:8123");
    EXPECT_TRUE(IsYouTubeURL(QStringLiteral("http://127.0.0.1:8123/watch?v=a")));
    EXPECT_FALSE(IsYouTubeURL(QStringLiteral("http://www.youtube.com/watch?v=a")));
    EXPECT_FALSE(IsYouTubeURL(QStringLiteral("https://youtu.be/dQw4w9WgXcQ")));
    EXPECT_EQ(VideoService().Host, QStringLiteral("127.0.0.1:8123"));
}

TEST(VideoPage, OnlyAPageWithTheVideoIdGoesThePagesWay)
{
    EXPECT_TRUE(HasVideoParameters(QStringLiteral("var a = \"video_id=abc&t=1&\";")));
    EXPECT_FALSE(HasVideoParameters(QStringLiteral("<html>ytInitialPlayerResponse = {}</html>")));
    EXPECT_FALSE(HasVideoParameters(QStringLiteral("video_id=abc")));   // the piece needs its closing "&"
}

TEST(QualityTable, TagsDescriptionsAndPositions)
{
    EXPECT_EQ(QualityTag(3), QStringLiteral("[HQ22]"));
    EXPECT_EQ(QualityTag(8), QStringLiteral("[Default Quality - HQ5]"));
    EXPECT_EQ(QualityTag(-1), QStringLiteral("[Default Quality - HQ5]"));
    EXPECT_EQ(QualityDescription(QStringLiteral("[HQ18]")), QStringLiteral("[HQ18] - Format: MP4; Video: 480x360; Audio: Sterro"));
    EXPECT_EQ(QualityDescription(QStringLiteral("[HQ99]")), QStringLiteral("[Default Quality - HQ5]"));
    EXPECT_STREQ(YouTubeQualities[1].Audio, "Stereo");
    EXPECT_EQ(QualitySuffix(9), QString());
    EXPECT_EQ(QualityExtension(9), QStringLiteral(".flv"));

    const TPreferenceSlots order = DefaultPreferenceOrder;
    EXPECT_EQ(QualityIndexTag(0, order), QStringLiteral("[Default Quality - HQ5]"));
    EXPECT_EQ(QualityIndexSuffix(0, order), QString());
    EXPECT_EQ(QualityIndexExtension(0, order), QStringLiteral(".flv"));
    EXPECT_EQ(QualityIndexTag(3, order), QStringLiteral("[HQ22]"));
    EXPECT_EQ(QualityIndexSuffix(3, order), QStringLiteral("&fmt=22"));
    EXPECT_EQ(QualityIndexExtension(5, order), QStringLiteral(".3gp"));
    EXPECT_EQ(QualityIndexTag(9, order), QString());
}

TEST(QualityTable, PreferenceSummary)
{
    EXPECT_EQ(PreferenceSummary(false, DefaultPreferenceOrder), QStringLiteral("[Defatult Quality - HQ5]"));
    EXPECT_EQ(PreferenceSummary(true, DefaultPreferenceOrder),
              QStringLiteral("Prefer: [HQ18] > [HQ35] > [HQ22] > [HQ6] > [HQ13] > [HQ17] > [HQ34] > [HQ37]"));
    EXPECT_EQ(PreferenceSummary(true, BestAvailableOrder),
              QStringLiteral("Prefer: [HQ37] > [HQ22] > [HQ35] > [HQ18] > [HQ6] > [HQ34] > [HQ13] > [HQ17]"));
    // A slot edited out of range reads as the default quality's tag.
    TPreferenceSlots odd = DefaultPreferenceOrder;
    odd[0] = 200;
    EXPECT_TRUE(PreferenceSummary(true, odd).startsWith(QStringLiteral("Prefer: [Default Quality - HQ5] > [HQ35]")));
}

TEST(DownloadNames, RowNameAndFileName)
{
    EXPECT_EQ(DownloadRowName(QStringLiteral("a&b&c")), QStringLiteral("a&&b&c"));
    EXPECT_EQ(DownloadRowName(QString()), QString());
    EXPECT_EQ(DownloadFileName(QString(), QStringLiteral(".flv")), QStringLiteral(".flv"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("a:b*c|d"), QStringLiteral(".mp4")), QStringLiteral("a_b_c_d.mp4"));
    EXPECT_EQ(DownloadFileName(QStringLiteral(".hidden"), QStringLiteral(".mp4")), QStringLiteral("_hidden.mp4"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("end. . "), QStringLiteral(".mp4")), QStringLiteral("end.mp4"));
    EXPECT_EQ(DownloadFileName(QStringLiteral("tab\there"), QStringLiteral(".mp4")), QStringLiteral("tab_here.mp4"));
    // Cut at a character boundary: three-byte characters and a four-byte pair never split.
    const QString wide = QString::fromUtf8("\xE6\x97\xA5").repeated(120) + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(10);
    const QString cut = DownloadFileName(wide, QStringLiteral(".mp4"));
    EXPECT_LE(cut.toUtf8().size(), 255 - 7);
    EXPECT_EQ(QString::fromUtf8(cut.toUtf8()), cut);
    EXPECT_TRUE(cut.endsWith(QStringLiteral(".mp4")));
    EXPECT_FALSE(cut.at(cut.size() - 5).isHighSurrogate());
}
