// Common utilities: paths, names, time texts, extensions, grid, desktop wrappers.
#include "EditionConfig.h"
#include "FakeDesktop.h"
#include "UtilFuncs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <limits>
#include <stdexcept>

namespace {

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

} // namespace

TEST(WithTrailingBackslash, AppendsTheSeparatorOnlyWhenMissing)
{
    EXPECT_EQ(WithTrailingBackslash("/tmp/Video"), "/tmp/Video/");
    EXPECT_EQ(WithTrailingBackslash("/tmp/Video/"), "/tmp/Video/");
    EXPECT_EQ(WithTrailingBackslash("/"), "/");
    EXPECT_EQ(WithTrailingBackslash(WithTrailingBackslash("rel")), "rel/");
    // Only the last character counts: an inner double separator is left alone.
    EXPECT_EQ(WithTrailingBackslash("/a//b"), "/a//b/");
    EXPECT_EQ(WithTrailingBackslash(""), "");
}

TEST(GetShellFolder, AnswersOverridesAndFallsBackToHome)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SetShellFolderOverride("AppData", dir.path());
    EXPECT_EQ(GetShellFolder("AppData"), dir.path());
    EXPECT_EQ(GetShellFolder("appdata"), dir.path()) << "value names are not case-sensitive";

    SetShellFolderOverride("AppData", dir.path() + "/does-not-exist");
    EXPECT_EQ(GetShellFolder("AppData"), QDir::homePath());
    SetShellFolderOverride("AppData", QString());

    EXPECT_EQ(GetShellFolder("NoSuchFolder"), QDir::homePath());
    for (const char* name : {"AppData", "Personal"}) {
        const QString path = GetShellFolder(name);
        EXPECT_TRUE(QFileInfo(path).isDir()) << name;
        EXPECT_FALSE(path.endsWith('/') && path != "/") << name;
    }
}

TEST(GetShellFolder, AMissingConfigurationFolderIsMadeNotReplacedByHome)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    const QString config = home.filePath("fresh/.config");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QString appData = GetShellFolder("AppData");
    const QString settings = MakeSettingsDir("vornic");
    if (previous.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", previous);

    EXPECT_EQ(appData, config);
    EXPECT_TRUE(QFileInfo(config).isDir());
    EXPECT_EQ(QFile::permissions(config) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions())
        << "the configuration folder is the user's own";
    EXPECT_EQ(settings, config + "/vornic/");
    EXPECT_TRUE(QFileInfo(config + "/vornic").isDir());
}

TEST(GridCellRect, SpecExampleEightColumnsThenSecondRow)
{
    // Format tab of 529 pixels: margins 5 and 10, gaps 2 and 3, cell 62 x 57.
    const TCellRect first = GridCellRect(529, 5, 10, 2, 3, 57, 62, 0);
    EXPECT_EQ(first, (TCellRect{10, 5, 74, 65}));
    EXPECT_EQ(first.Width(), 64);
    EXPECT_EQ(first.Height(), 60);
    EXPECT_EQ(GridCellRect(529, 5, 10, 2, 3, 57, 62, 7).Left, 10 + 7 * 64);
    EXPECT_EQ(GridCellRect(529, 5, 10, 2, 3, 57, 62, 7).Top, 5);
    EXPECT_EQ(GridCellRect(529, 5, 10, 2, 3, 57, 62, 8), (TCellRect{10, 65, 74, 125}));
}

TEST(GridCellRect, ColumnCountDividesByTheCellWidthAlone)
{
    // 12 + 62 * k <= W < 12 + 62 * (k + 1) gives k columns, although each step is 64 wide.
    EXPECT_EQ(GridCellRect(12 + 62 * 3, 5, 10, 2, 3, 57, 62, 2).Top, 5);    // 3 columns
    EXPECT_EQ(GridCellRect(12 + 62 * 3, 5, 10, 2, 3, 57, 62, 3).Top, 65);   // 4th wraps
    EXPECT_EQ(GridCellRect(12 + 62 * 3 - 1, 5, 10, 2, 3, 57, 62, 2).Top, 65); // only 2 fit
    // The last column may reach past the container (the column count divides by the cell width alone).
    EXPECT_GT(GridCellRect(12 + 62 * 8, 5, 10, 2, 3, 57, 62, 7).Right, 12 + 62 * 8);
}

TEST(GridCellRect, NarrowContainersHoldOneCellPerRow)
{
    for (int width : {73, 50, 12, 0, -500}) {
        SCOPED_TRACE(width);
        for (int i = 0; i < 4; ++i) {
            const TCellRect r = GridCellRect(width, 5, 10, 2, 3, 57, 62, i);
            EXPECT_EQ(r.Left, 10);
            EXPECT_EQ(r.Top, 5 + i * 60);
        }
    }
    // A zero cell width does not divide by zero.
    EXPECT_EQ(GridCellRect(500, 0, 0, 0, 0, 10, 0, 3).Top, 30);
}

TEST(GridCellRect, ClassButtonsWithoutGaps)
{
    EXPECT_EQ(GridCellRect(600, 135, 18, 0, 0, 32, 171, 2), (TCellRect{360, 135, 531, 167}));
    EXPECT_EQ(GridCellRect(300, 135, 18, 0, 0, 32, 171, 1), (TCellRect{18, 167, 189, 199}));
}

TEST(FormatSeconds, ShortAndLongForms)
{
    EXPECT_EQ(FormatSecondsShort(3725), "1:02:05");
    EXPECT_EQ(FormatSecondsShort(0), "0:00:00");
    EXPECT_EQ(FormatSecondsShort(59), "0:00:59");
    EXPECT_EQ(FormatSecondsShort(3600), "1:00:00");
    EXPECT_EQ(FormatSecondsShort(360000), "100:00:00");
    EXPECT_EQ(FormatSecondsLong(3725), "01:02:05");
    EXPECT_EQ(FormatSecondsLong(0), "00:00:00");
    EXPECT_EQ(FormatSecondsLong(35999), "09:59:59");
    EXPECT_EQ(FormatSecondsLong(360000), "100:00:00");
}

TEST(FormatSeconds, NegativeAndExtremeValues)
{
    EXPECT_EQ(FormatSecondsShort(-3725), "-1:02:05");
    EXPECT_EQ(FormatSecondsLong(-5), "-00:00:05");
    EXPECT_EQ(FormatSecondsShort(std::numeric_limits<int>::max()), "596523:14:07");
    EXPECT_EQ(FormatSecondsLong(std::numeric_limits<int>::min()), "-596523:14:08");
}

TEST(FormatMicroseconds, TruncatesToMilliseconds)
{
    EXPECT_EQ(FormatMicroseconds(0), "00:00:00.000");
    EXPECT_EQ(FormatMicroseconds(3725500000LL), "01:02:05.500");
    EXPECT_EQ(FormatMicroseconds(999), "00:00:00.000");
    EXPECT_EQ(FormatMicroseconds(1999), "00:00:00.001");
    EXPECT_EQ(FormatMicroseconds(59999999), "00:00:59.999");
    EXPECT_EQ(FormatMicroseconds(360000000000LL), "100:00:00.000");
}

TEST(FormatMicroseconds, NegativeAndExtremeValues)
{
    EXPECT_EQ(FormatMicroseconds(-1500000), "-00:00:01.500");
    EXPECT_EQ(FormatMicroseconds(std::numeric_limits<qint64>::max()), "2562047788:00:54.775");
    // The library's "no timestamp" value formats instead of overflowing.
    EXPECT_EQ(FormatMicroseconds(std::numeric_limits<qint64>::min()), "-2562047788:00:54.775");
}

TEST(MediaExtensions, FortyOneLowerCaseEntries)
{
    const QStringList& list = MediaFileExtensions();
    EXPECT_EQ(list.size(), 41);
    EXPECT_EQ(QStringList(list).removeDuplicates(), 0);
    for (const QString& e : list) {
        EXPECT_TRUE(e.startsWith('.')) << e.toStdString();
        EXPECT_EQ(e, e.toLower());
    }
}

TEST(MediaExtensions, CaseInsensitiveExactMatch)
{
    EXPECT_TRUE(IsMediaFileExtension(".MP3"));
    EXPECT_TRUE(IsMediaFileExtension(".Rmvb"));
    EXPECT_TRUE(IsMediaFileExtension(".mpg"));
    EXPECT_TRUE(IsMediaFileExtension(".ifo"));
    EXPECT_FALSE(IsMediaFileExtension(".mpeg"));
    EXPECT_FALSE(IsMediaFileExtension(""));
    EXPECT_FALSE(IsMediaFileExtension("mp3"));
    EXPECT_FALSE(IsMediaFileExtension(".mp3 "));
    EXPECT_FALSE(IsMediaFileExtension(".txt"));
}

TEST(FileNames, ValidityAndSanitising)
{
    EXPECT_TRUE(ContainsAnyChar("abc", "xyc"));
    EXPECT_FALSE(ContainsAnyChar("abc", "xyz"));
    EXPECT_FALSE(ContainsAnyChar("abc", ""));

    EXPECT_FALSE(IsValidFileName(""));
    EXPECT_TRUE(IsValidFileName("clip (1).mp4"));
    for (QChar c : QStringLiteral("\\/:*?\"<>|"))
        EXPECT_FALSE(IsValidFileName(QStringLiteral("a%1b").arg(c))) << QString(c).toStdString();

    EXPECT_EQ(SanitizeFileName("a/b:c?"), "a_b_c_");
    EXPECT_EQ(SanitizeFileName("\\/:*?\"<>|"), "_________");
    EXPECT_EQ(SanitizeFileName("Ünïcode clip – 100%.mp4"), "Ünïcode clip – 100%.mp4");
    EXPECT_EQ(SanitizeFileName(""), "");
}

TEST(FileNames, ExtensionOfTheLastComponentOnly)
{
    EXPECT_EQ(StripFileExtension("/home/u/dir.old/clip"), "/home/u/dir.old/clip");
    EXPECT_EQ(StripFileExtension("clip.tar.gz"), "clip.tar");
    EXPECT_EQ(StripFileExtension("/a/b.c/d.e"), "/a/b.c/d");
    EXPECT_EQ(StripFileExtension("clip."), "clip");
    EXPECT_EQ(StripFileExtension("clip"), "clip");
    EXPECT_EQ(StripFileExtension(""), "");
    EXPECT_EQ(ExtractFileExt("/a/b.c/d.MP4"), ".MP4");
    EXPECT_EQ(ExtractFileExt("/a/b.c/d"), "");
}

TEST(MakeUniqueFileName, CountsUpPastExistingNames)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    EXPECT_EQ(MakeUniqueFileName("clip.mp4", folder), "clip.mp4");
    touch(folder + "/clip.mp4");
    EXPECT_EQ(MakeUniqueFileName("clip.mp4", folder), "clip(1).mp4");
    touch(folder + "/clip(1).mp4");
    EXPECT_EQ(MakeUniqueFileName("clip.mp4", folder), "clip(2).mp4");
    EXPECT_EQ(MakeUniqueFileName("clip.mp4", folder + "/"), "clip(2).mp4") << "trailing separator";

    touch(folder + "/clip");
    EXPECT_EQ(MakeUniqueFileName("clip", folder), "clip(1)");
    touch(folder + "/100% fun.mp3");
    EXPECT_EQ(MakeUniqueFileName("100% fun.mp3", folder), "100% fun(1).mp3");
    touch(folder + "/a.b.c");
    EXPECT_EQ(MakeUniqueFileName("a.b.c", folder), "a.b(1).c");
}

TEST(MakeUniqueFileName, FoldersAndGapsCount)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("video.mp4"));
    EXPECT_EQ(MakeUniqueFileName("video.mp4", dir.path()), "video(1).mp4") << "a folder is taken too";
    touch(dir.path() + "/x.avi");
    touch(dir.path() + "/x(2).avi");
    EXPECT_EQ(MakeUniqueFileName("x.avi", dir.path()), "x(1).avi");
}

TEST(MakeUniqueFileName, AllCountersTakenGivesNoName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    touch(dir.path() + "/c.ts");
    for (int i = 1; i <= 32767; ++i)
        touch(QStringLiteral("%1/c(%2).ts").arg(dir.path()).arg(i));
    EXPECT_EQ(MakeUniqueFileName("c.ts", dir.path()), "") << "never a name that would overwrite";
}

TEST(BusyCursor, NestsAndIgnoresExtraEnds)
{
    ScopedFakeDesktop desktop;
    ASSERT_EQ(BusyCursorDepth(), 0);
    BeginBusyCursor();
    BeginBusyCursor();
    EXPECT_EQ(desktop->busy, 1) << "busy cursor is on";
    EXPECT_EQ(BusyCursorDepth(), 2);
    EndBusyCursor();
    EXPECT_EQ(desktop->busy, 1) << "the hourglass stays after one end";
    EndBusyCursor();
    EXPECT_EQ(desktop->busy, 0) << "the second end restores the cursor";
    EndBusyCursor();
    EXPECT_EQ(desktop->busy, 0) << "a third end does nothing";
    EXPECT_EQ(BusyCursorDepth(), 0);
    BeginBusyCursor();
    EXPECT_EQ(desktop->busy, 1) << "the counter did not go below zero";
    EndBusyCursor();
}

TEST(BusyCursor, GuardEndsOnExceptions)
{
    ScopedFakeDesktop desktop;
    try {
        TBusyCursorGuard outer;
        TBusyCursorGuard inner;
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(BusyCursorDepth(), 0);
    EXPECT_EQ(desktop->busy, 0);
}

TEST(DesktopWrappers, GoThroughTheDesktopServices)
{
    ScopedFakeDesktop desktop;
    ShellOpen("/tmp/out/");
    EXPECT_EQ(desktop->opened, QStringList{"/tmp/out/"});

    QString folder = "/start";
    desktop->folderAnswers = {"/chosen", ""};
    EXPECT_TRUE(BrowseForFolder(folder));
    EXPECT_EQ(folder, "/chosen");
    EXPECT_FALSE(BrowseForFolder(folder)) << "cancel";
    EXPECT_EQ(folder, "/chosen") << "cancel leaves the folder unchanged";

    desktop->answers = {mrYes};
    EXPECT_EQ(ShowMessageDialog("Clear the log?", "vornic", TMsgDlgType::mtConfirmation, {}, mbYes | mbNo), mrYes);
    ASSERT_EQ(desktop->shown.size(), 1u);
    EXPECT_EQ(desktop->shown[0].caption, "vornic");
    EXPECT_EQ(desktop->shown[0].buttons, TMsgDlgButtons(mbYes | mbNo));
}

TEST(SetProcessPrivilege, ShutdownIsANoOpOthersAreUnknown)
{
    EXPECT_TRUE(SetProcessPrivilege("SeShutdownPrivilege", true));
    EXPECT_TRUE(SetProcessPrivilege("SeShutdownPrivilege", false));
    EXPECT_FALSE(SetProcessPrivilege("SeNoSuchPrivilege", true));
    EXPECT_FALSE(SetProcessPrivilege("", true));
}
