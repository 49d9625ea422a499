// Adding files to the input list, timed: the engine's probe (open, facts, thumbnail at half the
// duration) against the command-line tools doing the same (ffprobe, then ffmpeg -ss ... -frames:v 1).
//
//   vornic-bench-probe [--runs N] file...
#include "BenchSupport.h"
#include "AVProbe.h"
#include "FFmpegLoader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// One file the way the input list takes it. False when something failed.
bool AddWithProbe(TAVProbe& probe, const QString& file)
{
    if (!probe.LoadFile(file))
        return false;
    TFileStreamInfo info;
    probe.GetFileStreamInfo(info);
    TAudioStreamInfo audio;
    TVideoStreamInfo video;
    if (probe.FirstAudioStream() >= 0)
        probe.GetAudioStreamInfo(-1, audio);
    bool ok = true;
    if (probe.FirstVideoStream() >= 0) {
        probe.GetVideoStreamInfo(video);
        probe.Seek(0, info.Duration > 0 ? info.Duration / 2 : 0);
        TBitmap bitmap;
        ok = probe.DecodeNextFrame(-1) && probe.GetBitmap(bitmap);
    }
    probe.CloseFile();
    return ok;
}

QByteArray Run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(-1);
    return process.readAllStandardOutput();
}

bool AddWithTools(const QString& file)
{
    const QByteArray json = Run("ffprobe", {"-v", "error", "-show_format", "-show_streams", "-of", "json", file});
    const QJsonObject format = QJsonDocument::fromJson(json).object().value("format").toObject();
    const double duration = format.value("duration").toString().toDouble();
    QStringList args{"-v", "error"};
    if (duration > 0)
        args << "-ss" << QString::number(duration / 2, 'f', 6);
    args << "-i" << file << "-frames:v" << "1" << "-f" << "rawvideo" << "-pix_fmt" << "bgr24" << "-";
    return !json.isEmpty() && !Run("ffmpeg", args).isEmpty();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 5;
    const QStringList files = TakeRunsOption(app.arguments().mid(1), runs);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: vornic-bench-probe [--runs N] file...\n");
        return 2;
    }
    if (!FFLoader().LoadLibraries(EngineLibrarySet)) {
        std::fprintf(stderr, "%s\n", qPrintable(FFLoader().LastError()));
        return 1;
    }

    std::printf("%d files, %d runs (engine and tools alternate)\n", int(files.size()), runs);
    std::printf("%-5s %12s %12s %8s\n", "run", "engine ms", "tools ms", "ratio");
    std::vector<double> engineTimes, toolTimes;
    TAVProbe probe;
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        int failures = 0;
        for (const QString& f : files)
            failures += !AddWithProbe(probe, f);
        const double engine = timer.nsecsElapsed() / 1e6;
        timer.restart();
        for (const QString& f : files)
            failures += !AddWithTools(f);
        const double tools = timer.nsecsElapsed() / 1e6;
        if (failures)
            std::fprintf(stderr, "run %d: %d failed adds\n", run, failures);
        engineTimes.push_back(engine);
        toolTimes.push_back(tools);
        std::printf("%-5d %12.1f %12.1f %7.1fx\n", run, engine, tools, tools / engine);
    }
    const double e = Median(engineTimes), t = Median(toolTimes);
    std::printf("median %11.1f %12.1f %7.1fx  (tools time / engine time; per file %.1f ms vs %.1f ms)\n", e, t, t / e,
                e / files.size(), t / files.size());
    return 0;
}
