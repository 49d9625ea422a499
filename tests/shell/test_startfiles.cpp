// Files from the command line ("Open with" in a file manager, or a terminal): how the wizard's
// arguments are read, and the window opening on Step1 with the files added.
#include "ShellTestSupport.h"

#include "ModalRunner.h"
#include "StartArguments.h"

#include <QDialog>

namespace {

TStartArguments Parse(const QStringList& args) { return ParseStartArguments(args, QStringLiteral("/home/u/videos")); }

} // namespace

TEST(StartArguments, FilesBecomeAbsolutePathsInTheirOrder)
{
    const TStartArguments start = Parse({"b.mp4", "../music/a b.mp3", "/tmp/c.avi", "file:///tmp/d%20e.flv", "", "-"});
    EXPECT_EQ(start.Mode, smRun);
    EXPECT_EQ(start.Files, QStringList({"/home/u/videos/b.mp4", "/home/u/music/a b.mp3", "/tmp/c.avi", "/tmp/d e.flv",
                                        "/home/u/videos/-"}));
    EXPECT_TRUE(Parse({}).Files.isEmpty());
    EXPECT_EQ(Parse({}).Mode, smRun);
}

TEST(StartArguments, OptionsAndTheirEnd)
{
    EXPECT_EQ(Parse({"a.mp4", "--help"}).Mode, smHelp);
    EXPECT_EQ(Parse({"-h"}).Mode, smHelp);
    EXPECT_EQ(Parse({"--version"}).Mode, smVersion);
    const TStartArguments bad = Parse({"a.mp4", "--bogus"});
    EXPECT_EQ(bad.Mode, smBadArguments);
    EXPECT_EQ(bad.Error, QStringLiteral("unknown option: --bogus"));
    EXPECT_EQ(Parse({"http://host/x.mp4"}).Mode, smBadArguments) << "only local files can be converted";
    // After "--" everything is a file, even names that look like options.
    const TStartArguments files = Parse({"--", "--help", "-x.mp4"});
    EXPECT_EQ(files.Mode, smRun);
    EXPECT_EQ(files.Files, QStringList({"/home/u/videos/--help", "/home/u/videos/-x.mp4"}));

    const char* raw[] = {"vornic", "a.mp4", "--version"};
    EXPECT_TRUE(WantsTextOnly(3, const_cast<char**>(raw)));
    const char* ended[] = {"vornic", "--", "--help"};
    EXPECT_FALSE(WantsTextOnly(3, const_cast<char**>(ended)));
}

TEST_F(ShellTest, OpenedFilesLandOnStep1InEitherEdition)
{
    LinkSkins();
    int failedDialogs = 0;
    ScopedModalRunner runner([&failedDialogs](QDialog&) { ++failedDialogs; return 0; });
    for (const bool download : {true, false}) {
        WriteEdition(QStringLiteral("[SYSTEM]\nName=Opened\nDownload=%1\nAVI=1\n").arg(download ? 1 : 0));
        TFormMain& w = Start();
        const QStringList files{home.filePath("one.mp4"), home.filePath("two.avi")};
        MakeMediaFiles(files);
        w.OpenFiles(files + QStringList{home.filePath("missing.mp4")});
        EXPECT_EQ(w.CurrentPage(), wpStep1);
        ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
        ASSERT_EQ(w.PageStep1->RowCount(), 2);
        EXPECT_EQ(w.PageStep1->RowFileName(0), files[0]);
        EXPECT_EQ(w.PageStep1->RowFileName(1), files[1]);
        // The file that could not be read is reported as the open dialog's would be.
        EXPECT_TRUE(LogText().contains(QStringLiteral("File load error: "))) << LogText().toStdString();
        EXPECT_EQ(failedDialogs, download ? 1 : 2);
        // Back still leads to the start page of the edition.
        EXPECT_EQ(w.ActionBack->isEnabled(), download);
    }
}
