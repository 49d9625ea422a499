// Converting one file, timed: the engine's transcoder against the ffmpeg command line with the
// same settings, run alternately, for settings of the preset catalogue's kind.
//
//   vornic-bench-convert [--runs N] [--only NAME-PART] input.mp4 work-folder
//   vornic-bench-convert --rss staged|serial [--only NAME-PART] input work-folder
// The second form converts once in this process (with or without the stage threads) and prints
// the process's peak resident memory.
#include "BenchSupport.h"
#include "FFmpegLoader.h"
#include "FFmpegLogger.h"
#include "FFmpegPipeline.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

struct TTimes {
    double Wall = -1; // seconds
    double Cpu = -1;  // user + system seconds of every thread or child process
};

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TSetting {
    const char* Name;
    const char* Extension;
    std::vector<std::pair<QString, QString>> EngineOptions;
    QStringList CommandLine; // between the input and the output
};

std::vector<TSetting> Settings()
{
    return {
        {"MPEG-4 + MP3 AVI, 1500 kbit/s", "avi",
         {{"vcodec", "mpeg4"}, {"b", "1500000"}, {"acodec", "libmp3lame"}, {"ab", "128000"}},
         {"-c:v", "mpeg4", "-b:v", "1500k", "-c:a", "libmp3lame", "-b:a", "128k"}},
        {"H.264 320x240 fit + AAC", "mp4",
         {{"vcodec", "libx264"}, {"s", "320x180"}, {"padtop", "30"}, {"padbottom", "30"}, {"acodec", "aac"},
          {"ab", "128000"}},
         {"-vf", "scale=320:180:flags=bicubic,pad=320:240:0:30", "-c:v", "libx264", "-c:a", "aac", "-b:a", "128k"}},
        {"MPEG-2 + MP2, deinterlaced", "mpg",
         {{"vcodec", "mpeg2video"}, {"b", "4000000"}, {"deinterlace", "1"}, {"acodec", "mp2"}, {"ab", "192000"}},
         {"-vf", "yadif=mode=0:parity=-1:deint=1", "-c:v", "mpeg2video", "-b:v", "4000k", "-c:a", "mp2", "-b:a",
          "192k"}},
        {"MP3 256 kbit/s", "mp3",
         {{"vn", "1"}, {"acodec", "libmp3lame"}, {"ab", "256000"}},
         {"-vn", "-c:a", "libmp3lame", "-b:a", "256k"}},
    };
}

TTimes RunEngine(const TSetting& s, const QString& input, const QString& output, bool staged = true)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = CpuSeconds(RUSAGE_SELF);
    TFFmpegTranscoder t;
    t.StageThreads = staged;
    t.OnProgressReport = [](const TProgressInfo&) {};
    if (!t.OpenInput(input)) {
        std::fprintf(stderr, "engine: %s\n", qPrintable(t.ErrorText()));
        return {};
    }
    for (const auto& [name, value] : s.EngineOptions) t.SetOption(name, value);
    if (t.CreateOutput(output, false) < 0) {
        std::fprintf(stderr, "engine: %s\n", qPrintable(t.ErrorText()));
        return {};
    }
    try {
        t.Run();
    } catch (const FFmpegException& e) {
        std::fprintf(stderr, "engine: %s\n", qPrintable(e.Message()));
        return {};
    }
    return {timer.elapsed() / 1000.0, CpuSeconds(RUSAGE_SELF) - cpu};
}

TTimes RunCommandLine(const TSetting& s, const QString& input, const QString& output)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    QProcess process;
    process.start("ffmpeg", QStringList{"-v", "error", "-y", "-i", input} + s.CommandLine + QStringList{output});
    process.waitForFinished(-1);
    if (process.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg: %s\n", process.readAllStandardError().constData());
        return {};
    }
    return {timer.elapsed() / 1000.0, CpuSeconds(RUSAGE_CHILDREN) - cpu};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 5;
    QStringList args = TakeRunsOption(app.arguments().mid(1), runs);
    auto take = [&args](const QString& name) {
        const int at = args.indexOf(name);
        if (at < 0 || at + 1 >= args.size()) return QString();
        const QString value = args[at + 1];
        args.remove(at, 2);
        return value;
    };
    const QString only = take("--only");
    const QString rss = take("--rss");
    if (args.size() != 2 || (!rss.isEmpty() && rss != "staged" && rss != "serial")) {
        std::fprintf(stderr, "usage: vornic-bench-convert [--runs N] [--only NAME] [--rss staged|serial] input "
                             "work-folder\n");
        return 2;
    }
    const QString input = args[0];
    const QString work = args[1];
    QDir().mkpath(work);
    FFLoader().SetLibraryFolder({});
    if (!FFLoader().LoadLibraries(EngineLibrarySet)) {
        std::fprintf(stderr, "%s\n", qPrintable(FFLoader().LastError()));
        return 1;
    }
    FFLogger()->SetLogLevel(llQuiet);

    if (!rss.isEmpty()) {
        for (const TSetting& s : Settings()) {
            if (!only.isEmpty() && !QString(s.Name).contains(only)) continue;
            const TTimes t = RunEngine(s, input, work + "/rss." + s.Extension, rss == "staged");
            if (t.Wall < 0) return 1;
            rusage u{};
            getrusage(RUSAGE_SELF, &u);
            std::printf("%-32s %-7s wall %7.2f s  cpu %7.2f s  peak RSS %7.1f MB\n", s.Name, qPrintable(rss), t.Wall,
                        t.Cpu, u.ru_maxrss / 1024.0);
        }
        return 0;
    }

    std::printf("%-32s %9s %9s %7s %9s %9s %7s\n", "setting", "engine s", "ffmpeg s", "ratio", "eng cpu", "cli cpu",
                "ratio");
    int status = 0;
    for (const TSetting& s : Settings()) {
        if (!only.isEmpty() && !QString(s.Name).contains(only)) continue;
        const QString engineOut = work + "/engine." + s.Extension;
        const QString cliOut = work + "/cli." + s.Extension;
        std::vector<TTimes> engine, cli;
        for (int i = 0; i < runs; ++i) {
            // Alternate which one goes first so warm caches favour neither.
            if (i % 2 == 0) {
                engine.push_back(RunEngine(s, input, engineOut));
                cli.push_back(RunCommandLine(s, input, cliOut));
            } else {
                cli.push_back(RunCommandLine(s, input, cliOut));
                engine.push_back(RunEngine(s, input, engineOut));
            }
            if (engine.back().Wall < 0 || cli.back().Wall < 0) return 1;
        }
        auto median = [](const std::vector<TTimes>& v, double TTimes::*field) {
            std::vector<double> x;
            for (const TTimes& t : v) x.push_back(t.*field);
            return Median(x);
        };
        const double e = median(engine, &TTimes::Wall), c = median(cli, &TTimes::Wall);
        const double ec = median(engine, &TTimes::Cpu), cc = median(cli, &TTimes::Cpu);
        const double ratio = c > 0 ? e / c : 0;
        std::printf("%-32s %9.2f %9.2f %7.3f %9.2f %9.2f %7.3f  (sizes %lld / %lld bytes)\n", s.Name, e, c, ratio, ec,
                    cc, cc > 0 ? ec / cc : 0, (long long)QFileInfo(engineOut).size(), (long long)QFileInfo(cliOut).size());
        std::fflush(stdout);
        if (ratio > 1.05) status = 3;
    }
    return status;
}
