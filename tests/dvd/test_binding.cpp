// Binding to the plug-in: the loader's messages, the assertion before loading, loading once,
// the code texts and the optical drives of a prepared /sys and /proc.
#include "DVDFixtures.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

const QString FakePlugIns = QStringLiteral(VORNIC_FAKE_PLUGINS);

// Runs first (gtest keeps file order): nothing is loaded yet.
TEST(DVDBinding, FailuresLeaveThePlugInUnloadedAndSayWhy)
{
    EXPECT_THROW(EnumDVDTitles(QStringLiteral("/")), EDVDPlugInAssertion);
    TDVDTitleInfo info;
    try {
        GetDVDTitle(0, info);
        FAIL() << "no assertion";
    } catch (const EDVDPlugInAssertion& e) {
        EXPECT_STREQ(e.what(), "DVD plug-in library is not loaded.");
        EXPECT_STREQ(EDVDPlugInAssertion::Source(), "DVDPlugIn");
    }

    QTemporaryDir empty;
    EXPECT_FALSE(LoadDVDPlugIn(empty.path()));
    EXPECT_TRUE(DVDPlugInError().startsWith("Load library " + empty.path() + "/libdvddec.so error: "))
        << DVDPlugInError().toStdString();
    EXPECT_FALSE(DVDPlugInLoaded());

    const QString noExport = FakePlugIns + QStringLiteral("/noexport");
    EXPECT_FALSE(LoadDVDPlugIn(noExport));
    EXPECT_TRUE(DVDPlugInError().startsWith("Load function DVDGetLibVersion@" + noExport + "/libdvddec.so error: "))
        << DVDPlugInError().toStdString();
    EXPECT_FALSE(DVDPlugInLoaded());

    EXPECT_FALSE(LoadDVDPlugIn(FakePlugIns + QStringLiteral("/refuses")));
    EXPECT_FALSE(DVDPlugInLoaded());
    EXPECT_FALSE(DVDPlugInError().isEmpty());
    EXPECT_THROW(EnumDVDTitles(QStringLiteral("/")), EDVDPlugInAssertion);
}

TEST(DVDBinding, ASecondLoadDoesNotLoadAgain)
{
    LoadBuiltDVDPlugIn();
    EXPECT_TRUE(DVDPlugInLoaded());
    EXPECT_NE(DVDReaderFunctions(), nullptr);
    // Even a folder that would fail is not looked at any more.
    EXPECT_TRUE(LoadDVDPlugIn(FakePlugIns + QStringLiteral("/refuses")));
    EXPECT_EQ(EnumDVDTitles(DVDFixture("two-titles")), 2);
}

TEST(DVDBinding, CodeTexts)
{
    const char* codecs[] = {"Unknown", "MPEG-1", "MPEG-2", "MPA", "AC3", "DTS", "LPCM", "SUB", "Unknown"};
    for (int code = 0; code <= 8; ++code)
        EXPECT_EQ(CodecText(code), QString::fromLatin1(codecs[code])) << code;
    EXPECT_EQ(CodecText(-1), QStringLiteral("Unknown"));
    EXPECT_EQ(NormText(0), QStringLiteral("PAL"));
    EXPECT_EQ(NormText(1), QStringLiteral("NTSC"));
    EXPECT_EQ(NormText(2), QStringLiteral("Unknown"));
    EXPECT_EQ(AspectText(0), QStringLiteral("TV(4:3)"));
    EXPECT_EQ(AspectText(1), QStringLiteral("HDTV(16:9)"));
    EXPECT_EQ(AspectText(7), QStringLiteral("Unknown"));
}

void Write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

TEST(DVDDrives, NoOpticalDriveListsNothing)
{
    QTemporaryDir system;
    Write(system.path() + "/sys/block/sda/device/type", "0\n");
    Write(system.path() + "/proc/mounts", "/dev/sda1 / ext4 rw 0 0\n");
    QStringList list{"kept"};
    EXPECT_EQ(ListDVDDrives(&list, system.path()), 0);
    EXPECT_EQ(list, QStringList{"kept"});
    QTemporaryDir nothing;
    EXPECT_EQ(ListDVDDrives(nullptr, nothing.path()), 0);
}

TEST(DVDDrives, DrivesInDeviceOrderWithTheirMountPoints)
{
    QTemporaryDir system;
    for (const char* name : {"sr10", "sr2", "sr0"})
        Write(system.path() + "/sys/block/" + name + "/device/type", "5\n");
    Write(system.path() + "/sys/block/sda/device/type", "0\n");
    Write(system.path() + "/proc/mounts",
          "/dev/sda1 / ext4 rw 0 0\n/dev/sr2 /media/My\\040Movie iso9660 ro 0 0\n");
    QStringList list;
    EXPECT_EQ(ListDVDDrives(&list, system.path()), 3);
    EXPECT_EQ(list, (QStringList{"/dev/sr0", "/media/My Movie/", "/dev/sr10"}));
    EXPECT_EQ(ListDVDDrives(nullptr, system.path()), 3);
}

} // namespace
