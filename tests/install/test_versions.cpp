// --version of the programs: the program's version, and for the converter the engine libraries
// as the loader bound them at run time (checked against ffprobe's own report), or why not.
#include "FFmpegLoader.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

const QString BuildBin = QStringLiteral(VORNIC_BUILD_DIR "/bin");

// Run-time versions as ffprobe reports them: "libavutil      57. 28.100 / 57. 28.100".
std::map<QString, QString> ProbeToolVersions()
{
    std::map<QString, QString> versions;
    const CommandResult r = RunCommand(QStringLiteral("ffprobe"), {QStringLiteral("-version")});
    const QRegularExpression line(QStringLiteral("^(lib\\w+)\\s+[\\d. ]+/\\s*(\\d+)\\.\\s*(\\d+)\\.\\s*(\\d+)\\s*$"),
                                  QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(r.out); it.hasNext();) {
        const auto m = it.next();
        versions[m.captured(1)] = QStringLiteral("%1.%2.%3").arg(m.captured(2), m.captured(3), m.captured(4));
    }
    return versions;
}

} // namespace

TEST(Versions, ConverterShowsTheEngineLibrariesItLoaded)
{
    const CommandResult r = RunCommand(BuildBin + QStringLiteral("/vornic-convert"), {QStringLiteral("--version")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << r.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("vornic-convert " VORNIC_VERSION));
    const std::map<QString, QString> expected = ProbeToolVersions();
    ASSERT_FALSE(expected.empty());
    for (const QString& line : lines.mid(1)) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        ASSERT_TRUE(expected.count(name)) << line.toStdString();
        EXPECT_EQ(line, name + QLatin1Char(' ') + expected.at(name));
    }
}

TEST(Versions, ConverterSaysWhyTheLibrariesAreNotLoaded)
{
    // A copy of the program whose "lib" folder holds a broken library: the loader takes the
    // folder's file first and fails on it.
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(BuildBin + QStringLiteral("/vornic-convert"), folder.filePath(QStringLiteral("vornic-convert"))));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("lib")));
    QFile broken(folder.filePath(QStringLiteral("lib/") + TFFmpegLoader::FileName(lkAVUtil)));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a library");
    broken.close();

    const CommandResult r = RunCommand(folder.filePath(QStringLiteral("vornic-convert")), {QStringLiteral("--version")});
    EXPECT_EQ(r.exitCode, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("vornic-convert " VORNIC_VERSION));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("engine libraries: not loaded (Load library ")));
    EXPECT_TRUE(lines[1].contains(TFFmpegLoader::FileName(lkAVUtil))) << lines[1].toStdString();

    // Any other command still fails on the same libraries.
    const CommandResult info = RunCommand(folder.filePath(QStringLiteral("vornic-convert")),
                                          {QStringLiteral("--info"), QStringLiteral("x.mp4")});
    EXPECT_EQ(info.exitCode, 1);
}

TEST(Versions, WizardAnswersWithoutADisplay)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    p.setProcessEnvironment(env);
    for (const QString& option : {QStringLiteral("--version"), QStringLiteral("--help")}) {
        p.start(BuildBin + QStringLiteral("/vornic"), {option});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << option.toStdString() << p.readAllStandardError().toStdString();
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(option == QLatin1String("--version") ? QStringLiteral("vornic " VORNIC_VERSION "\n")
                                                                        : QStringLiteral("Usage: vornic [FILE...]\n")))
            << out.toStdString();
    }
    // Other options are read once the toolkit has taken its own, on a display.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(BuildBin + QStringLiteral("/vornic"), {QStringLiteral("--bogus")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("vornic: unknown option: --bogus\n"));
}
