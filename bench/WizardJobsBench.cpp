// One batch through the wizard's own run: the files are added on Step1, the audio class with
// MP3 preset 2 is chosen, and Next on Step2 runs the conversion to Step4 with the setting of
// files at once left at its default (or --jobs N). Prints one line for bench/wizard_jobs_bench.sh:
//
//   wall=<seconds from Next on Step2 to Step4> stall=<longest main-thread gap, ms>
//   stall_at=<seconds into the run it began> jobs=<n> ok=<files>
//
//   vornic-bench-wizard-jobs <build bin folder> <output folder> [--jobs N] <file>...
//
// Runs offscreen with the real engine; the program folder and the settings live in a
// temporary folder. The stall is the longest gap between the ticks of a 10 ms timer on the
// main thread during the run: the longest time the window could not repaint or take a click.
#include "AppSettings.h"
#include "BenchSupport.h"
#include "Log.h"
#include "Main.h"
#include "MainThread.h"
#include "PageStep1.h"
#include "PageSummary.h"
#include "PresetCatalogue.h"
#include "StallMeter.h"
#include "UtilFuncs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

bool PrepareFolder(const QString& binDir, const QString& appDir)
{
    return PrepareProgramFolder(binDir, appDir,
                                "[SYSTEM]\nName=WizardJobs\nDownload=0\nAVI=1\nMP3=1\nDefaultClass=2\nDefaultAudio=1\n");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: vornic-bench-wizard-jobs <build bin folder> <output folder> [--jobs N] <file>...\n");
        return 2;
    }
    const QString binDir = args.takeFirst();
    const QString outputs = QDir(args.takeFirst()).absolutePath();
    int jobs = -1; // the default of a fresh settings file
    if (args.size() >= 2 && args[0] == QLatin1String("--jobs")) {
        jobs = args[1].toInt();
        args = args.mid(2);
    }
    const QStringList files = args;

    QTemporaryDir work;
    const QString appDir = work.filePath(QStringLiteral("app"));
    for (const QString& dir : {appDir, outputs, work.filePath("config"), work.filePath("Documents")})
        QDir().mkpath(dir);
    if (!PrepareFolder(binDir, appDir)) {
        std::fprintf(stderr, "cannot prepare the program folder in %s\n", qPrintable(work.path()));
        return 1;
    }
    SetShellFolderOverride(QStringLiteral("AppData"), work.filePath(QStringLiteral("config")));
    SetShellFolderOverride(QStringLiteral("Personal"), work.filePath(QStringLiteral("Documents")));

    TFormLog formLog;
    TFormMain window(appDir, &formLog);
    window.show();
    QCoreApplication::processEvents();
    AppSettings.OutputFileDir = outputs + u'/';
    AppSettings.OutputFormatClass = fcAudio;
    AppSettings.OutputAudioFormat = 1; // MP3
    AppSettings.OutputMP3Preset = 2;   // 48000 Hz, stereo, 256 kbps
    if (jobs >= 0)
        AppSettings.ConversionJobs = jobs;

    window.ShowPage(wpStep1);
    window.PageStep1->AddInputFiles(files);
    if (!window.PageStep1->WaitForAdd(300000) || window.PageStep1->RowCount() != files.size()) {
        std::fprintf(stderr, "only %d of %lld files were added\n", window.PageStep1->RowCount(),
                     static_cast<long long>(files.size()));
        return 1;
    }

    TStallMeter meter;
    QElapsedTimer clock;
    window.ActionNextExecute(); // Step2
    meter.Start();
    clock.start();
    window.ActionNextExecute(); // Step3: the run starts
    const bool ended = WaitServicingEvents([&] { return window.CurrentPage() == wpStep4; }, 1800000);
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    meter.Stop();
    const double stall = meter.Longest();
    if (!ended) {
        std::fprintf(stderr, "the run did not reach the summary\n");
        return 1;
    }
    std::printf("wall=%.3f stall=%.1f stall_at=%.2f jobs=%d ok=%s\n", wall, stall, meter.LongestAt(),
                ConversionJobsForRun(AppSettings.ConversionJobs),
                qPrintable(window.PageStep4->LabelSucceeded->text()));
    window.close();
    SetShellFolderOverride(QStringLiteral("AppData"), QString());
    SetShellFolderOverride(QStringLiteral("Personal"), QString());
    return 0;
}
