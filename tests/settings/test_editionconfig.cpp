// Edition configuration: the edition file, seeds, layout variants, button
// packing, the settings folder rule and the edition tables.
#include "AppSettings.h"
#include "EditionConfig.h"
#include "IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

class EditionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(exeDir.isValid());
        ASSERT_TRUE(appData.isValid());
        SetShellFolderOverride("AppData", appData.path());
    }
    void TearDown() override { SetShellFolderOverride("AppData", QString()); }

    void writeEdition(const QByteArray& body)
    {
        QFile f(exeDir.path() + "/lame.dll");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(body);
    }
    TEditionConfig read(const QByteArray& systemKeys)
    {
        writeEdition("[SYSTEM]\n" + systemKeys);
        return ReadEditionConfig(exeDir.path());
    }

    QTemporaryDir exeDir;
    QTemporaryDir appData;
};

std::vector<QPoint> visibleTopLefts(const std::vector<TButtonPlacement>& buttons)
{
    std::vector<QPoint> points;
    for (const TButtonPlacement& b : buttons)
        if (b.Visible)
            points.emplace_back(b.Rect.Left, b.Rect.Top);
    return points;
}

} // namespace

TEST_F(EditionTest, MissingFileGivesEveryDefault)
{
    QString report;
    const TEditionConfig c = ReadEditionConfig(exeDir.path(), &report);
    EXPECT_TRUE(report.isEmpty()) << "a missing file is not reported";
    EXPECT_EQ(c.Name, "");
    EXPECT_EQ(c.Version, "");
    EXPECT_TRUE(c.Download);
    EXPECT_TRUE(c.Video);
    EXPECT_EQ(c.Res, "");
    for (bool f : c.Formats)
        EXPECT_FALSE(f);
    EXPECT_EQ(c.DefaultVideo, 0);
    EXPECT_EQ(c.DefaultClass, 0);
    EXPECT_EQ(c.Skin, "0");
    EXPECT_TRUE(c.DVD);
    EXPECT_FALSE(c.Merge);
    EXPECT_EQ(c.Copyright, "");
    EXPECT_EQ(ReadEditionTitle(exeDir.path()), "");

    // No format button anywhere: all class buttons hidden, format area stays at 172.
    const TClassButtonsLayout classes = LayoutClassButtons(c, 600);
    for (const TButtonPlacement& b : classes.Buttons)
        EXPECT_FALSE(b.Visible);
    EXPECT_EQ(classes.FormatAreaTop, 172);
    EXPECT_EQ(&LayoutForSkin(c.Skin), &LayoutVariants[0]);
    EXPECT_EQ(SkinImageDir(exeDir.path(), c.Res), exeDir.path() + "/sounds/res/");
}

TEST_F(EditionTest, ReadsEveryKeyCaseInsensitively)
{
    const TEditionConfig c = read("name=vornic Pro\nVERSION=2.1\nDownload=0\nVideo=0\nRes=2\nmp3=1\nIPad=$1\n"
                                  "DefaultAudio=3\nDefaultDevice=6\nSkin=2\nDVD=0\nMerge=1\nCopyright=(c) us\n");
    EXPECT_EQ(c.Name, "vornic Pro");
    EXPECT_EQ(ReadEditionTitle(exeDir.path()), "vornic Pro");
    EXPECT_EQ(c.Version, "2.1");
    EXPECT_FALSE(c.Download);
    EXPECT_FALSE(c.Video);
    EXPECT_EQ(c.Res, "2");
    EXPECT_TRUE(c.FormatEnabled("MP3"));
    EXPECT_TRUE(c.FormatEnabled(fcAudio, 1));
    EXPECT_TRUE(c.FormatEnabled(fcDevice, 6)) << "iPad is last in the device grid";
    EXPECT_FALSE(c.FormatEnabled(fcAudio, 0));
    EXPECT_EQ(c.DefaultAudio, 3);
    EXPECT_EQ(c.DefaultDevice, 6);
    EXPECT_EQ(c.Skin, "2");
    EXPECT_FALSE(c.DVD);
    EXPECT_TRUE(c.Merge);
    EXPECT_EQ(c.Copyright, "(c) us");
    EXPECT_EQ(SkinImageDir(exeDir.path(), c.Res), exeDir.path() + "/sounds/res2/");
}

TEST_F(EditionTest, KeysOutsideSectionSystemAndGarbageAreIgnored)
{
    writeEdition("Name=outside\n[Other]\nMP3=1\n[SYSTEM]\nDownload=maybe\nDefaultClass=x\n");
    const TEditionConfig c = ReadEditionConfig(exeDir.path());
    EXPECT_EQ(c.Name, "");
    EXPECT_FALSE(c.FormatEnabled("MP3"));
    EXPECT_TRUE(c.Download);
    EXPECT_EQ(c.DefaultClass, 0);
}

TEST_F(EditionTest, EditionFileThatIsAFolderIsReported)
{
    ASSERT_TRUE(QDir(exeDir.path()).mkdir("lame.dll"));
    QString report;
    const TEditionConfig c = ReadEditionConfig(exeDir.path(), &report);
    EXPECT_FALSE(report.isEmpty());
    EXPECT_TRUE(c.Download);
}

TEST_F(EditionTest, ClassesAndFormatsTheEditionDoesNotOfferGiveWayToItsOwn)
{
    // One class offered, DefaultClass naming another: Step2 would open on an empty tab with no
    // class button to leave it.
    TEditionConfig audioOnly = read("MP3=1\nWAV=1\nDefaultClass=0\nDefaultAudio=2\n");
    TAppSettings s;
    SeedOutputSettings(audioOnly, s);
    FitOutputSettingsToEdition(audioOnly, s);
    EXPECT_EQ(s.OutputFormatClass, fcAudio);
    EXPECT_EQ(s.OutputAudioFormat, 0) << "WMA (2) is not offered; WAV is the first that is";

    // A value stored by another edition: the class with formats stays, a hidden format goes.
    TEditionConfig two = read("AVI=1\nFLV=1\nOGG=1\n");
    s = TAppSettings();
    s.OutputFormatClass = fcDevice;
    s.OutputVideoFormat = 2;   // FLV: offered, kept
    s.OutputAudioFormat = 200; // out of range
    FitOutputSettingsToEdition(two, s);
    EXPECT_EQ(s.OutputFormatClass, fcVideo);
    EXPECT_EQ(s.OutputVideoFormat, 2);
    EXPECT_EQ(s.OutputAudioFormat, 3);
    s.OutputFormatClass = fcAudio;
    FitOutputSettingsToEdition(two, s);
    EXPECT_EQ(s.OutputFormatClass, fcAudio) << "an offered class is the user's choice";

    // An edition that offers nothing keeps what it has.
    s = TAppSettings();
    s.OutputFormatClass = 2;
    s.OutputAudioFormat = 5;
    FitOutputSettingsToEdition(read(""), s);
    EXPECT_EQ(s.OutputFormatClass, 2);
    EXPECT_EQ(s.OutputAudioFormat, 5);
}

TEST_F(EditionTest, SeedsTakeLowBitsAndOnlyValidClasses)
{
    TAppSettings s;
    SeedOutputSettings(read("DefaultVideo=258\nDefaultClass=7\nDefaultDevice=0x103\nDefaultAudio=-1\n"), s);
    EXPECT_EQ(s.OutputVideoFormat, 2);
    EXPECT_EQ(s.OutputFormatClass, 0) << "class 7 gives video";
    EXPECT_EQ(s.OutputDeviceFormat, 3);
    EXPECT_EQ(s.OutputAudioFormat, 255);

    for (auto [text, expected] : {std::pair{"2", 2}, {"1", 1}, {"0", 0}, {"-1", 0}, {"256", 0}, {"3", 0}}) {
        TAppSettings t;
        t.OutputFormatClass = 1;
        SeedOutputSettings(read(QByteArray("DefaultClass=") + text + "\n"), t);
        EXPECT_EQ(t.OutputFormatClass, expected) << text;
    }
}

TEST_F(EditionTest, StartupOrderSeedsDefaultsThenTheSettingsFileWins)
{
    const QString personal = appData.path();  // any existing folder
    TEditionConfig c = read("DefaultClass=2\nDefaultAudio=1\nDefaultVideo=4\n");
    SettingsDir = MakeSettingsDir("vornic");
    AppSettings = TAppSettings{};
    AppSettings.OutputMP3Preset = 99;       // left over; step 7 resets it
    SeedOutputSettings(c, AppSettings);     // step 4
    ApplySettingsDefaults(AppSettings, personal);  // step 7
    EXPECT_EQ(AppSettings.OutputMP3Preset, 2);
    EXPECT_EQ(AppSettings.OutputFormatClass, 2) << "step 7 keeps the seeds";
    EXPECT_EQ(AppSettings.LastOpenDir, personal);
    EXPECT_EQ(AppSettings.OutputURLDir, personal);
    EXPECT_FALSE(LoadSettings());            // step 8, first run
    const TIniFile ini(SettingsDir + "system.dat");
    EXPECT_EQ(ini.ReadInteger("System", "OutputFormatClass", -1), 2);
    EXPECT_EQ(ini.ReadInteger("System", "OutputAudioFormat", -1), 1);
    EXPECT_EQ(ini.ReadInteger("System", "OutputVideoFormat", -1), 4);

    // A later edition with other seeds: the stored values replace them.
    c = read("DefaultClass=1\nDefaultVideo=7\n");
    AppSettings = TAppSettings{};
    SeedOutputSettings(c, AppSettings);
    ApplySettingsDefaults(AppSettings, personal);
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.OutputFormatClass, 2);
    EXPECT_EQ(AppSettings.OutputVideoFormat, 4);
    SettingsDir.clear();
}

TEST_F(EditionTest, LayoutVariantsBySkin)
{
    const TLayoutVariant& v1 = LayoutForSkin("1");
    EXPECT_EQ(v1.ButtonMin, QPoint(766, 3));
    EXPECT_EQ(v1.ButtonExit, QPoint(730, 566));
    EXPECT_EQ(v1.PageControlMain, QPoint(240, 110));
    EXPECT_EQ(v1.LabelTitle, QPoint(252, 70));
    EXPECT_EQ(v1.LabelColor, LabelWhite);
    EXPECT_EQ(v1.HelpMenuOffset, 0);

    const TLayoutVariant& v2 = LayoutForSkin("2");
    EXPECT_EQ(v2.ButtonMin, QPoint(696, 6));
    EXPECT_EQ(v2.ButtonHelp, QPoint(40, 513));
    EXPECT_EQ(v2.PageControlMain, QPoint(198, 74));
    EXPECT_EQ(v2.HelpMenuOffset, 5);

    const TLayoutVariant& v0 = LayoutForSkin("0");
    EXPECT_EQ(v0.ButtonClose, QPoint(728, 4));
    EXPECT_EQ(v0.ButtonNext, QPoint(522, 510));
    EXPECT_EQ(v0.LabelColor, (TRgb{128, 128, 128}));

    for (const char* other : {"3", "-1", "abc", "", "1.0"}) {
        const TLayoutVariant& d = LayoutForSkin(other);
        EXPECT_EQ(&d, &DesignedLayout) << other;
        EXPECT_EQ(d.LabelColor, LabelGrey) << "designed layout has grey labels";
        EXPECT_EQ(d.HelpMenuOffset, 0);
        EXPECT_EQ(d.ButtonMin, v0.ButtonMin);
        EXPECT_EQ(d.PageControlMain, v0.PageControlMain);
    }
    EXPECT_EQ(&LayoutForSkin(read("Skin=3\n").Skin), &DesignedLayout);
    EXPECT_EQ(&LayoutForSkin(" 1 "), &LayoutVariants[1]);
}

TEST_F(EditionTest, DvdButtons)
{
    const TDvdButtonsLayout on = DvdButtonsLayout(read("").DVD);
    EXPECT_TRUE(on.LoadDvdVisible);
    EXPECT_EQ(on.ButtonAddDVDTop, 8);
    EXPECT_EQ(on.ButtonAddTop, 40);
    const TDvdButtonsLayout off = DvdButtonsLayout(read("DVD=0\n").DVD);
    EXPECT_FALSE(off.LoadDvdVisible);
    EXPECT_EQ(off.ButtonAddDVDTop, 8);
    EXPECT_EQ(off.ButtonAddTop, 8);
}

TEST_F(EditionTest, FormatButtonTable)
{
    EXPECT_EQ(FormatCountOfClass(fcVideo), 9);
    EXPECT_EQ(FormatCountOfClass(fcDevice), 7);
    EXPECT_EQ(FormatCountOfClass(fcAudio), 8);
    QStringList keys;
    for (const TFormatButtonInfo& b : FormatButtons)
        keys << b.Key;
    EXPECT_EQ(keys, (QStringList{"AVI", "MP4", "FLV", "SWF", "MPEG", "RM", "WMV", "MOV", "3GP",
                                 "IPOD", "IPHONE", "APPLETV", "PSP", "BLACKBERRY", "MOBILEPHONE", "IPAD",
                                 "WAV", "MP3", "WMA", "OGG", "AAC", "M4A", "FLAC", "MP2"}));
    EXPECT_STREQ(FormatButtons[15].ButtonName, "ButtonFormatiPad");
    EXPECT_STREQ(ClassButtonName(fcDevice), "ButtonToFormatDevice");
}

TEST_F(EditionTest, FormatButtonsPackInGridOrder)
{
    const TEditionConfig c = read("MP4=1\nSWF=1\n3GP=1\nIPAD=1\nIPOD=1\n");
    auto video = LayoutFormatButtons(c, fcVideo, 529);
    ASSERT_EQ(video.size(), 9u);
    EXPECT_FALSE(video[0].Visible);
    EXPECT_EQ(visibleTopLefts(video), (std::vector<QPoint>{{10, 5}, {74, 5}, {138, 5}}));
    EXPECT_EQ(video[8].Rect, (TCellRect{138, 5, 202, 65}));

    // 12 + 62 * 2 <= 140 < 12 + 62 * 3: two per row.
    EXPECT_EQ(visibleTopLefts(LayoutFormatButtons(c, fcVideo, 140)),
              (std::vector<QPoint>{{10, 5}, {74, 5}, {10, 65}}));
    // Narrower than 74: still one per row.
    EXPECT_EQ(visibleTopLefts(LayoutFormatButtons(c, fcVideo, 60)),
              (std::vector<QPoint>{{10, 5}, {10, 65}, {10, 125}}));

    auto device = LayoutFormatButtons(c, fcDevice, 529);
    EXPECT_TRUE(device[0].Visible);
    EXPECT_EQ(device[0].Rect.Left, 10);
    EXPECT_TRUE(device[6].Visible);
    EXPECT_EQ(device[6].Rect.Left, 74) << "iPad follows iPod among the visible buttons";

    for (const TButtonPlacement& b : LayoutFormatButtons(c, fcAudio, 529))
        EXPECT_FALSE(b.Visible);
}

TEST_F(EditionTest, ExactlyOneClassHidesAllClassButtons)
{
    const TClassButtonsLayout l = LayoutClassButtons(read("MP3=1\nWAV=1\n"), 600);
    for (const TButtonPlacement& b : l.Buttons)
        EXPECT_FALSE(b.Visible);
    EXPECT_EQ(l.FormatAreaTop, 120);
}

TEST_F(EditionTest, TwoOrThreeClassesArePackedAndKeepTheArea)
{
    const TClassButtonsLayout two = LayoutClassButtons(read("AVI=1\nMP3=1\n"), 600);
    EXPECT_TRUE(two.Buttons[fcVideo].Visible);
    EXPECT_FALSE(two.Buttons[fcDevice].Visible);
    EXPECT_TRUE(two.Buttons[fcAudio].Visible);
    EXPECT_EQ(two.Buttons[fcVideo].Rect, (TCellRect{18, 135, 189, 167}));
    EXPECT_EQ(two.Buttons[fcAudio].Rect, (TCellRect{189, 135, 360, 167})) << "audio takes the second cell";
    EXPECT_EQ(two.FormatAreaTop, 172);

    const TClassButtonsLayout three = LayoutClassButtons(read("AVI=1\nPSP=1\nMP3=1\n"), 600);
    EXPECT_EQ(three.Buttons[fcAudio].Rect.Left, 360);
    EXPECT_EQ(three.FormatAreaTop, 172);

    const TClassButtonsLayout narrow = LayoutClassButtons(read("AVI=1\nPSP=1\nMP3=1\n"), 300);
    EXPECT_EQ(narrow.Buttons[fcAudio].Rect.Left, 18);
    EXPECT_EQ(narrow.Buttons[fcAudio].Rect.Top, 135 + 2 * 32);
}

TEST_F(EditionTest, SettingsFolderFromTheTitle)
{
    const QString root = appData.path() + "/";
    EXPECT_EQ(MakeSettingsDir("vornic"), root + "vornic/");
    EXPECT_TRUE(QFileInfo(root + "vornic").isDir());

    EXPECT_EQ(MakeSettingsDir("Video/Audio Converter"), root + "Video Audio Converter/");
    EXPECT_TRUE(QFileInfo(root + "Video Audio Converter").isDir());
    EXPECT_EQ(MakeSettingsDir("/lead/trail/"), root + " lead trail /");

    EXPECT_EQ(MakeSettingsDir(""), root) << "empty title: AppData itself";
    EXPECT_EQ(MakeSettingsDir("vornic"), root + "vornic/") << "an existing folder is used";
    EXPECT_EQ(MakeSettingsDir(".."), root);
}

TEST_F(EditionTest, SettingsFolderThatCannotBeCreatedFallsBackToAppData)
{
    const QString root = appData.path() + "/";
    QFile blocker(root + "Blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(MakeSettingsDir("Blocked"), root) << "a file of that name is in the way";

    // One level only: a nested AppData that does not exist is not created as a path.
    SetShellFolderOverride("AppData", root + "missing/deeper");
    EXPECT_EQ(GetShellFolder("AppData"), QDir::homePath()) << "missing AppData is the home folder";
    EXPECT_FALSE(QFileInfo::exists(root + "missing"));
}

TEST_F(EditionTest, EditionTables)
{
    EXPECT_EQ(DefaultEditionTitle, "vornic");
    EXPECT_EQ(EditionIconName("vornic"), "vornic");
    EXPECT_EQ(EditionIconName("vornic Video Converter"), "video");
    EXPECT_EQ(EditionIconName("VORNIC"), "") << "titles compare case-sensitively";
    EXPECT_EQ(EditionIconName(""), "");

    EXPECT_TRUE(IsReducedFrameEdition("vornic Lite"));
    EXPECT_FALSE(IsReducedFrameEdition("vornic lite"));
    EXPECT_FALSE(IsReducedFrameEdition("vornic"));

    EXPECT_EQ(ToolsWording("vornic Pro").LabelMoreTools, "more tools...");
    EXPECT_EQ(ToolsWording("vornic Pro").ActionMoreFreeTools, "More Tools...");
    EXPECT_EQ(ToolsWording("vornic").LabelMoreTools, "more free tools...");
    EXPECT_EQ(ToolsWording("vornic").ActionMoreFreeTools, "More Free Tools...");
    for (const TEditionIconRow& row : EditionIconTable)
        EXPECT_FALSE(QString(row.Icon).isEmpty()) << row.Title;
}
