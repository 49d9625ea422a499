// A DVD title converted by the real engine through the plug-in: chapters 2-3 of title 1 with
// the second audio track, into an MP4 and an MPEG preset, alone and joined with a file.
#include "../frontend/test_run_support.h"
#include "DVDFixtures.h"
#include "DVDInputRow.h"
#include "DVDTitles.h"

#include <QFile>

#include <cmath>

namespace {

// The dominant frequency of an output's first audio stream, from its zero crossings.
double ToneFrequency(const QString& file, const QString& dir)
{
    const QString raw = dir + QStringLiteral("/tone.raw");
    const CommandResult r = RunCommand("ffmpeg", {"-v", "error", "-y", "-i", file, "-map", "0:a:0", "-ac", "1", "-ar",
                                                  "16000", "-f", "s16le", raw});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile f(raw);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray data = f.readAll();
    const auto* samples = reinterpret_cast<const qint16*>(data.constData());
    const qsizetype n = data.size() / 2;
    int crossings = 0;
    for (qsizetype i = 1; i < n; ++i)
        crossings += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
    return n > 0 ? crossings / 2.0 / (double(n) / 16000.0) : 0;
}

int StreamCount(const QString& file, const char* selector)
{
    const CommandResult r = RunCommand("ffprobe", {"-v", "error", "-select_streams", selector, "-show_entries",
                                                   "stream=index", "-of", "csv=p=0", file});
    return int(r.out.split(u'\n', Qt::SkipEmptyParts).size());
}

class DVDConvertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadRunEngine();
        LoadBuiltDVDPlugIn();
        ASSERT_TRUE(out.isValid());
    }

    // Title 1, chapters 2-3, the German (1000 Hz) track, the French subtitle.
    TInputRow TitleRow()
    {
        TDVDTitles titles;
        EXPECT_TRUE(ReadDVDTitles(DVDFixture("two-titles"), titles));
        const TDVDTitleInfo& info = *titles.Titles.at(0);
        TDVDSelection s;
        s.Root = titles.Root;
        s.FirstChapter = 1;
        s.LastChapter = 2;
        s.AudioID = 0xC0;
        s.AudioText = QStringLiteral("German[0xC0]");
        s.SubtitleID = 0x20;
        s.SubtitleText = QStringLiteral("French[0x20]");
        s.Length = DVDChapterRangeLength(info, 1, 2);
        return DVDTitleFacts(s, &info).Row;
    }

    QString ConvertAlone(const TOutputChoice& choice)
    {
        RunHarness h;
        EXPECT_EQ(h.run->Start({TitleRow()}, choice, false), 1) << h.log.join('\n').toStdString();
        EXPECT_TRUE(h.WaitEnd());
        EXPECT_EQ(h.run->Successes(), 1) << h.run->ErrorLines().join('\n').toStdString();
        EXPECT_EQ(h.run->TotalDuration(), 6000000); // the chapters' length, not the title's
        EXPECT_EQ(h.run->ProcessedDuration(), 6000000);
        log = h.log;
        return h.run->Rows().empty() ? QString() : h.run->Rows()[0].OutputFile;
    }

    QTemporaryDir out;
    QStringList log;
};

// Mean luma of a region of the picture at a time, as the command line decodes it.
double RegionLuma(const QString& file, double seconds, const QString& crop, const QString& dir)
{
    const QString raw = dir + QStringLiteral("/region.gray");
    QFile::remove(raw);
    RunCommand("ffmpeg", {"-v", "error", "-ss", QString::number(seconds), "-i", file, "-frames:v", "1", "-vf",
                          "crop=" + crop, "-f", "rawvideo", "-pix_fmt", "gray", raw});
    const QByteArray y = FileBytes(raw);
    double sum = 0;
    for (char c : y)
        sum += quint8(c);
    return y.isEmpty() ? -1 : sum / double(y.size());
}

TEST_F(DVDConvertTest, ChaptersTwoToThreeWithTheSecondTrackIntoMP4TheSubtitleIsBurntIn)
{
    const TOutputChoice mp4{fcVideo, 1, 2, out.path() + u'/'}; // MP4, MPEG-4 320x240
    const QString file = ConvertAlone(mp4);
    ASSERT_TRUE(QFileInfo(file).isFile());
    EXPECT_EQ(QFileInfo(file).fileName(), QStringLiteral("two-titles_Title1.mp4"));
    EXPECT_NEAR(ProbeValue(file, "format=duration").toDouble(), 6.0, 0.5);
    EXPECT_EQ(StreamCount(file, "a"), 1);
    EXPECT_NEAR(ToneFrequency(file, out.path()), 1000.0, 60.0);
    EXPECT_EQ(StreamCount(file, "s"), 0);
    EXPECT_EQ(log.filter("Subtitle French[0x20] of DVD title 1 is burnt into the picture").size(), 1)
        << log.join('\n').toStdString();

    // The same chapters with no subtitle chosen: today's picture.
    RunHarness h;
    TInputRow none = TitleRow();
    none.DVD.SubtitleID = 0;
    none.FileName = DVDTitleFacts(none.DVD, nullptr).Row.FileName;
    ASSERT_EQ(h.run->Start({none}, mp4, false), 1);
    ASSERT_TRUE(h.WaitEnd());
    ASSERT_EQ(h.run->Successes(), 1) << h.run->ErrorLines().join('\n').toStdString();
    const QString plain = h.run->Rows()[0].OutputFile;
    EXPECT_TRUE(h.log.filter("burnt").isEmpty());

    // The subtitle box (100,480 to 340,520 of 720x576) shows from 0.5 s to 2.5 s of each chapter,
    // here at 44,200 to 151,216 of 320x240.
    const QString box = QStringLiteral("80:10:60:203");
    EXPECT_GT(std::abs(RegionLuma(file, 1.5, box, out.path()) - RegionLuma(plain, 1.5, box, out.path())), 30.0) << log.join(QStringLiteral("\n")).toStdString();
    EXPECT_LT(std::abs(RegionLuma(file, 2.9, box, out.path()) - RegionLuma(plain, 2.9, box, out.path())), 4.0);
    EXPECT_GT(std::abs(RegionLuma(file, 4.5, box, out.path()) - RegionLuma(plain, 4.5, box, out.path())), 30.0);
    const QString above = QStringLiteral("80:10:60:100");
    EXPECT_LT(std::abs(RegionLuma(file, 1.5, above, out.path()) - RegionLuma(plain, 1.5, above, out.path())), 4.0);
}

TEST_F(DVDConvertTest, AnAudioFormatLeavesTheSubtitleOut)
{
    const QString file = ConvertAlone(WavChoice(out.path()));
    ASSERT_TRUE(QFileInfo(file).isFile());
    EXPECT_EQ(StreamCount(file, "v"), 0);
    EXPECT_EQ(log.filter("Subtitle French[0x20] of DVD title 1 left out: the output format has no picture.").size(), 1)
        << log.join('\n').toStdString();
}

// A copy of the fixture whose title set 1 is cut in the middle of title 1, as a scratched or
// badly copied disc reads.

TEST_F(DVDConvertTest, ATitleCutInTheMiddleFailsWithTheReadersReason)
{
    const QString root = CutTwoTitleDVD(out.path());
    for (const TOutputChoice& choice : {TOutputChoice{fcAudio, 1, 0, out.path() + u'/'}, AviChoice(out.path())}) {
        RunHarness h;
        TInputRow row = TitleRow();
        row.DVD.Root = root;
        row.DVD.FirstChapter = 0;
        row.FileName = DVDTitleFacts(row.DVD, nullptr).Row.FileName;
        ASSERT_EQ(h.run->Start({row}, choice, false), 1) << h.log.join('\n').toStdString();
        ASSERT_TRUE(h.WaitEnd());
        EXPECT_EQ(h.run->Successes(), 0);
        const QString errors = h.run->ErrorLines().join('\n');
        EXPECT_TRUE(errors.contains(QStringLiteral("Reading the DVD failed at block"))) << errors.toStdString();
    }
}

TEST_F(DVDConvertTest, IntoAnMPEGPresetTheSubtitleComesAlong)
{
    const QString file = ConvertAlone(TOutputChoice{fcVideo, 4, 3, out.path() + u'/'}); // MPEG, DVD PAL
    ASSERT_TRUE(QFileInfo(file).isFile());
    EXPECT_NEAR(ProbeValue(file, "format=duration").toDouble(), 6.0, 0.5);
    EXPECT_EQ(StreamCount(file, "a"), 1);
    EXPECT_NEAR(ToneFrequency(file, out.path()), 1000.0, 60.0);
    EXPECT_EQ(StreamCount(file, "s"), 1);
    EXPECT_EQ(ProbeValue(file, "stream=codec_name", "s:0"), QStringLiteral("dvd_subtitle"));
}

TEST_F(DVDConvertTest, JoinedWithAFileTheTitleIsOnePart)
{
    RunHarness h;
    TInputRow clip;
    clip.FileName = RunClip(2);
    clip.Duration = 2000000;
    clip.Width = 160;
    clip.Height = 120;
    TInputRow title = TitleRow();
    title.DVD.AudioID = 0x80; // the English 440 Hz track this time
    title.FileName = DVDTitleFacts(title.DVD, nullptr).Row.FileName;
    ASSERT_EQ(h.run->Start({title, clip}, AviChoice(out.path()), true), 1) << h.log.join('\n').toStdString();
    ASSERT_TRUE(h.WaitEnd());
    ASSERT_EQ(h.run->Successes(), 1) << h.run->ErrorLines().join('\n').toStdString();
    EXPECT_EQ(h.run->TotalDuration(), 8000000);
    const QString file = h.run->Rows()[0].OutputFile;
    EXPECT_NEAR(ProbeValue(file, "format=duration").toDouble(), 8.0, 0.6);
    EXPECT_EQ(h.run->Rows()[0].Name, QStringLiteral("Title 1, chapters 2-3"));
}

TEST_F(DVDConvertTest, AMissingTitleIsRefusedWithItsReason)
{
    RunHarness h;
    TInputRow row = TitleRow();
    row.DVD.Root = DVDFixture("damaged");
    row.DVD.TitleIndex = 1;
    row.FileName = DVDTitleFacts(row.DVD, nullptr).Row.FileName;
    EXPECT_EQ(h.run->Start({row}, AviChoice(out.path()), false), 0);
    ASSERT_TRUE(h.WaitEnd());
    EXPECT_EQ(h.LogCount("File load error: "), 1) << h.log.join('\n').toStdString();
    EXPECT_TRUE(h.run->ErrorLines().join('\n').contains("title set 2")) << h.run->ErrorLines().join('\n').toStdString();
}

} // namespace
