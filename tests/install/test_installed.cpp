// A staged install of this build: the layout, the desktop's validators, the man pages, and the
// installed programs run from folders of their own. Nothing may be written into the program's
// installed folder.
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

const QString Prefix = QStringLiteral("/usr");

struct TRun {
    int exitCode = -1;
    bool running = false; // still running when the wait ended (then killed)
    QString out, err;
};

TRun RunProgram(const QString& program, const QStringList& args, const QString& workingDir,
         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), int waitMs = 120000,
         bool expectRunning = false)
{
    TRun run;
    QProcess p;
    p.setWorkingDirectory(workingDir);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        run.err = QStringLiteral("cannot start ") + program;
        return run;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(waitMs)) {
        run.running = true;
        if (!expectRunning)
            run.err = QStringLiteral("timeout");
        p.kill();
        p.waitForFinished(10000);
    } else {
        run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err += QString::fromUtf8(p.readAllStandardError());
    return run;
}

// Every entry below a folder with its size and modification time.
QStringList Snapshot(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries << QStringLiteral("%1 %2 %3").arg(info.filePath()).arg(info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

QString Clip()
{
    return MediaFixture(QStringLiteral("install_clip.mp4"),
                        {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=44100", "-t", "1", "-c:v", "mpeg4", "-c:a", "aac"});
}

class Installed : public ::testing::Test {
protected:
    static inline std::unique_ptr<QTemporaryDir> stage;
    static inline QString installError;

    static void SetUpTestSuite()
    {
        stage = std::make_unique<QTemporaryDir>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), stage->path());
        const TRun r = RunProgram(QStringLiteral(VORNIC_CMAKE),
                           {QStringLiteral("--install"), QStringLiteral(VORNIC_BUILD_DIR), QStringLiteral("--prefix"), Prefix},
                           stage->path(), env);
        if (r.exitCode != 0)
            installError = r.out + r.err;
    }
    static void TearDownTestSuite() { stage.reset(); }

    void SetUp() override { ASSERT_EQ(installError.toStdString(), ""); }

    static QString Root() { return stage->path() + Prefix; }
    static QString AppFolder() { return Root() + QStringLiteral("/lib/vornic"); }
    static QString BuildBin() { return QStringLiteral(VORNIC_BUILD_DIR "/bin"); }
};

} // namespace

TEST_F(Installed, ProgramFolderHoldsWhatTheProgramsLookForBesideThemselves)
{
    QStringList programs{QStringLiteral("vornic"), QStringLiteral("vornic-convert")};
    if (QFileInfo::exists(BuildBin() + QStringLiteral("/vornic-download")))
        programs << QStringLiteral("vornic-download");
    for (const QString& program : programs) {
        const QFileInfo exe(AppFolder() + '/' + program);
        EXPECT_TRUE(exe.isFile() && exe.isExecutable()) << program.toStdString();
        // The command on the path is a relative link into the program's folder.
        const QFileInfo link(Root() + QStringLiteral("/bin/") + program);
        EXPECT_TRUE(link.isSymLink()) << program.toStdString();
        EXPECT_EQ(link.canonicalFilePath(), exe.canonicalFilePath()) << program.toStdString();
        EXPECT_TRUE(std::filesystem::read_symlink(link.filePath().toStdString()).is_relative()) << program.toStdString();
    }
    EXPECT_TRUE(QFileInfo(AppFolder() + QStringLiteral("/lame.dll")).isFile());
    for (const char* file : {"sounds/done.wav", "sounds/fail.wav", "sounds/res/main.bmp", "sounds/res1/toplogo.png",
                             "sounds/res2/bottom_4.bmp"})
        EXPECT_TRUE(QFileInfo(AppFolder() + '/' + QLatin1String(file)).isFile()) << file;

    // Whatever the build put into the "lib" folder (plug-ins, bundled libraries) goes along.
    QDir buildLib(BuildBin() + QStringLiteral("/lib"));
    for (const QString& name : buildLib.entryList(QDir::Files))
        EXPECT_TRUE(QFileInfo(AppFolder() + QStringLiteral("/lib/") + name).isFile()) << name.toStdString();

    // Build-only tools stay out.
    EXPECT_FALSE(QFileInfo::exists(AppFolder() + QStringLiteral("/vornic-screenshots")));
    EXPECT_FALSE(QFileInfo::exists(AppFolder() + QStringLiteral("/vornic-assetgen")));

    const QString id = QStringLiteral(VORNIC_APP_ID);
    EXPECT_TRUE(QFileInfo(Root() + QStringLiteral("/share/applications/") + id + QStringLiteral(".desktop")).isFile());
    EXPECT_TRUE(QFileInfo(Root() + QStringLiteral("/share/metainfo/") + id + QStringLiteral(".metainfo.xml")).isFile());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(Root() + QStringLiteral("/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(id));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }
}

TEST_F(Installed, DesktopEntryAndMetainfoPassTheValidators)
{
    const QString id = QStringLiteral(VORNIC_APP_ID);
    const TRun desktop = RunProgram(QStringLiteral("desktop-file-validate"),
                             {Root() + QStringLiteral("/share/applications/") + id + QStringLiteral(".desktop")},
                             stage->path());
    EXPECT_EQ(desktop.exitCode, 0) << (desktop.out + desktop.err).toStdString();
    EXPECT_EQ((desktop.out + desktop.err).trimmed().toStdString(), "");

    const TRun appstream = RunProgram(QStringLiteral("appstreamcli"),
                               {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                Root() + QStringLiteral("/share/metainfo/") + id + QStringLiteral(".metainfo.xml")},
                               stage->path());
    EXPECT_EQ(appstream.exitCode, 0) << (appstream.out + appstream.err).toStdString();
    EXPECT_FALSE(appstream.out.contains(QStringLiteral("W:")) || appstream.out.contains(QStringLiteral("E:")))
        << appstream.out.toStdString();
}

TEST_F(Installed, EveryManPageRenders)
{
    const QDir man(Root() + QStringLiteral("/share/man/man1"));
    QStringList pages = man.entryList({QStringLiteral("*.1.gz")}, QDir::Files);
    EXPECT_TRUE(pages.contains(QStringLiteral("vornic.1.gz")));
    EXPECT_TRUE(pages.contains(QStringLiteral("vornic-convert.1.gz")));
    if (QFileInfo::exists(BuildBin() + QStringLiteral("/vornic-download"))) {
        EXPECT_TRUE(pages.contains(QStringLiteral("vornic-download.1.gz")));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MANPAGER"), QStringLiteral("cat"));
    env.insert(QStringLiteral("PAGER"), QStringLiteral("cat"));
    env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    for (const QString& page : pages) {
        const TRun r = RunProgram(QStringLiteral("man"), {QStringLiteral("-l"), man.filePath(page)}, stage->path(), env);
        const QString program = page.chopped(5);
        EXPECT_EQ(r.exitCode, 0) << page.toStdString() << r.err.toStdString();
        EXPECT_EQ(r.err.trimmed().toStdString(), "") << page.toStdString(); // troff warnings mean broken markup
        EXPECT_TRUE(r.out.contains(QStringLiteral("SYNOPSIS")) && r.out.contains(QStringLiteral("DESCRIPTION")))
            << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(program + QStringLiteral(" [")) || r.out.contains(program + QStringLiteral(" -")))
            << page.toStdString() << ": no usage line\n" << r.out.toStdString();
        if (program == QLatin1String("vornic-convert")) {
            for (const char* option : {"--list-presets", "--format", "--preset", "--output-dir", "--join", "--version"})
                EXPECT_TRUE(r.out.contains(QLatin1String(option))) << option;
        }
    }
}

TEST_F(Installed, ConverterRunsFromAnotherFolder)
{
    QTemporaryDir work;
    const QString converter = Root() + QStringLiteral("/bin/vornic-convert");
    const TRun version = RunProgram(converter, {QStringLiteral("--version")}, work.path());
    ASSERT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("vornic-convert " VORNIC_VERSION "\n"))) << version.out.toStdString();
    EXPECT_FALSE(version.out.contains(QStringLiteral("not loaded"))) << version.out.toStdString();

    const QString clip = Clip();
    ASSERT_TRUE(QFile::copy(clip, work.filePath(QStringLiteral("clip.mp4"))));
    const TRun convert = RunProgram(converter, {QStringLiteral("--format"), QStringLiteral("mp3"), QStringLiteral("--preset"),
                                         QStringLiteral("0"), QStringLiteral("clip.mp4")}, work.path());
    ASSERT_EQ(convert.exitCode, 0) << convert.err.toStdString();
    EXPECT_EQ(ProbeValue(work.filePath(QStringLiteral("clip.mp3")), QStringLiteral("stream=codec_name"),
                         QStringLiteral("a:0")), QStringLiteral("mp3"));
}

TEST_F(Installed, WizardKeepsItsSettingsPerUserAndNeverWritesIntoItsFolder)
{
    QTemporaryDir work, home;
    const QString clip = Clip();
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("config"))); // as on any desktop
    const QStringList before = Snapshot(AppFolder());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    // A runtime folder of its own: a wizard already running for this user would take the file.
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // A few seconds of the wizard with a file from the command line, the way "Open with" starts it.
    const TRun wizard = RunProgram(Root() + QStringLiteral("/bin/vornic"), {clip}, work.path(), env, 4000, true);
    EXPECT_TRUE(wizard.running) << "ended early: " << wizard.exitCode << ' ' << wizard.err.toStdString();

    // The default edition's title names the settings folder.
    EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("config/vornic/system.dat"))).isFile());
    EXPECT_EQ(Snapshot(AppFolder()), before);
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}
