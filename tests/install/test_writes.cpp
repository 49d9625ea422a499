// What the engine writes on its own account lands in per-user or working folders, never
// beside the executable, which is read-only once installed.
#include "AppSettings.h"
#include "UtilFuncs.h"
#include "test_pipeline_support.h"

#include <QDir>
#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

QStringList StatisticsFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("vstats_*.log")}, QDir::Files);
}

// Encodes a short clip with the statistics option; answers the run's error text.
QString EncodeWithStatistics(const QString& output)
{
    TJob job;
    if (!job.Input(Clip(QStringLiteral("writes_src.avi"), 0.5, {"-c:v", "mpeg4"}, QStringLiteral("160x120"), false)))
        return job.Error;
    if (!job.Output(output, {{"vcodec", "mpeg4"}, {"an", "1"}, {"vstats", "1"}}))
        return job.Error;
    return job.Run();
}

class EngineWrites : public ::testing::Test {
protected:
    QString savedSettingsDir = SettingsDir;
    QString savedCurrent = QDir::currentPath();
    QTemporaryDir settings, current, outputs;
    const QString programFolder = QCoreApplication::applicationDirPath();
    QStringList besideProgram = StatisticsFiles(programFolder);

    void SetUp() override { LoadEngineLibraries(); }
    void TearDown() override
    {
        SettingsDir = savedSettingsDir;
        QDir::setCurrent(savedCurrent);
    }
};

} // namespace

TEST_F(EngineWrites, StatisticsGoToTheSettingsFolderElseTheCurrentFolder)
{
    SettingsDir = WithTrailingBackslash(settings.path());
    ASSERT_TRUE(QDir::setCurrent(current.path()));
    ASSERT_EQ(EncodeWithStatistics(outputs.filePath(QStringLiteral("a.avi"))).toStdString(), "");
    ASSERT_EQ(StatisticsFiles(settings.path()).size(), 1);
    EXPECT_GT(QFileInfo(settings.filePath(StatisticsFiles(settings.path()).front())).size(), 0);
    EXPECT_TRUE(StatisticsFiles(current.path()).isEmpty());

    // The command-line converter has no settings folder.
    SettingsDir.clear();
    ASSERT_EQ(EncodeWithStatistics(outputs.filePath(QStringLiteral("b.avi"))).toStdString(), "");
    EXPECT_EQ(StatisticsFiles(current.path()).size(), 1);

    EXPECT_EQ(StatisticsFiles(programFolder), besideProgram);
}
