// How long the window's main thread stalls: a 10 ms timer ticks on it while the wizard adds
// 50 files to Step1, while it converts them with progress on Step3, and while it prepares a
// run of them and a DVD title (from Next until the first task converts); the longest gap
// between two ticks is the longest time the window could not repaint or take a click.
//
//   vornic-bench-ui-latency <build bin folder> <clip> [files] [DVD folder]
//
// With a DVD folder, also while the DVD dialog reads that disc's title sets.
//
// Runs offscreen with the real engine and a silent desktop (no dialog can block); settings,
// copies of the clip and the outputs live in a temporary folder.
#include "AppSettings.h"
#include "BenchSupport.h"
#include "ConversionRun.h"
#include "DVDInputRow.h"
#include "DVDPlugIn.h"
#include "DVDSelectFrm.h"
#include "DVDTitles.h"
#include "EngineComponent.h"
#include "FFmpegEngine.h"
#include "Log.h"
#include "Main.h"
#include "MainThread.h"
#include "PageStep1.h"
#include "StallMeter.h"
#include "UtilFuncs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool PrepareFolder(const QString& binDir, const QString& appDir)
{
    // Convert branch only; AVI preset 4 (MPEG-4 768 kbps at the source size) is the run.
    return PrepareProgramFolder(binDir, appDir,
                                "[SYSTEM]\nName=Latency\nDownload=0\nAVI=1\nMP3=1\nDefaultClass=0\nDefaultVideo=0\n");
}

// The DVD dialog reading every title set of root, as "Open DVD" does.
bool MeasureDVDDialog(TStallMeter& meter, const QString& binDir, const QString& root)
{
    if (!LoadDVDPlugIn(binDir + QStringLiteral("/lib"))) {
        std::fprintf(stderr, "%s\n", qPrintable(DVDPlugInError()));
        return false;
    }
    TfrmDVDSelect dialog;
    dialog.show();
    QCoreApplication::processEvents();
    meter.Start();
    const bool read = dialog.OpenRoot(WithTrailingBackslash(QFileInfo(root).absoluteFilePath()));
    // A few more ticks, so a read that held the thread to its end shows as a gap too.
    QEventLoop settle;
    QTimer::singleShot(30, &settle, &QEventLoop::quit);
    settle.exec();
    meter.Stop();
    meter.Print("DVD dialog reading the title sets");
    if (!read)
        std::fprintf(stderr, "the DVD dialog found no titles in %s\n", qPrintable(root));
    return read;
}

// Title 1 of a DVD folder, whole, as the DVD dialog adds it; false with *error.
bool DVDTitleRow(const QString& root, TInputFacts& facts, QString* error)
{
    if (!RequireDVDPlugIn(error))
        return false;
    TDVDTitleInfo info;
    if (EnumDVDTitles(root) <= 0 || !GetDVDTitle(0, info)) {
        *error = QStringLiteral("no title in ") + root;
        return false;
    }
    TDVDSelection s;
    s.Root = root;
    s.TitleIndex = 0;
    s.FirstChapter = 0;
    s.LastChapter = std::max(info.ChapterCount, 1) - 1;
    const std::vector<TDVDStreamItem> audio = DVDAudioItems(info);
    if (!audio.empty()) {
        s.AudioID = audio.front().ID;
        s.AudioText = audio.front().Text;
    }
    s.Length = DVDChapterRangeLength(info, s.FirstChapter, s.LastChapter);
    facts = DVDTitleFacts(s, &info);
    return true;
}

// The longest stall while a run of the files and a DVD title is prepared: every input is
// probed and opened and its output made before the first task converts. The run is stopped
// once it converts, and the wizard goes back to its start.
bool MeasureRunPreparation(TFormMain& window, TStallMeter& meter, const QStringList& files, const QString& dvdRoot)
{
    window.ShowPage(wpStep1);
    window.PageStep1->ClearInputList();
    window.PageStep1->AddInputFiles(files);
    if (!window.PageStep1->WaitForAdd(300000))
        return false;
    int expected = int(files.size());
    if (!dvdRoot.isEmpty()) {
        TInputFacts facts;
        QString error;
        if (!DVDTitleRow(dvdRoot, facts, &error)) {
            std::fprintf(stderr, "DVD title: %s\n", qPrintable(error));
            return false;
        }
        window.PageStep1->AppendRow(facts, QImage());
        ++expected;
    }
    TConversionRun& run = window.ConversionRun();
    TFFmpegEngine& engine = window.Engine().FFmpegEngine();
    meter.Start();
    window.ActionNextExecute(); // Step2
    window.ActionNextExecute(); // Step3: the run is prepared, then starts
    const bool started = WaitServicingEvents([&] { return engine.Working() || window.CurrentPage() == wpStep4; }, 300000);
    meter.Stop();
    meter.Print(dvdRoot.isEmpty() ? "preparing a run (files)" : "preparing a run (files + DVD title)");
    const int rows = int(run.Rows().size());
    run.Stop();
    const bool ended = WaitServicingEvents([&] { return window.CurrentPage() == wpStep4; }, 300000);
    window.ActionNextExecute(); // Finish
    if (!started || !ended || rows != expected) {
        std::fprintf(stderr, "the run was prepared with %d of %d rows\n", rows, expected);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: vornic-bench-ui-latency <build bin folder> <clip> [files] [DVD folder]\n");
        return 2;
    }
    const QString binDir = args[1];
    const QString clip = args[2];
    const int count = args.size() > 3 ? std::max(1, args[3].toInt()) : 50;
    const QString dvdRoot = args.size() > 4 ? args[4] : QString();

    QTemporaryDir work;
    const QString appDir = work.filePath(QStringLiteral("app"));
    const QString inputs = work.filePath(QStringLiteral("in"));
    const QString outputs = work.filePath(QStringLiteral("out"));
    for (const QString& dir : {appDir, inputs, outputs, work.filePath("config"), work.filePath("Documents")})
        QDir().mkpath(dir);
    if (!PrepareFolder(binDir, appDir)) {
        std::fprintf(stderr, "cannot prepare the program folder in %s\n", qPrintable(work.path()));
        return 1;
    }
    SetShellFolderOverride(QStringLiteral("AppData"), work.filePath(QStringLiteral("config")));
    SetShellFolderOverride(QStringLiteral("Personal"), work.filePath(QStringLiteral("Documents")));
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << QStringLiteral("%1/clip_%2.%3").arg(inputs).arg(i, 2, 10, QLatin1Char('0')).arg(QFileInfo(clip).suffix());
        QFile::copy(clip, files.last());
    }

    TFormLog formLog;
    TFormMain window(appDir, &formLog);
    window.show();
    QCoreApplication::processEvents();
    AppSettings.OutputFileDir = outputs + u'/';
    AppSettings.OutputAVIPreset = 4;

    std::printf("%d copies of %s, offscreen\n", count, qPrintable(QFileInfo(clip).fileName()));
    std::printf("%-34s %11s %12s %12s %7s %11s %11s\n", "phase", "longest", "99th", "median", ">100ms", "duration",
                "longest at");
    TStallMeter meter;

    window.ShowPage(wpStep1);
    meter.Start();
    window.PageStep1->AddInputFiles(files);
    const bool added = window.PageStep1->WaitForAdd(300000);
    meter.Stop();
    meter.Print("adding files to Step1");
    if (!added || window.PageStep1->RowCount() != count) {
        std::fprintf(stderr, "only %d of %d rows were added\n", window.PageStep1->RowCount(), count);
        return 1;
    }

    meter.Start();
    window.ActionNextExecute(); // Step2
    window.ActionNextExecute(); // Step3: the run starts
    const bool ended = WaitServicingEvents([&] { return window.CurrentPage() == wpStep4; }, 900000);
    meter.Stop();
    meter.Print("converting with progress on Step3");
    if (!ended) {
        std::fprintf(stderr, "the run did not reach the summary\n");
        return 1;
    }
    if (args.size() > 4 && !MeasureDVDDialog(meter, binDir, args[4]))
        return 1;
    std::printf("log window lines: %lld\n", static_cast<long long>(formLog.Lines().size()));
    window.ActionNextExecute(); // Finish
    if (!MeasureRunPreparation(window, meter, files, dvdRoot))
        return 1;
    window.close();
    SetShellFolderOverride(QStringLiteral("AppData"), QString());
    SetShellFolderOverride(QStringLiteral("Personal"), QString());
    return 0;
}
