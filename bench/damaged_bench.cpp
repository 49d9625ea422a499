// Converting a damaged file, timed: the engine (on a worker thread, every log line delivered to a
// handler on the main thread, as the log window gets them) against the ffmpeg command line
// printing its own messages, run alternately.
//
//   vornic-bench-damaged [--runs N] damaged-input work-folder
#include "BenchSupport.h"
#include "FFmpegLoader.h"
#include "FFmpegLogger.h"
#include "FFmpegPipeline.h"
#include "MainThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const QStringList CodecArgs{"-c:v", "mpeg4", "-q:v", "5", "-c:a", "mp2"};

// Seconds, or -1 on failure; lines counts what reached the main thread.
double RunEngine(const QString& input, const QString& output, int& lines)
{
    QStringList log;
    FFLogger()->OnLog = [&log](QObject*, std::uint32_t id, TLogLevel level, const QString& message) {
        log << FormatLogLine(id, level, message);
    };
    QElapsedTimer timer;
    timer.start();
    std::atomic<bool> done{false};
    bool ok = true;
    std::thread worker([&] {
        TFFmpegTranscoder t;
        t.OnProgressReport = [](const TProgressInfo&) {};
        ok = t.OpenInput(input);
        for (int i = 0; ok && i + 1 < CodecArgs.size(); i += 2) {
            const QString name = CodecArgs[i] == "-c:v" ? "vcodec" : CodecArgs[i] == "-c:a" ? "acodec" : "qscale";
            t.SetOption(name, CodecArgs[i + 1]);
        }
        ok = ok && t.CreateOutput(output, false) >= 0;
        try {
            if (ok) t.Run();
        } catch (const FFmpegException& e) {
            std::fprintf(stderr, "engine: %s\n", qPrintable(e.Message()));
            ok = false;
        }
        done = true;
    });
    WaitServicingEvents([&] { return done.load(); }, -1, 5);
    worker.join();
    QCoreApplication::processEvents(); // the last queued lines
    const double seconds = timer.elapsed() / 1000.0;
    FFLogger()->OnLog = nullptr;
    lines = int(log.size());
    return ok ? seconds : -1;
}

double RunCommandLine(const QString& input, const QString& output)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start("ffmpeg", QStringList{"-y", "-i", input} + CodecArgs + QStringList{output});
    process.waitForFinished(-1);
    return process.exitCode() == 0 ? timer.elapsed() / 1000.0 : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 5;
    const QStringList args = TakeRunsOption(app.arguments().mid(1), runs);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vornic-bench-damaged [--runs N] damaged-input work-folder\n");
        return 2;
    }
    QDir().mkpath(args[1]);
    FFLoader().SetLibraryFolder({});
    if (!FFLoader().LoadLibraries(EngineLibrarySet)) {
        std::fprintf(stderr, "%s\n", qPrintable(FFLoader().LastError()));
        return 1;
    }
    // What the application's log window asks for.
    FFLogger()->SetLogLevel(llDebug);
    FFLogger()->SetTriggerEventInMainThread(true);

    std::vector<double> engine, cli;
    int lines = 0;
    for (int i = 0; i < runs; ++i) {
        const QString e = args[1] + "/engine.avi", c = args[1] + "/cli.avi";
        if (i % 2 == 0) {
            engine.push_back(RunEngine(args[0], e, lines));
            cli.push_back(RunCommandLine(args[0], c));
        } else {
            cli.push_back(RunCommandLine(args[0], c));
            engine.push_back(RunEngine(args[0], e, lines));
        }
        if (engine.back() < 0 || cli.back() < 0) return 1;
    }
    const double e = Median(engine), c = Median(cli);
    std::printf("%-32s %9s %9s %7s %9s\n", "damaged input", "engine s", "ffmpeg s", "ratio", "log lines");
    std::printf("%-32s %9.2f %9.2f %7.3f %9d\n", "MPEG-2 TS -> MPEG-4 AVI", e, c, c > 0 ? e / c : 0, lines);
    return c > 0 && e / c > 1.2 ? 3 : 0;
}
