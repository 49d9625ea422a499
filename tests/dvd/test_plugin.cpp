// The plug-in on real dvdauthor folders: each title's record as the fixture was made, roots
// that hold no DVD, a damaged title set, counts beyond the record's capacity, the report and
// the title reader's stream selection.
#include "DVDFixtures.h"
#include "DVDPackFilter.h"
#include "DVDTitleReader.h"
#include "DVDTitles.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstring>

namespace {

QSet<int> StreamIds(const QByteArray& data);
QByteArray ReadAll(TInputSource& source);

class PlugInTest : public ::testing::Test {
protected:
    void SetUp() override { LoadBuiltDVDPlugIn(); }

    TDVDTitleInfo Title(const QString& root, int index)
    {
        EXPECT_GT(EnumDVDTitles(DVDFixture(root)), index);
        TDVDTitleInfo info;
        EXPECT_TRUE(GetDVDTitle(index, info));
        return info;
    }
};

TEST_F(PlugInTest, RecordsMatchWhatTheFixtureWasMadeWith)
{
    ASSERT_EQ(EnumDVDTitles(DVDFixture("two-titles")), 2);
    TDVDTitleInfo pal;
    ASSERT_TRUE(GetDVDTitle(0, pal));
    EXPECT_NEAR(pal.Length, 9.0, 0.05);
    EXPECT_EQ(pal.VideoType, dcMPEG2);
    EXPECT_EQ(pal.VideoID, 0xE0);
    EXPECT_EQ(pal.Width, 720);
    EXPECT_EQ(pal.Height, 576);
    EXPECT_EQ(pal.Norm, 0);
    EXPECT_EQ(pal.Aspect, 0);
    ASSERT_EQ(pal.AudioCount, 2);
    EXPECT_EQ(pal.Audio[0].Type, dcAC3);
    EXPECT_EQ(pal.Audio[0].ID, 0x80);
    EXPECT_EQ(pal.Audio[0].SampleRate, 48000);
    EXPECT_EQ(pal.Audio[0].Channels, 2);
    EXPECT_STREQ(pal.Audio[0].LanguageCode, "en");
    EXPECT_STREQ(pal.Audio[0].LanguageName, "English");
    EXPECT_EQ(pal.Audio[1].Type, dcMPA);
    EXPECT_EQ(pal.Audio[1].ID, 0xC0);
    EXPECT_STREQ(pal.Audio[1].LanguageCode, "de");
    EXPECT_STREQ(pal.Audio[1].LanguageName, "German");
    ASSERT_EQ(pal.SubtitleCount, 1);
    EXPECT_EQ(pal.Subtitle[0].Type, dcSUB);
    EXPECT_EQ(pal.Subtitle[0].ID, 0x20);
    EXPECT_STREQ(pal.Subtitle[0].LanguageCode, "fr");
    EXPECT_STREQ(pal.Subtitle[0].LanguageName, "French");
    ASSERT_EQ(pal.ChapterCount, 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(pal.ChapterLength[k], 3.0, 0.05) << k;
    EXPECT_NE(pal.IsValid, 0);

    TDVDTitleInfo ntsc;
    ASSERT_TRUE(GetDVDTitle(1, ntsc));
    EXPECT_NEAR(ntsc.Length, 4.0, 0.1);
    EXPECT_EQ(ntsc.Width, 720);
    EXPECT_EQ(ntsc.Height, 480);
    EXPECT_EQ(ntsc.Norm, 1);
    EXPECT_EQ(ntsc.Aspect, 1);
    ASSERT_EQ(ntsc.AudioCount, 1);
    EXPECT_EQ(ntsc.Audio[0].ID, 0x80);
    EXPECT_STREQ(ntsc.Audio[0].LanguageName, "Spanish");
    EXPECT_EQ(ntsc.SubtitleCount, 0);
    EXPECT_EQ(ntsc.ChapterCount, 1);

    EXPECT_FALSE(GetDVDTitle(2, ntsc)); // past the count
    EXPECT_FALSE(GetDVDTitle(-1, ntsc));
}

TEST_F(PlugInTest, RootsWithoutADVDHaveNoTitles)
{
    for (const char* root : {"empty", "plain-file", "no-such-folder"})
        EXPECT_LE(EnumDVDTitles(DVDFixture(root)), 0) << root;
    EXPECT_LE(EnumDVDTitles(QString()), 0);
    TDVDTitles titles;
    titles.Root = QStringLiteral("kept");
    EXPECT_FALSE(ReadDVDTitles(DVDFixture("empty"), titles));
    EXPECT_EQ(titles.Root, QStringLiteral("kept"));
}

TEST_F(PlugInTest, DamagedTitleSetFailsOnlyItsTitle)
{
    TDVDTitles titles;
    ASSERT_TRUE(ReadDVDTitles(DVDFixture("damaged"), titles));
    ASSERT_EQ(titles.Titles.size(), 2u);
    EXPECT_TRUE(titles.Titles[0].has_value());
    EXPECT_FALSE(titles.Titles[1].has_value());
    EXPECT_EQ(titles.Items, (QStringList{"Title #1 Length: 0:00:09", "Title #2 is invalid"}));
    EXPECT_EQ(titles.Report.first(), "There are 2 title(s) in " + DVDFixture("damaged"));
    EXPECT_EQ(titles.Report.last(), QStringLiteral("Calling DVDGetTitle(#1) failed."));
}

TEST_F(PlugInTest, ChaptersBeyondTheRecordAreCountedButTheirLengthsNotWritten)
{
    const TDVDTitleInfo info = Title("chapters", 0);
    EXPECT_EQ(info.ChapterCount, 105); // every chapter can be chosen
    for (int k = 0; k < DVDMaxChapters; ++k)
        ASSERT_NEAR(info.ChapterLength[k], 0.4, 0.05) << k;
    // Past the record, chapters share what the title has left.
    EXPECT_NEAR(DVDChapterRangeLength(info, 102, 104), 1.2, 0.1);
    EXPECT_NEAR(DVDChapterRangeLength(info, 98, 101), 1.6, 0.1);
    EXPECT_NEAR(DVDChapterRangeLength(info, 0, 104), info.Length, 0.01);
    EXPECT_NEAR(info.Length, 42.0, 0.1);
    EXPECT_EQ(info.Width, 352);
    // No language given: an empty code and a name for the list.
    EXPECT_STREQ(info.Audio[0].LanguageCode, "");
    EXPECT_STREQ(info.Audio[0].LanguageName, "Unknown");
    // 100 or more chapters: no chapter lines in the report.
    const QStringList report = DVDTitleReport(0, info);
    EXPECT_TRUE(report.contains("  ChapterCount: 105"));
    EXPECT_TRUE(report.filter("Chapter #").isEmpty());
}

TEST_F(PlugInTest, AWideTitleTakesTheSubtitleStreamMadeForTheWidePicture)
{
    const TDVDTitleInfo info = Title("wide-subtitles", 0);
    EXPECT_EQ(info.Aspect, 1);
    ASSERT_EQ(info.SubtitleCount, 1);
    EXPECT_EQ(info.Subtitle[0].ID, 0x21); // not the letterbox one (0x22), nor the 4:3 field's 0

    // The id reaches the reader: its packs are kept, the letterbox ones padded out.
    TDVDSelection s;
    s.Root = DVDFixture("wide-subtitles");
    s.AudioID = 0x80;
    s.SubtitleID = info.Subtitle[0].ID;
    QString error;
    auto source = OpenDVDTitleSource(s, &error);
    ASSERT_TRUE(source) << error.toStdString();
    EXPECT_EQ(StreamIds(ReadAll(*source)), (QSet<int>{0xBB, 0xE0, 0x80, 0x21, 0xBE}));
}

TEST_F(PlugInTest, ReportPrintsTheRecordAsTheDialogShowsIt)
{
    const TDVDTitleInfo info = Title("two-titles", 0);
    EXPECT_EQ(DVDTitleReport(0, info),
              (QStringList{"Title #1 Length: 9.00",
                           "  Video Type[MPEG-2], ID[0xE0], Frame Size[720x576], Norm[PAL], Aspect[TV(4:3)]",
                           "  AduioCount: 2",
                           "    Audio #0 Type[AC3], ID[0x80], SampleRate[48000], Channels[2], Language[en, English]",
                           "    Audio #1 Type[MPA], ID[0xC0], SampleRate[48000], Channels[2], Language[de, German]",
                           "  SubtitleCount: 1",
                           "    Subtitle #0 Type[SUB], ID[0x20], Language[fr, French]",
                           "  ChapterCount: 3",
                           "    Chapter #1 Length: 3.00",
                           "    Chapter #2 Length: 3.00",
                           "    Chapter #3 Length: 3.00",
                           "  IsValid: True"}));
}

TEST(TitleRecord, CountsBeyondCapacityAreIgnored)
{
    TDVDTitleInfo info;
    std::memset(&info, 0, sizeof info);
    info.AudioCount = 50;
    info.SubtitleCount = 1000;
    info.ChapterCount = 7;
    // Unterminated texts stay inside their fields.
    std::memset(info.Audio[0].LanguageCode, 'x', sizeof info.Audio[0].LanguageCode);
    std::memset(info.Audio[0].LanguageName, 'y', sizeof info.Audio[0].LanguageName);
    for (int j = 0; j < DVDMaxAudio; ++j)
        info.Audio[j].ID = 0x80 + j;
    const QStringList report = DVDTitleReport(0, info);
    EXPECT_EQ(report.filter("    Audio #").size(), DVDMaxAudio);
    EXPECT_EQ(report.filter("    Subtitle #").size(), DVDMaxSubtitles);
    EXPECT_TRUE(report.contains("  AduioCount: 50"));
    EXPECT_TRUE(report[3].endsWith("Language[xxxx, " + QString(64, 'y') + "]")) << report[3].toStdString();
    EXPECT_EQ(DVDAudioItems(info).size(), size_t(DVDMaxAudio + 1));
    EXPECT_EQ(DVDSubtitleItems(info).size(), size_t(DVDMaxSubtitles + 1));
    EXPECT_EQ(DVDAudioItems(info).back().Text, QStringLiteral("Disable"));
    EXPECT_EQ(DVDAudioItems(info).back().ID, 0);
    info.ChapterCount = 1000;
    info.ChapterLength[99] = 2.0;
    EXPECT_DOUBLE_EQ(DVDChapterRangeLength(info, 99, 500), 2.0);
}

TEST(TitleRecord, LengthIsRoundedToEvenSeconds)
{
    TDVDTitleInfo info{};
    info.Length = 2.5;
    EXPECT_EQ(DVDTitleItemText(0, info), QStringLiteral("Title #1 Length: 0:00:02"));
    info.Length = 3.5;
    EXPECT_EQ(DVDTitleItemText(4, info), QStringLiteral("Title #5 Length: 0:00:04"));
}

// Stream ids of the packets of a program stream (private stream 1 by its sub-stream).
QSet<int> StreamIds(const QByteArray& data)
{
    QSet<int> ids;
    for (qsizetype block = 0; block + DVDBlockSize <= data.size(); block += DVDBlockSize) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData() + block);
        int pos = 14 + (p[13] & 7);
        while (pos + 6 <= DVDBlockSize && p[pos] == 0 && p[pos + 1] == 0 && p[pos + 2] == 1) {
            const int id = p[pos + 3];
            const int length = (p[pos + 4] << 8) | p[pos + 5];
            ids.insert(id == 0xBD ? p[pos + 9 + p[pos + 8]] : id);
            pos += 6 + length;
        }
    }
    return ids;
}

// The earliest time (90 kHz) of a stream's packets; sub-streams of private stream 1 by their id.
std::int64_t FirstPTS(const QByteArray& data, int stream)
{
    std::int64_t first = -1;
    for (qsizetype block = 0; block + DVDBlockSize <= data.size(); block += DVDBlockSize) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData() + block);
        int pos = 14 + (p[13] & 7);
        while (pos + 6 <= DVDBlockSize && p[pos] == 0 && p[pos + 1] == 0 && p[pos + 2] == 1) {
            const std::uint8_t* q = p + pos;
            const int id = q[3] == 0xBD ? q[9 + q[8]] : q[3];
            if (id == stream && q[3] != 0xBE && (q[7] & 0x80)) {
                const std::int64_t pts = (std::int64_t((q[9] >> 1) & 7) << 30) | (q[10] << 22) |
                                         ((q[11] >> 1) << 15) | (q[12] << 7) | (q[13] >> 1);
                first = first < 0 ? pts : std::min(first, pts);
            }
            pos += 6 + ((q[4] << 8) | q[5]);
        }
    }
    return first;
}

QByteArray ReadAll(TInputSource& source)
{
    QByteArray data;
    QByteArray chunk(100000, 0); // not a multiple of a block
    for (int n; (n = source.Read(reinterpret_cast<std::uint8_t*>(chunk.data()), int(chunk.size()))) > 0;)
        data += chunk.left(n);
    return data;
}

TEST_F(PlugInTest, TitleReaderKeepsOnlyTheChosenStreams)
{
    TDVDSelection all;
    all.Root = DVDFixture("two-titles");
    all.FirstChapter = 0;
    all.LastChapter = 2;
    all.AudioID = 0xC0;
    all.SubtitleID = 0x20;
    QString error;
    auto whole = OpenDVDTitleSource(all, &error);
    ASSERT_TRUE(whole) << error.toStdString();
    const QByteArray data = ReadAll(*whole);
    EXPECT_EQ(data.size(), whole->Size());
    EXPECT_EQ(StreamIds(data), (QSet<int>{0xBB, 0xE0, 0xC0, 0x20, 0xBE})); // 0xBB: system headers

    TDVDSelection part = all;
    part.FirstChapter = 1;
    part.AudioID = 0x80;
    part.SubtitleID = 0;
    auto two = OpenDVDTitleSource(part, &error);
    ASSERT_TRUE(two) << error.toStdString();
    const QByteArray range = ReadAll(*two);
    EXPECT_EQ(StreamIds(range), (QSet<int>{0xBB, 0xE0, 0x80, 0xBE}));
    // The audio of chapter 1 that the range's first cell still carries is gone, also after a seek back.
    const std::int64_t video = FirstPTS(range, 0xE0);
    EXPECT_GE(FirstPTS(range, 0x80), video);
    EXPECT_LT(FirstPTS(range, 0x80), video + 90000 / 10);
    EXPECT_EQ(two->Seek(300 * 1024), 300 * 1024);
    QByteArray skipped(64 * 1024, 0);
    ASSERT_GT(two->Read(reinterpret_cast<std::uint8_t*>(skipped.data()), int(skipped.size())), 0);
    EXPECT_EQ(two->Seek(0), 0);
    EXPECT_EQ(ReadAll(*two), range);
    EXPECT_LT(two->Size(), whole->Size() * 3 / 4);
    EXPECT_GT(two->Size(), whole->Size() / 2);
    EXPECT_EQ(two->Seek(two->Size() + 1), -1);
    EXPECT_EQ(two->Seek(4096), 4096);

    part.LastChapter = 3; // the title has three
    EXPECT_FALSE(OpenDVDTitleSource(part, &error));
    EXPECT_FALSE(error.isEmpty());
}

// A sector that cannot be read ends the title with the reader's error: the data before it is
// delivered, and reading never spins on the short chunk.
TEST_F(PlugInTest, UnreadableSectorEndsTheTitleWithAnError)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Cut inside a chunk, so the last read before the damage comes back short.
    const QString root = CutTwoTitleDVD(dir.path(), [](qint64 size) { return (size / 2 / (32 * 2048)) * 32 * 2048 + 8 * 2048; });
    ASSERT_FALSE(HasFailure());

    TDVDSelection all;
    all.Root = root;
    all.FirstChapter = 0;
    all.LastChapter = 2;
    QString error;
    auto source = OpenDVDTitleSource(all, &error);
    ASSERT_TRUE(source) << error.toStdString();
    QByteArray buffer(64 * 1024, 0);
    qint64 total = 0;
    int last = 0;
    for (int i = 0; i < 10000; ++i) {
        last = source->Read(reinterpret_cast<std::uint8_t*>(buffer.data()), int(buffer.size()));
        if (last <= 0)
            break;
        total += last;
    }
    EXPECT_LT(last, 0) << "the read must fail, not stall or pretend the title ended";
    EXPECT_GT(total, 0);
    EXPECT_LT(total, source->Size());
    EXPECT_FALSE(source->LastError().isEmpty());
}

TEST(PackFilter, ScrambledPacksAreReportedNotPassedOn)
{
    // A pack header, then one MPEG audio packet whose scrambling bits are set.
    std::uint8_t pack[DVDBlockSize] = {0, 0, 1, 0xBA, 0x44};
    pack[13] = 0xF8;
    std::uint8_t* packet = pack + 14;
    const int length = DVDBlockSize - 14 - 6;
    packet[2] = 1;
    packet[3] = 0xC0;
    packet[4] = std::uint8_t(length >> 8);
    packet[5] = std::uint8_t(length);
    packet[6] = 0x80;
    EXPECT_EQ(FilterDVDPack(pack, 0xC0, 0), TPackResult::Kept);
    EXPECT_EQ(packet[3], 0xC0);
    EXPECT_EQ(FilterDVDPack(pack, 0x80, 0), TPackResult::Kept);
    EXPECT_EQ(packet[3], 0xBE); // another audio stream: padded out
    packet[3] = 0xC0;
    packet[6] = 0x80 | 0x10;
    EXPECT_EQ(FilterDVDPack(pack, 0xC0, 0), TPackResult::Scrambled);
    std::uint8_t foreign[DVDBlockSize] = {1, 2, 3};
    EXPECT_EQ(FilterDVDPack(foreign, 0xC0, 0), TPackResult::Foreign);
}

TEST(DVDInputName, CarriesTheSelectionThroughTheEngine)
{
    TDVDSelection s;
    s.Root = QStringLiteral("/media/my dvd/#1?/");
    s.TitleIndex = 3;
    s.FirstChapter = 1;
    s.LastChapter = 4;
    s.AudioID = 0xC1;
    s.SubtitleID = 0x21;
    const QString name = DVDInputName(s);
    EXPECT_TRUE(name.startsWith("dvd:"));
    TDVDSelection back;
    ASSERT_TRUE(ParseDVDInputName(name, back));
    EXPECT_EQ(back.Root, s.Root);
    EXPECT_EQ(back.TitleIndex, 3);
    EXPECT_EQ(back.FirstChapter, 1);
    EXPECT_EQ(back.LastChapter, 4);
    EXPECT_EQ(back.AudioID, 0xC1);
    EXPECT_EQ(back.SubtitleID, 0x21);
    EXPECT_FALSE(ParseDVDInputName(QStringLiteral("/media/file.vob"), back));
    EXPECT_FALSE(ParseDVDInputName(QStringLiteral("dvd:/x/?title=a"), back));
}

} // namespace
