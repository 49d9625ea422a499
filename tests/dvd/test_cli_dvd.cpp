// vornic-convert with DVD titles: --dvd-info prints the dialog's report, --dvd converts a title
// with the usual format options, and wrong DVD arguments are refused.
#include "DVDFixtures.h"

#include <QTemporaryDir>

namespace {

CommandResult Convert(const QStringList& args)
{
    return RunCommand(QStringLiteral(VORNIC_CONVERT), args, 300000);
}

TEST(ConverterDVD, InfoPrintsTheReport)
{
    const CommandResult r = Convert({"--dvd-info", DVDFixture("damaged")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.first(), "There are 2 title(s) in " + DVDFixture("damaged"));
    EXPECT_TRUE(lines.contains("    Audio #1 Type[MPA], ID[0xC0], SampleRate[48000], Channels[2], Language[de, German]"));
    EXPECT_EQ(lines.last(), QStringLiteral("Calling DVDGetTitle(#1) failed."));

    const CommandResult none = Convert({"--dvd-info", DVDFixture("plain-file")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("No DVD title(s) found. Maybe not a valid DVD.")) << none.err.toStdString();
}

TEST(ConverterDVD, ConvertsAChapterWithTheChosenTrack)
{
    QTemporaryDir out;
    const CommandResult r = Convert({"--dvd", DVDFixture("two-titles"), "--title", "1", "--chapters", "3", "--audio",
                                     "0x80", "--subtitle", "0", "--deinterlace", "--format", "mp4", "--preset", "2",
                                     "--output-dir", out.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.toStdString();
    const QString file = out.path() + QStringLiteral("/two-titles_Title1.mp4");
    ASSERT_TRUE(QFileInfo(file).isFile()) << r.out.toStdString();
    EXPECT_NEAR(ProbeValue(file, "format=duration").toDouble(), 3.0, 0.5);
    EXPECT_TRUE(r.out.contains(file)) << r.out.toStdString();
}

// A title whose sectors cannot all be read: a failure, and nothing half-written stays behind.
TEST(ConverterDVD, ACutTitleFailsAndLeavesNoOutput)
{
    QTemporaryDir dir;
    const QString root = CutTwoTitleDVD(dir.path()).chopped(1);
    ASSERT_FALSE(HasFailure());
    const QString outDir = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(outDir));
    const CommandResult r = Convert({"--dvd", root, "--title", "1", "--format", "mp3", "--preset", "1",
                                     "--output-dir", outDir});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("FAILED")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Reading the DVD failed at block")) << r.err.toStdString();
    EXPECT_TRUE(QDir(outDir).entryList(QDir::Files).isEmpty()) << QDir(outDir).entryList(QDir::Files).join(' ').toStdString();
}

TEST(ConverterDVD, WrongDVDArgumentsAreRefused)
{
    QTemporaryDir out;
    const QString root = DVDFixture("two-titles");
    const QStringList format{"--format", "mp4", "--preset", "2", "--output-dir", out.path()};
    EXPECT_EQ(Convert(QStringList{"--title", "1"} + format).exitCode, 2);
    EXPECT_EQ(Convert(QStringList{"--dvd", root} + format).exitCode, 2);           // no --title
    EXPECT_EQ(Convert({"--dvd", root, "--title", "1"}).exitCode, 2);               // no --format
    EXPECT_EQ(Convert(QStringList{"--dvd", root, "--title", "0"} + format).exitCode, 2);
    EXPECT_EQ(Convert(QStringList{"--dvd", root, "--title", "1", "--chapters", "3-2"} + format).exitCode, 2);
    EXPECT_EQ(Convert({"--dvd-info", root, "--title", "1"}).exitCode, 2);

    const CommandResult noTitle = Convert(QStringList{"--dvd", root, "--title", "3"} + format);
    EXPECT_EQ(noTitle.exitCode, 1);
    EXPECT_TRUE((noTitle.out + noTitle.err).contains("not 3")) << noTitle.err.toStdString();
    const CommandResult noTrack = Convert(QStringList{"--dvd", root, "--title", "2", "--audio", "0xC0"} + format);
    EXPECT_EQ(noTrack.exitCode, 1);
    EXPECT_TRUE((noTrack.out + noTrack.err).contains("no audio stream 0xc0")) << noTrack.out.toStdString();
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files).isEmpty());
}

} // namespace
