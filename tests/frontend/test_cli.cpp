// The command-line converter as a user meets it: the built program run on generated media,
// with its exit status, its messages and the files it writes checked from outside.
#include "FFmpegLoader.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cwchar>
#include <string>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VORNIC_CONVERT
#error "VORNIC_CONVERT must name the built vornic-convert"
#endif

namespace {

const QString Program = QStringLiteral(VORNIC_CONVERT);

CommandResult RunProgram(const QStringList& args, const QString& workingDir = {}, const QString& program = Program)
{
    return RunCommand(program, args, 300000, workingDir);
}

QStringList Lines(const QString& text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString VideoClip()
{
    return MediaFixture(QStringLiteral("cli-video-320x240.mp4"),
                        {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=440:duration=2", "-c:v", "mpeg4", "-b:v", "400k", "-c:a", "aac",
                         "-shortest"});
}

QString SecondVideoClip()
{
    return MediaFixture(QStringLiteral("cli-video2-320x240.mp4"),
                        {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=3", "-f", "lavfi", "-i",
                         "sine=frequency=660:duration=3", "-c:v", "mpeg4", "-c:a", "aac", "-shortest"});
}

QString AudioClip()
{
    return MediaFixture(QStringLiteral("cli-audio.mp3"),
                        {"-f", "lavfi", "-i", "sine=frequency=300:duration=2", "-c:a", "libmp3lame", "-b:a", "96k"});
}

// Bytes no demuxer takes for media, under a media file's name.
QString CorruptFile(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("broken.mp4"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk.append(char((i * 7919 + 13) % 251));
        file.write(junk);
    }
    return path;
}

QString RedClip()
{
    return MediaFixture(QStringLiteral("cli-red-320x240.mp4"),
                        {"-f", "lavfi", "-i", "color=c=red:size=320x240:rate=25:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=880:duration=2", "-c:v", "mpeg4", "-c:a", "aac", "-shortest"});
}

// The picture at a time, shrunk to one pixel: its average colour as R, G, B.
QByteArray AverageColour(const QString& file, double seconds, const QString& workDir)
{
    const QString pixel = workDir + QStringLiteral("/pixel.rgb");
    RunCommand("ffmpeg", {"-v", "error", "-y", "-ss", QString::number(seconds), "-i", file, "-frames:v", "1",
                          "-vf", "scale=1:1", "-f", "rawvideo", "-pix_fmt", "rgb24", pixel});
    QFile f(pixel);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Reddish(const QByteArray& rgb)
{
    return rgb.size() == 3 && quint8(rgb[0]) > 180 && quint8(rgb[1]) < 80 && quint8(rgb[2]) < 80;
}

double Seconds(const QString& file)
{
    return ProbeValue(file, QStringLiteral("format=duration")).toDouble();
}

// The program with stdout sent to a file (or device), its status and standard error.
CommandResult RunWithOutputTo(const QStringList& args, const QString& stdoutFile)
{
    QProcess process;
    process.setStandardOutputFile(stdoutFile);
    process.start(Program, args);
    CommandResult r;
    if (!process.waitForFinished(300000))
        return r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

// The program on a pseudo-terminal of a fixed width; everything it wrote there and its status.
struct TerminalRun {
    int ExitCode = -1;
    QByteArray Output;
};

TerminalRun RunInTerminal(const QStringList& args, int columns, int timeoutMs)
{
    // argv is built before the fork: the child may only exec.
    std::vector<QByteArray> storage{Program.toLocal8Bit()};
    for (const QString& a : args)
        storage.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = 24;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    TerminalRun run;
    if (pid < 0)
        return run;
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    QElapsedTimer clock;
    clock.start();
    char buffer[4096];
    while (clock.elapsed() < timeoutMs) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 200) <= 0)
            continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO once the program has closed its side
        run.Output.append(buffer, n);
    }
    int status = 0;
    if (clock.elapsed() >= timeoutMs)
        kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(master);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A terminal that wraps as xterm does, with the C library's column widths (not ours) as the
// oracle: reports every bar row that reached the right edge and the rows left on screen.
struct TerminalScreen {
    int Columns = 80;
    std::vector<std::u32string> Rows{1};
    size_t Row = 0;
    int Col = 0;
    QStringList BarsAtTheEdge;

    void Feed(const QString& text)
    {
        for (char32_t c : text.toUcs4()) {
            if (c == U'\r') {
                Col = 0;
            } else if (c == U'\n') {
                NextRow();
            } else {
                int w = wcwidth(wchar_t(c));
                if (w < 0)
                    w = 1;
                if (Col + w > Columns)
                    NextRow();
                std::u32string& row = Rows[Row];
                if (int(row.size()) < Col + w)
                    row.resize(size_t(Col + w), U' ');
                row[size_t(Col)] = c;
                Col += w;
                if (Col >= Columns && !row.empty() && row[0] == U'[')
                    BarsAtTheEdge << QString::fromStdU32String(row);
            }
        }
    }
    void NextRow()
    {
        if (++Row >= Rows.size())
            Rows.emplace_back();
        Col = 0;
    }
};

} // namespace

TEST(CliTest, ListPresetsPrintsEveryPresetAsTabSeparatedLines)
{
    const CommandResult r = RunProgram({"--list-presets"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    const QStringList lines = Lines(r.out);
    EXPECT_EQ(lines.size(), 177);

    QStringList formats;
    int expectedIndex = 0;
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        if (formats.isEmpty() || formats.last() != fields[0]) {
            EXPECT_FALSE(formats.contains(fields[0])) << "formats come in one block each";
            formats << fields[0];
            expectedIndex = 0;
        }
        EXPECT_EQ(fields[1], QString::number(expectedIndex++)) << line.toStdString();
        EXPECT_FALSE(fields[2].isEmpty());
    }
    EXPECT_EQ(formats.size(), 24);
    EXPECT_EQ(formats.first(), QStringLiteral("AVI"));
    EXPECT_EQ(formats.last(), QStringLiteral("MP2"));
    EXPECT_TRUE(lines.contains(
        QStringLiteral("AVI\t0\tHD Video 720p: MPEG4 (DivX, XviD), 4500 kbps; Audio: MP3, 192 kbps")));
    EXPECT_TRUE(lines.contains(QStringLiteral("MP3\t1\tFor Media Player - MP3: 48000 Hz, Stereo, 128 kbps")));
    EXPECT_TRUE(lines.contains(QStringLiteral("MP4\t0\tApple iPod - (H.264, 320x240)")));
}

TEST(CliTest, BadArgumentsExitWithTwoAndTheUsageWithoutTouchingFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = VideoClip();
    struct Case {
        QStringList Args;
        const char* Message;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"--bogus"}, "unknown option: --bogus"},
        {{"--format", "mp5", "--preset", "0", clip}, "unknown format: \"mp5\""},
        {{"--format", "", "--preset", "0", clip}, "unknown format"},
        {{"--format", "mp3", "--preset", "one", clip}, "preset is not a number: \"one\""},
        {{"--format", "mp3", "--preset", "99", clip}, "out of range for MP3"},
        {{"--format", "mp3", "--preset", "-1", clip}, "out of range"},
        {{"--format", "mp3", clip}, "--format needs --preset"},
        {{"--format", "mp3", "--preset", "1"}, "no input files"},
        {{"--preset", "1", clip}, "--preset needs --format"},
        {{"--join", clip}, "--join needs --format"},
        {{"--jobs", "2", clip}, "--jobs needs --format"},
        {{"--format", "mp3", "--preset", "1", "--jobs", "0", clip}, "--jobs needs a number from 1 to 64 or \"auto\""},
        {{"--format", "mp3", "--preset", "1", "--jobs=many", clip}, "--jobs needs a number"},
        {{"--format"}, "--format needs a value"},
        {{"--info"}, "--info needs at least one file"},
        {{"--list-presets", clip}, "--list-presets takes no files"},
        {{"--info", "--list-presets"}, "cannot be combined"},
        {{"--info", clip, "--format", "mp3", "--preset", "1"}, "cannot be combined"},
        {{"--format", "mp3", "--preset", "1", clip, "--output-dir"}, "--output-dir needs a value"},
        {{"--format", "mp3", "--preset", "1", "--output-dir", dir.filePath("missing"), clip},
         "output folder does not exist"},
        // An existing file where a folder is wanted.
        {{"--format", "mp3", "--preset", "1", "--output-dir", clip, clip}, "output folder is not a folder"},
    };
    for (const Case& c : cases) {
        const CommandResult r = RunProgram(c.Args, dir.path());
        const std::string shown = c.Args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(c.Message))) << shown << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: vornic-convert"))) << shown;
        EXPECT_TRUE(r.out.isEmpty()) << shown << "\n" << r.out.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty())
        << "a refused command must write nothing";

    const CommandResult help = RunProgram({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage: vornic-convert")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("iPad")));
}

TEST(CliTest, InfoShowsTheInputListFactsOrTheProbeError)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video = VideoClip();
    const QString audio = AudioClip();
    const QString corrupt = CorruptFile(dir);

    CommandResult r = RunProgram({"--info", video, audio});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 8) << r.out.toStdString();
    EXPECT_EQ(lines[0], video);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("  Duration: 00:00:02"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("  Bit rate: "))) << lines[2].toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("  Dimension: 320 x 240"));
    EXPECT_EQ(lines[4], audio);
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("  Duration: 00:00:02"))) << lines[5].toStdString();
    EXPECT_EQ(lines[6], QStringLiteral("  Audio Bit rate: 96 Kbps"));
    EXPECT_TRUE(lines[7].startsWith(QStringLiteral("  Audio Encoder: mp3"))) << lines[7].toStdString();

    // One bad file among good ones: the facts of the others on standard output, each error on
    // standard error naming its file once, status 1.
    const QString missing = dir.filePath(QStringLiteral("no-such-file.avi"));
    r = RunProgram({"--info", corrupt, video, missing});
    EXPECT_EQ(r.exitCode, 1);
    lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_EQ(lines[0], video);
    EXPECT_EQ(lines[3], QStringLiteral("  Dimension: 320 x 240"));
    const QStringList errors = Lines(r.err);
    ASSERT_EQ(errors.size(), 2) << r.err.toStdString();
    EXPECT_TRUE(errors[0].startsWith("vornic-convert: " + corrupt + ": File load error: ")) << errors[0].toStdString();
    EXPECT_TRUE(errors[1].startsWith("vornic-convert: " + missing + ": File load error: ")) << errors[1].toStdString();
    EXPECT_EQ(errors[0].count(corrupt), 1) << "the file is named once";
    EXPECT_EQ(errors[1].count(missing), 1) << "the file is named once";
    EXPECT_TRUE(QFileInfo(corrupt).size() == 4096) << "the input must stay untouched";
}

TEST(CliTest, ConvertsEachFileWithThePresetAndNeverOverwrites)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QString video = VideoClip();
    const QString audio = AudioClip();

    // Format names without regard to case; MP3 preset 1 is 48000 Hz stereo 128 kbps.
    CommandResult r = RunProgram({"--format", "Mp3", "--preset", "1", "--output-dir", out, video, audio});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString videoMp3 = out + "/cli-video-320x240.mp3";
    const QString audioMp3 = out + "/cli-audio.mp3";
    EXPECT_EQ(Lines(r.out), QStringList({videoMp3, audioMp3}));
    EXPECT_TRUE(r.err.contains("OK      " + video + " -> " + videoMp3)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("OK      " + audio + " -> " + audioMp3)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Converted 2 of 2 file(s).")));
    EXPECT_FALSE(r.err.contains(QLatin1Char('\r'))) << "no progress bar off a terminal";
    EXPECT_FALSE(r.err.contains(QStringLiteral("File has been added"))) << "the run's log only with --verbose";
    for (const QString& file : {videoMp3, audioMp3}) {
        EXPECT_EQ(ProbeValue(file, "stream=codec_name", "a:0"), QStringLiteral("mp3"));
        EXPECT_EQ(ProbeValue(file, "stream=sample_rate", "a:0"), QStringLiteral("48000"));
        EXPECT_EQ(ProbeValue(file, "stream=channels", "a:0"), QStringLiteral("2"));
        EXPECT_TRUE(ProbeValue(file, "stream=codec_type").split('\n').contains("audio"));
        EXPECT_FALSE(ProbeValue(file, "stream=codec_type").contains("video"));
    }
    EXPECT_NEAR(Seconds(videoMp3), 2.0, 0.2);

    // The same conversion again: new names beside the old files, which stay as they were.
    const qint64 firstSize = QFileInfo(videoMp3).size();
    const QByteArray firstBytes = [&] { QFile f(videoMp3); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    r = RunProgram({"--format", "MP3", "--preset", "1", "--output-dir", out, "--verbose", video});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList again = Lines(r.out);
    ASSERT_EQ(again.size(), 1);
    EXPECT_NE(again[0], videoMp3);
    EXPECT_TRUE(QFileInfo::exists(again[0]));
    EXPECT_EQ(QFileInfo(videoMp3).size(), firstSize);
    QFile first(videoMp3);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), firstBytes);
    EXPECT_TRUE(r.err.contains(QStringLiteral("File has been added to convert list."))) << r.err.toStdString();

    // A device preset into the current folder: MP4 preset 0 is H.264 fitted into 320x240.
    r = RunProgram({"--format", "mp4", "--preset", "0", video}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString mp4 = dir.filePath(QStringLiteral("cli-video-320x240.mp4"));
    EXPECT_EQ(Lines(r.out), QStringList{mp4});
    EXPECT_EQ(ProbeValue(mp4, "stream=codec_name", "v:0"), QStringLiteral("h264"));
    EXPECT_EQ(ProbeValue(mp4, "stream=width", "v:0"), QStringLiteral("320"));
    EXPECT_EQ(ProbeValue(mp4, "stream=height", "v:0"), QStringLiteral("240"));
    EXPECT_EQ(ProbeValue(mp4, "stream=codec_name", "a:0"), QStringLiteral("aac"));
}

TEST(CliTest, AFailedFileGivesStatusOneWhileTheOthersConvert)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video = VideoClip();
    const QString second = SecondVideoClip();
    const QString corrupt = CorruptFile(dir);

    const CommandResult r = RunProgram({"--format", "wav", "--preset", "0", "--output-dir", dir.path(), video, corrupt, second});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QStringList outputs = Lines(r.out);
    ASSERT_EQ(outputs.size(), 2) << r.out.toStdString();
    for (const QString& output : outputs)
        EXPECT_EQ(ProbeValue(output, "format=format_name"), QStringLiteral("wav")) << output.toStdString();
    EXPECT_TRUE(r.err.contains("FAILED  " + corrupt + ": File load error: ")) << r.err.toStdString();
    EXPECT_EQ(r.err.count(corrupt), 1) << "the FAILED line names the file once: " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Converted 2 of 3 file(s).")));
    EXPECT_EQ(QFileInfo(corrupt).size(), 4096);
}

TEST(CliTest, JoinMakesOneOutputInInputOrderAndNothingWhenAPartIsUnreadable)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video = VideoClip();
    const QString second = SecondVideoClip();

    const QString red = RedClip();
    CommandResult r = RunProgram({"--format", "AVI", "--preset", "2", "--join", "--output-dir", dir.path(), video, red,
                                  second});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString joined = dir.filePath(QStringLiteral("Output_Merge.avi"));
    EXPECT_EQ(Lines(r.out), QStringList{joined});
    EXPECT_NEAR(Seconds(joined), Seconds(video) + Seconds(red) + Seconds(second), 0.3);
    EXPECT_EQ(ProbeValue(joined, "stream=width", "v:0"), QStringLiteral("320"));
    const QStringList inDir = QDir(dir.path()).entryList(QDir::Files);
    EXPECT_EQ(inDir, QStringList{QStringLiteral("Output_Merge.avi")});
    // The red part lies between the other two, as given.
    QTemporaryDir work;
    const double redStart = Seconds(video);
    EXPECT_FALSE(Reddish(AverageColour(joined, 1.0, work.path())));
    EXPECT_TRUE(Reddish(AverageColour(joined, redStart + 1.0, work.path())))
        << AverageColour(joined, redStart + 1.0, work.path()).toHex().toStdString();
    EXPECT_FALSE(Reddish(AverageColour(joined, redStart + Seconds(red) + 1.0, work.path())));

    const QString corrupt = CorruptFile(dir);
    r = RunProgram({"--format", "avi", "--preset", "2", "--join", "--output-dir", dir.path(), video, corrupt, second});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Nothing joined"))) << r.err.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no second join output";
}

TEST(CliTest, TerminalGetsAProgressBarWithTheTimeLeft)
{
    // script(1) gives the program a terminal; its output carries both streams.
    const QString script = QStringLiteral("/usr/bin/script");
    if (!QFileInfo::exists(script))
        GTEST_SKIP() << "script(1) is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = MediaFixture(QStringLiteral("cli-video-640x360-6s.mp4"),
                                      {"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25:duration=6", "-c:v",
                                       "mpeg4", "-q:v", "5"});
    const QString command = QStringLiteral("'%1' --format flv --preset 0 --output-dir '%2' '%3'")
                                .arg(Program, dir.path(), clip);
    // Without a terminal size of its own the pseudo terminal falls back to COLUMNS.
    const QByteArray oldColumns = qgetenv("COLUMNS");
    qputenv("COLUMNS", "48");
    const CommandResult r = RunCommand(script, {"-qec", command, "/dev/null"}, 300000);
    qputenv("COLUMNS", oldColumns);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    for (const QString& piece : r.out.split(QRegularExpression(QStringLiteral("[\r\n]")))) {
        if (piece.startsWith(QLatin1Char('['))) {
            EXPECT_LE(piece.size(), 47) << "a bar wider than the terminal wraps: " << piece.toStdString();
        }
    }
    EXPECT_TRUE(r.out.contains(QStringLiteral("\r["))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("#] 100%"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("time left "))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("OK      ") + clip)) << r.out.toStdString();
}

TEST(CliTest, WideFileNamesKeepTheBarOnOneTerminalRow)
{
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!utf8)
        GTEST_SKIP() << "no C.UTF-8 locale for the column oracle";
    const locale_t previous = uselocale(utf8);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = MediaFixture(QStringLiteral("cli-video-640x360-6s.mp4"),
                                      {"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25:duration=6", "-c:v",
                                       "mpeg4", "-q:v", "5"});
    const QString wide = dir.filePath(QStringLiteral("日本語のとても長いファイル名と絵文字🎬🎞️の動画クリップです.mp4"));
    ASSERT_TRUE(QFile::copy(clip, wide));

    const TerminalRun run = RunInTerminal({"--format", "flv", "--preset", "0", "--output-dir", dir.path(), wide}, 80,
                                          300000);
    const QString out = QString::fromUtf8(run.Output);
    ASSERT_EQ(run.ExitCode, 0) << out.toStdString();
    TerminalScreen screen;
    screen.Feed(out);
    uselocale(previous);
    freelocale(utf8);

    EXPECT_TRUE(screen.BarsAtTheEdge.isEmpty()) << "a bar reached the edge and wraps: "
                                                << screen.BarsAtTheEdge.join('\n').toStdString();
    bool wideBar = false;
    for (const QString& piece : out.split(QRegularExpression(QStringLiteral("[\r\n]"))))
        wideBar |= piece.startsWith(QLatin1Char('[')) && piece.contains(QStringLiteral("クリップです.mp4"));
    EXPECT_TRUE(wideBar) << "no bar showed the wide name: " << out.toStdString();
    for (const std::u32string& row : screen.Rows)
        EXPECT_NE(row.substr(0, 1), U"[") << "a stale bar is left on screen: " << QString::fromStdU32String(row).toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("OK      ") + wide)) << out.toStdString();
}

TEST(CliTest, FailuresOfTheRunAreStatusOneNeverASuccess)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString audio = AudioClip();

    // Folders that exist but take no file: a failed run, not a mistake in the arguments.
    QStringList unwritable{QStringLiteral("/proc")};
    const QString locked = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (::access(QFile::encodeName(locked).constData(), W_OK) != 0)
        unwritable << locked; // root writes everywhere
    for (const QString& folder : unwritable) {
        const CommandResult r = RunProgram({"--format", "mp3", "--preset", "1", "--output-dir", folder, audio});
        EXPECT_EQ(r.exitCode, 1) << folder.toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("cannot write into the output folder ") + folder))
            << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("Usage:"))) << r.err.toStdString();
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Results that cannot be written to standard output.
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QList<QStringList> commands{{"--list-presets"}, {"--help"}, {"--info", audio},
                                      {"--format", "mp3", "--preset", "1", "--output-dir", out, audio}};
    for (const QStringList& args : commands) {
        const CommandResult r = RunWithOutputTo(args, QStringLiteral("/dev/full"));
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("cannot write to standard output"))) << r.err.toStdString();
    }
}

TEST(CliTest, InterruptStopsTheRunAndRemovesTheIncompleteOutput)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString longClip = MediaFixture(QStringLiteral("cli-av-640x360-60s.mp4"),
                                          {"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25:duration=60", "-f",
                                           "lavfi", "-i", "sine=duration=60", "-c:v", "mpeg4", "-q:v", "8",
                                           "-c:a", "aac", "-shortest"});
    const QString inputs = dir.filePath(QStringLiteral("in"));
    const QString outputs = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(inputs) && QDir().mkpath(outputs));
    // Two long files converting at once and a third still waiting: all three stop.
    QStringList files;
    for (const char* name : {"first.mp4", "second.mp4", "third.mp4"}) {
        files << inputs + u'/' + QLatin1String(name);
        ASSERT_TRUE(QFile::copy(longClip, files.last()));
    }
    QProcess process;
    process.start(Program, QStringList{"--format", "mp4", "--preset", "5", "--jobs", "2", "--output-dir", outputs} + files);
    ASSERT_TRUE(process.waitForStarted(10000));
    // Wait until both outputs are being written.
    const auto writing = [&](const char* name) { return QFileInfo(outputs + u'/' + QLatin1String(name)).size() >= 10000; };
    for (int i = 0; i < 400 && !(writing("first.mp4") && writing("second.mp4")); ++i)
        QThread::msleep(50);
    ASSERT_EQ(process.state(), QProcess::Running) << "the conversion ended before it could be interrupted";
    EXPECT_TRUE(writing("first.mp4") && writing("second.mp4")) << "two files should convert at the same time";
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130) << "an interrupted run exits as shells expect of Ctrl+C";
    const QString err = QString::fromUtf8(process.readAllStandardError());
    for (const QString& file : files)
        EXPECT_TRUE(err.contains("FAILED  " + file + ": stopped")) << err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput()).isEmpty());
    EXPECT_TRUE(QDir(outputs).entryList(QDir::Files).isEmpty()) << "incomplete outputs are removed";
}

TEST(CliTest, EngineLibrariesThatCannotLoadAreAClearFailure)
{
    // A copy of the program beside a "lib" folder of broken libraries: no system fallback.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("vornic-convert"));
    ASSERT_TRUE(QFile::copy(Program, copy));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("lib"))));
    for (TLibraryKind kind : {lkAVUtil, lkAVCodec, lkAVFormat, lkAVFilter, lkSwScale, lkSwResample}) {
        QFile broken(dir.filePath(QStringLiteral("lib/") + TFFmpegLoader::FileName(kind)));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a shared library");
    }
    const QString clip = VideoClip();
    CommandResult r = RunProgram({"--format", "mp3", "--preset", "1", "--output-dir", dir.path(), clip}, {}, copy);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("the engine libraries cannot be loaded: "))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    r = RunProgram({"--info", clip}, {}, copy);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("the engine libraries cannot be loaded: ")));
    // The catalogue needs no engine.
    r = RunProgram({"--list-presets"}, {}, copy);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Lines(r.out).size(), 177);
}
