// label: sanitize
// INI reader/writer: the file conventions and writes that never lose the file.
#include "IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

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

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name = "test.ini") const { return dir.path() + "/" + name; }
};

} // namespace

TEST_F(IniFileTest, MissingFileHasNoKeys)
{
    TIniFile ini(path());
    EXPECT_FALSE(ini.Exists());
    EXPECT_TRUE(ini.ReadError().isEmpty());
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("S", "k", 7), 7);
    EXPECT_TRUE(ini.ReadBool("S", "k", true));
    EXPECT_FALSE(ini.SectionExists("S"));
}

TEST_F(IniFileTest, NamesAreCaseInsensitiveAndFirstOccurrenceWins)
{
    writeBytes(path(), "; comment\n[System]\nName = My Edition \nname=second\n[other]\nName=x\n[SYSTEM]\nName=third\n");
    TIniFile ini(path());
    EXPECT_TRUE(ini.Exists());
    EXPECT_EQ(ini.ReadString("system", "NAME", ""), "My Edition") << "blanks around the value trimmed";
    EXPECT_EQ(ini.ReadString("Other", "name", ""), "x");
    EXPECT_EQ(ini.ReadSections(), (QStringList{"System", "other", "SYSTEM"}));
    EXPECT_EQ(ini.ReadSection("SyStEm"), (QStringList{"Name", "name"}));
    EXPECT_FALSE(ini.ValueExists("System", "; comment"));
}

TEST_F(IniFileTest, ValuesAreRawText)
{
    writeBytes(path(), "[S]\nquoted=\"a b\"\neq=a=b\nempty=\n  spaced  key = v \n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("S", "quoted", ""), "\"a b\"");
    EXPECT_EQ(ini.ReadString("S", "eq", ""), "a=b");
    EXPECT_EQ(ini.ReadString("S", "empty", "def"), "") << "present but empty is not missing";
    EXPECT_EQ(ini.ReadString("S", "spaced  key", ""), "v");
}

TEST(IniParseInteger, DecimalAndHexadecimal)
{
    auto parse = [](const char* text) -> std::optional<int> {
        int v = 0;
        if (TIniFile::ParseInteger(QString::fromUtf8(text), v))
            return v;
        return std::nullopt;
    };
    EXPECT_EQ(parse("42"), 42);
    EXPECT_EQ(parse("-7"), -7);
    EXPECT_EQ(parse("+5"), 5);
    EXPECT_EQ(parse(" 12 "), 12);
    EXPECT_EQ(parse("0x1F"), 31);
    EXPECT_EQ(parse("0X1f"), 31);
    EXPECT_EQ(parse("$ff"), 255);
    EXPECT_EQ(parse("$FFFFFFFF"), -1);
    EXPECT_EQ(parse("-$10"), -16);
    EXPECT_EQ(parse("2147483647"), 2147483647);
    EXPECT_EQ(parse("-2147483648"), std::numeric_limits<int>::min());
    for (const char* bad : {"", " ", "abc", "12abc", "1.5", "0x", "$", "0x1G", "2147483648",
                            "99999999999", "$100000000", "--1", "1 2", "x10", "٣"})
        EXPECT_EQ(parse(bad), std::nullopt) << bad;
}

TEST_F(IniFileTest, IntegersAndBooleansFallBackToTheCallersDefault)
{
    writeBytes(path(), "[S]\nhex=$1F\nbad=abc\nbig=99999999999\nt=2\nf=0\nneg=-1\nword=yes\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadInteger("S", "hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("S", "bad", 9), 9);
    EXPECT_EQ(ini.ReadInteger("S", "big", 9), 9);
    EXPECT_TRUE(ini.ReadBool("S", "t", false));
    EXPECT_FALSE(ini.ReadBool("S", "f", true));
    EXPECT_TRUE(ini.ReadBool("S", "neg", false));
    EXPECT_TRUE(ini.ReadBool("S", "word", true));
    EXPECT_FALSE(ini.ReadBool("S", "word", false));
}

TEST_F(IniFileTest, WriteCreatesFileAndSectionWithKeysInWriteOrder)
{
    {
        TIniFile ini(path());
        ini.WriteString("System", "Zeta", "text with spaces");
        ini.WriteInteger("System", "Alpha", -12);
        ini.WriteBool("System", "Mid", true);
        ini.WriteBool("System", "Off", false);
        ini.WriteInteger("Form", "x", 5);
        QString error;
        ASSERT_TRUE(ini.UpdateFile(&error)) << error.toStdString();
    }
    EXPECT_EQ(readBytes(path()), "[System]\nZeta=text with spaces\nAlpha=-12\nMid=1\nOff=0\n[Form]\nx=5\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"test.ini"})
        << "no temporary file left behind";
}

TEST_F(IniFileTest, RewriteKeepsCommentsOrderAndOtherSections)
{
    writeBytes(path(), "; settings\n[Form]\nx=1\n\n[System]\n# note\nB=2\nA=1\n\n[FormLog]\nx=3\n");
    TIniFile ini(path());
    ini.WriteInteger("system", "a", 10);       // existing key keeps its place and spelling
    ini.WriteInteger("System", "C", 3);        // new key follows the section's last key
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(readBytes(path()), "; settings\n[Form]\nx=1\n\n[System]\n# note\nB=2\nA=10\nC=3\n\n[FormLog]\nx=3\n");
}

TEST_F(IniFileTest, DeleteAndErase)
{
    writeBytes(path(), "[A]\nx=1\ny=2\n[B]\nz=3\n");
    TIniFile ini(path());
    ini.DeleteKey("a", "X");
    ini.EraseSection("b");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(readBytes(path()), "[A]\ny=2\n");
}

TEST_F(IniFileTest, Utf8TextLatin1FallbackBomAndCrlf)
{
    {
        TIniFile ini(path());
        ini.WriteString("S", "dir", "/home/ü/Vidéos/視頻");
        ASSERT_TRUE(ini.UpdateFile());
    }
    EXPECT_EQ(TIniFile(path()).ReadString("S", "dir", ""), "/home/ü/Vidéos/視頻");

    writeBytes(path("latin1.ini"), "[S]\nname=\xE9t\xE9\n");
    EXPECT_EQ(TIniFile(path("latin1.ini")).ReadString("S", "name", ""), "été");

    writeBytes(path("bom.ini"), "\xEF\xBB\xBF[S]\r\nk=v\r\n");
    TIniFile bom(path("bom.ini"));
    EXPECT_EQ(bom.ReadString("S", "k", ""), "v");
    bom.WriteString("S", "n", "w");
    ASSERT_TRUE(bom.UpdateFile());
    EXPECT_EQ(readBytes(path("bom.ini")), "[S]\r\nk=v\r\nn=w\r\n") << "line breaks kept";
}

TEST_F(IniFileTest, LineBreaksInValuesCannotBreakTheFile)
{
    TIniFile ini(path());
    ini.WriteString("S", "a", "one\ntwo\r\n[Evil]");
    ini.WriteString("S", "b", "next");
    ASSERT_TRUE(ini.UpdateFile());
    TIniFile back(path());
    EXPECT_FALSE(back.SectionExists("Evil"));
    EXPECT_EQ(back.ReadString("S", "b", ""), "next");
}

TEST_F(IniFileTest, GarbageFileReadsWithoutCrashing)
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 7919) % 256));
    writeBytes(path(), junk + "\n[S]\nk=1\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadInteger("S", "k", 0), 1);
}

TEST_F(IniFileTest, UnwritableLocationIsReportedNotThrown)
{
    writeBytes(path("plain-file"), "x");
    TIniFile ini(path("plain-file") + "/sub/test.ini");  // parent is a file, not a folder
    ini.WriteInteger("S", "k", 1);
    QString error;
    EXPECT_FALSE(ini.UpdateFile(&error));
    EXPECT_TRUE(error.contains("plain-file/sub/test.ini")) << error.toStdString();

    ASSERT_TRUE(QDir(dir.path()).mkdir("is-a-folder"));
    TIniFile folder(path("is-a-folder"));
    EXPECT_FALSE(folder.Exists());
    EXPECT_FALSE(folder.ReadError().isEmpty());
    folder.WriteInteger("S", "k", 1);
    EXPECT_FALSE(folder.UpdateFile(&error));
    EXPECT_TRUE(error.contains("is-a-folder")) << error.toStdString();
}

TEST_F(IniFileTest, ReadOnlyFolderKeepsTheUsersFile)
{
    const QString sub = dir.path() + "/ro";
    ASSERT_TRUE(QDir().mkdir(sub));
    const QString file = sub + "/system.dat";
    writeBytes(file, "[S]\nk=1\n");
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner);
    if (::access(sub.toLocal8Bit().constData(), W_OK) == 0) {
        QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    }
    TIniFile ini(file);
    ini.WriteInteger("S", "k", 2);
    QString error;
    EXPECT_FALSE(ini.UpdateFile(&error));
    EXPECT_TRUE(error.contains("system.dat"));
    EXPECT_EQ(readBytes(file), "[S]\nk=1\n");
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
