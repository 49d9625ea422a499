// label: sanitize
// Settings store: system.dat on first run, partial and garbage files, 8-bit
// truncation, PreferYouTube18, placements with clamping, unwritable settings folders.
#include "AppSettings.h"
#include "FakeDesktop.h"
#include "IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <limits>

namespace {

// The settings key table, written out again as the oracle for file order.
const QStringList SpecKeyOrder = {
    "LastOpenDir", "OutputFileDir", "OutputURLDir", "OutputFormatClass", "OutputAudioFormat",
    "OutputVideoFormat", "OutputDeviceFormat", "OutputWAVPreset", "OutputMP3Preset", "OutputWMAPreset",
    "OutputOGGPreset", "OutputM4APreset", "OutputAACPreset", "OutputFLACPreset", "OutputMP2Preset",
    "OutputAVIPreset", "OutputMP4Preset", "OutputFLVPreset", "OutputSWFPreset", "OutputMPEGPreset",
    "OutputRMPreset", "OutputWMVPreset", "OutputMOVPreset", "Output3GPPreset", "OutputiPodPreset",
    "OutputiPhonePreset", "OutputAppleTVPreset", "OutputPSPPreset", "OutputBlackBerryPreset",
    "OutputMobilePhonePreset", "OutputiPadPreset", "PlayASoundWhenFinished", "ShutDownWhenFinished",
    "PreferYouTubeQuality", "PreferYouTube1", "PreferYouTube2", "PreferYouTube3", "PreferYouTube4",
    "PreferYouTube5", "PreferYouTube6", "PreferYouTube7", "PreferYouTube18",
    "ConversionJobs", // added after the table's keys: files older than it simply lack it
};

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SettingsDir = dir.path() + "/";
        AppSettings = TAppSettings{};
        AppSettings.LastOpenDir = AppSettings.OutputFileDir = AppSettings.OutputURLDir = "/home/user/Documents";
        defaults = AppSettings;
    }
    void TearDown() override { SettingsDir.clear(); }
    QString file() const { return SettingsDir + "system.dat"; }
    void writeSystem(const QByteArray& body) { writeBytes(file(), "[System]\n" + body); }

    QTemporaryDir dir;
    TAppSettings defaults;
    ScopedFakeDesktop desktop;
};

} // namespace

TEST_F(SettingsTest, KeyTableMatchesTheSpec)
{
    EXPECT_EQ(SettingsKeyNames(), SpecKeyOrder);
    EXPECT_EQ(PreferYouTubeKey(0), "PreferYouTube1");
    EXPECT_EQ(PreferYouTubeKey(7), "PreferYouTube18");
}

TEST_F(SettingsTest, FirstRunCreatesEveryKeyInTableOrderWithDefaultsAndSeeds)
{
    AppSettings.OutputFormatClass = 2;   // edition seeds
    AppSettings.OutputAudioFormat = 1;
    AppSettings.OutputVideoFormat = 2;
    AppSettings.OutputDeviceFormat = 6;
    const TAppSettings before = AppSettings;

    QString report;
    EXPECT_FALSE(LoadSettings(&report)) << "no file existed";
    EXPECT_EQ(AppSettings, before);
    ASSERT_TRUE(QFile::exists(file()));

    const TIniFile ini(file());
    EXPECT_EQ(ini.ReadSections(), QStringList{"System"});
    EXPECT_EQ(ini.ReadSection("System"), SpecKeyOrder);
    const QList<QByteArray> lines = readBytes(file()).split('\n');
    EXPECT_TRUE(lines.contains("LastOpenDir=/home/user/Documents"));
    EXPECT_TRUE(lines.contains("OutputFormatClass=2"));
    EXPECT_TRUE(lines.contains("OutputAudioFormat=1"));
    EXPECT_TRUE(lines.contains("OutputVideoFormat=2"));
    EXPECT_TRUE(lines.contains("OutputDeviceFormat=6"));
    EXPECT_TRUE(lines.contains("OutputWAVPreset=3"));
    EXPECT_TRUE(lines.contains("OutputWMVPreset=16"));
    EXPECT_TRUE(lines.contains("OutputiPadPreset=0"));
    EXPECT_TRUE(lines.contains("PlayASoundWhenFinished=0"));
    EXPECT_TRUE(lines.contains("PreferYouTubeQuality=1"));
    EXPECT_TRUE(lines.contains("PreferYouTube4=0"));
    EXPECT_TRUE(lines.contains("PreferYouTube18=7"));

    // The next run reads the file and finds the same values, whatever the seeds are now.
    AppSettings = defaults;
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings, before);
}

TEST_F(SettingsTest, PartialFileKeepsDefaultsForMissingKeys)
{
    writeSystem("OutputMP3Preset=4\n");
    QString report;
    EXPECT_TRUE(LoadSettings(&report));
    TAppSettings expected = defaults;
    expected.OutputMP3Preset = 4;
    EXPECT_EQ(AppSettings, expected);
    EXPECT_TRUE(report.isEmpty()) << "missing keys are not a problem: " << report.toStdString();
    EXPECT_EQ(readBytes(file()), "[System]\nOutputMP3Preset=4\n") << "loading does not write";
}

TEST_F(SettingsTest, EightBitFieldsKeepTheLowEightBits)
{
    writeSystem("OutputVideoFormat=264\nOutputAudioFormat=-1\nOutputFormatClass=0x102\nPreferYouTube1=300\n");
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.OutputVideoFormat, 8) << "264 is 3GP";
    EXPECT_EQ(AppSettings.OutputAudioFormat, 255);
    EXPECT_EQ(AppSettings.OutputFormatClass, 2);
    EXPECT_EQ(AppSettings.PreferYouTube[0], 44);
}

TEST_F(SettingsTest, HexValuesAndOutOfRangeIndexesLoadUnchanged)
{
    writeSystem("OutputWMVPreset=0x10\nOutputAVIPreset=$1F\nOutputMP4Preset=-1\nOutputDeviceFormat=12\n"
                "ShutDownWhenFinished=0x1\n");
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.OutputWMVPreset, 16);
    EXPECT_EQ(AppSettings.OutputAVIPreset, 31);
    EXPECT_EQ(AppSettings.OutputMP4Preset, -1) << "nothing selected is kept";
    EXPECT_EQ(AppSettings.OutputDeviceFormat, 12);
    EXPECT_TRUE(AppSettings.ShutDownWhenFinished);
}

TEST_F(SettingsTest, EighthPreferenceIsKeyPreferYouTube18)
{
    writeSystem("PreferYouTube8=5\nPreferYouTube18=2\n");
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.PreferYouTube[7], 2);

    writeSystem("PreferYouTube8=5\n");
    AppSettings = defaults;
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.PreferYouTube[7], 7) << "a key ending in 8 alone is ignored";
}

TEST_F(SettingsTest, NamesAreCaseInsensitive)
{
    writeBytes(file(), "[SYSTEM]\noutputmp3preset=4\nLASTOPENDIR=/media/x\n");
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.OutputMP3Preset, 4);
    EXPECT_EQ(AppSettings.LastOpenDir, "/media/x");
}

TEST_F(SettingsTest, GarbageValuesKeepDefaultsAndAreReported)
{
    writeSystem("OutputMP3Preset=abc\nPlayASoundWhenFinished=yes\nOutputVideoFormat=\nPreferYouTube2=1e3\n");
    QString report;
    EXPECT_TRUE(LoadSettings(&report));
    EXPECT_EQ(AppSettings, defaults);
    EXPECT_TRUE(report.contains("OutputMP3Preset")) << report.toStdString();
    EXPECT_TRUE(report.contains("PlayASoundWhenFinished"));
    EXPECT_TRUE(report.contains("PreferYouTube2"));
}

TEST_F(SettingsTest, ConversionJobsRoundTripAndOddValuesReadSafely)
{
    // Auto, the default, is written as 0 and read back as auto.
    AppSettings.ConversionJobs = 0;
    ASSERT_TRUE(SaveSettings());
    EXPECT_TRUE(readBytes(file()).split('\n').contains("ConversionJobs=0"));
    AppSettings.ConversionJobs = 5;
    ASSERT_TRUE(SaveSettings());
    AppSettings = defaults;
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.ConversionJobs, 5);

    // Hand-edited values: nothing, or a number no run could use, is auto; a huge count is
    // the largest one a run makes.
    const struct {
        const char* Stored;
        int Loaded;
    } cases[] = {{"0", 0}, {"-3", 0}, {"-2147483648", 0}, {"1", 1}, {"0x10", 16}, {"64", 64}, {"65", 64},
                 {"1000000", 64}, {"99999999999", 0}, {"abc", 0}, {"", 0}, {" 3 ", 3}};
    for (const auto& c : cases) {
        writeSystem(QByteArray("ConversionJobs=") + c.Stored + "\n");
        AppSettings = defaults;
        QString report;
        EXPECT_TRUE(LoadSettings(&report));
        EXPECT_EQ(AppSettings.ConversionJobs, c.Loaded) << c.Stored;
        TAppSettings others = AppSettings;
        others.ConversionJobs = defaults.ConversionJobs;
        EXPECT_EQ(others, defaults) << c.Stored;
        if (QByteArray(c.Stored) == "abc")
            EXPECT_TRUE(report.contains("ConversionJobs")) << report.toStdString();
    }
}

TEST(ConversionJobs, AutoIsOnePerCoreAndCountsAreCapped)
{
    const int cores = std::clamp(QThread::idealThreadCount(), 1, MaxConversionJobs);
    EXPECT_EQ(ConversionJobsForRun(0), cores);
    EXPECT_EQ(ConversionJobsForRun(-1), cores);
    EXPECT_EQ(ConversionJobsForRun(1), 1);
    EXPECT_EQ(ConversionJobsForRun(3), 3);
    EXPECT_EQ(ConversionJobsForRun(MaxConversionJobs + 1), MaxConversionJobs);
    EXPECT_EQ(ConversionJobsForRun(std::numeric_limits<int>::max()), MaxConversionJobs);
}

TEST_F(SettingsTest, BinaryGarbageFileLoadsDefaults)
{
    QByteArray junk;
    for (int i = 0; i < 2000; ++i)
        junk.append(char((i * 131 + 7) % 256));
    writeBytes(file(), junk);
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings, defaults);
}

TEST_F(SettingsTest, SaveWritesEveryKeyAndKeepsOtherSections)
{
    writeBytes(file(), "[Form]\nx=10\n[System]\nOutputMP3Preset=4\nObsolete=1\n");
    AppSettings.OutputMP3Preset = 7;
    AppSettings.OutputFLVPreset = -1;
    AppSettings.PlayASoundWhenFinished = true;
    AppSettings.PreferYouTube = {7, 6, 5, 4, 3, 2, 1, 0};
    AppSettings.OutputFileDir = "/media/out dir/";
    QString error;
    ASSERT_TRUE(SaveSettings(&error)) << error.toStdString();

    const TIniFile ini(file());
    EXPECT_EQ(ini.ReadInteger("Form", "x", 0), 10);
    EXPECT_EQ(ini.ReadString("System", "PlayASoundWhenFinished", ""), "1");
    EXPECT_EQ(ini.ReadString("System", "OutputFLVPreset", ""), "-1");
    EXPECT_EQ(ini.ReadString("System", "PreferYouTube18", ""), "0");
    QStringList expectedKeys = SpecKeyOrder;
    expectedKeys.removeOne("OutputMP3Preset");
    expectedKeys.prepend("Obsolete");
    expectedKeys.prepend("OutputMP3Preset");
    EXPECT_EQ(ini.ReadSection("System"), expectedKeys);

    const TAppSettings saved = AppSettings;
    AppSettings = defaults;
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings, saved);
}

TEST_F(SettingsTest, UncreatableSettingsFolderIsReportedAndDefaultsStay)
{
    writeBytes(dir.path() + "/blocker", "not a folder");
    SettingsDir = dir.path() + "/blocker/vornic/";
    QString report;
    EXPECT_FALSE(LoadSettings(&report));
    EXPECT_EQ(AppSettings, defaults);
    EXPECT_TRUE(report.contains("blocker/vornic/system.dat")) << report.toStdString();

    QString error;
    EXPECT_FALSE(SaveSettings(&error));
    EXPECT_TRUE(error.contains("system.dat")) << error.toStdString();

    TFormPlacement p{QRect(10, 20, 800, 600), false};
    EXPECT_FALSE(SaveFormPlacement(MainFormSection, p, QString(), &error));
    EXPECT_TRUE(LoadFormPlacement(MainFormSection, p)) << "nothing to read is no error";
    EXPECT_EQ(p.Geometry, QRect(10, 20, 800, 600));
}

TEST_F(SettingsTest, SettingsFileThatIsAFolder)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("system.dat"));
    QString report;
    EXPECT_TRUE(LoadSettings(&report)) << "it exists";
    EXPECT_EQ(AppSettings, defaults);
    EXPECT_FALSE(report.isEmpty());
    QString error;
    EXPECT_FALSE(SaveSettings(&error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(SettingsTest, ReadOnlySettingsFolderKeepsTheFile)
{
    writeSystem("OutputMP3Preset=4\n");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(dir.path() + "/probe");
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    }
    AppSettings.OutputMP3Preset = 9;
    QString error;
    EXPECT_FALSE(SaveSettings(&error));
    EXPECT_TRUE(error.contains("system.dat"));
    EXPECT_EQ(readBytes(file()), "[System]\nOutputMP3Preset=4\n");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// ---- Placements ------------------------------------------------------------------------

TEST_F(SettingsTest, PlacementRoundTripInKeyOrder)
{
    SaveSettings();
    TFormPlacement main{QRect(100, 50, 800, 600), true};
    ASSERT_TRUE(SaveFormPlacement(MainFormSection, main));
    ASSERT_TRUE(SaveFormPlacement(LogFormSection, TFormPlacement{QRect(5, 6, 300, 200), false}));
    const TIniFile ini(file());
    EXPECT_EQ(ini.ReadSections(), (QStringList{"System", "Form", "FormLog"}));
    EXPECT_EQ(ini.ReadSection("Form"), (QStringList{"x", "y", "height", "width", "maximized"}));
    EXPECT_EQ(ini.ReadString("Form", "maximized", ""), "1");
    EXPECT_EQ(ini.ReadSection("System"), SpecKeyOrder);

    TFormPlacement loaded{QRect(0, 0, 640, 480), false};
    ASSERT_TRUE(LoadFormPlacement(MainFormSection, loaded, QString(), QSize(1920, 1080)));
    EXPECT_EQ(loaded.Geometry, QRect(100, 50, 640, 480)) << "position restored, size kept";
    EXPECT_TRUE(loaded.Maximized);
}

TEST_F(SettingsTest, PlacementClampsAgainstTheScreen)
{
    writeBytes(file(), "[Form]\nx=100\ny=10\nwidth=5000\nheight=300\n");
    TFormPlacement p{QRect(1, 2, 700, 500), true};
    ASSERT_TRUE(LoadFormPlacement(MainFormSection, p, QString(), QSize(1024, 768)));
    EXPECT_EQ(p.Geometry, QRect(0, 10, 700, 500)) << "width clamped to 1024, x to 1024 - 1024";
    EXPECT_FALSE(p.Maximized) << "missing maximized means normal";

    writeBytes(file(), "[Form]\nx=-50\ny=-10\nwidth=300\nheight=200\n");
    ASSERT_TRUE(LoadFormPlacement(MainFormSection, p, QString(), QSize(1024, 768)));
    EXPECT_EQ(p.Geometry.topLeft(), QPoint(0, 0));

    writeBytes(file(), "[Form]\nx=900\ny=700\nwidth=300\nheight=200\n");
    ASSERT_TRUE(LoadFormPlacement(MainFormSection, p, QString(), QSize(1024, 768)));
    EXPECT_EQ(p.Geometry.topLeft(), QPoint(724, 568));
}

TEST_F(SettingsTest, PlacementDefaultsToTheWindowAndTheDesktopScreen)
{
    desktop->screen = QSize(800, 600);
    writeBytes(file(), "[Form]\nx=abc\n");
    TFormPlacement p{QRect(700, 100, 400, 300), false};
    QString report;
    ASSERT_TRUE(LoadFormPlacement(MainFormSection, p, QString(), QSize(), &report));
    EXPECT_EQ(p.Geometry, QRect(400, 100, 400, 300)) << "current values as defaults, clamped to 800";
    EXPECT_TRUE(report.contains("x")) << report.toStdString();
}

TEST_F(SettingsTest, PlacementWithExplicitFileAndExtremeValues)
{
    const QString other = dir.path() + "/other.ini";
    writeBytes(other, "[FormLog]\nx=2147483647\ny=-2147483648\nwidth=-2147483648\nheight=2147483647\n");
    TFormPlacement p{QRect(0, 0, 200, 100), false};
    ASSERT_TRUE(LoadFormPlacement(LogFormSection, p, other, QSize(1024, 768)));
    EXPECT_EQ(p.Geometry, QRect(824, 0, 200, 100)) << "the window's own width keeps it on the screen";
    EXPECT_FALSE(QFile::exists(file())) << "the explicit path was used";
    EXPECT_EQ(ClampPlacement(100, 0, 5000, 10, QSize(1024, 768)), QPoint(0, 0));
    EXPECT_EQ(ClampPlacement(2147483647, -5, -100, -100, QSize(1024, 768)), QPoint(1024, 0));
}

TEST(CenterOnScreen, TruncatesTowardsZero)
{
    EXPECT_EQ(CenterOnScreen(QSize(800, 600), QSize(1920, 1080)), QPoint(560, 240));
    EXPECT_EQ(CenterOnScreen(QSize(801, 601), QSize(1024, 768)), QPoint(111, 83));
    EXPECT_EQ(CenterOnScreen(QSize(1027, 771), QSize(1024, 768)), QPoint(-1, -1));
}
