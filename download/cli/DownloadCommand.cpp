#include "DownloadCommand.h"

#include "CliProgress.h"
#include "DownloadRun.h"
#include "LinkList.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>

namespace {

// A bar redrawn for every piece of the body would cost more than the transfer itself.
constexpr qint64 RedrawIntervalMs = 100;
// Progress comes at most every 30 ms and once this much has arrived: small enough that the
// bar moves four times a second from 64 KB/s, while a fast link costs only the 30 ms rate.
constexpr int MediaPieceBytes = 16 * 1024;

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

} // namespace

// One link of the command line and what became of it. Lines are written in the order of
// the links, each as soon as it and every link before it are done.
struct TLinkResult {
    QString Link;
    int Row = -1;          // its row of the run; -1 when refused
    bool Done = false;
    bool Saved = false;
    QString Line;
    QString Path;
};

struct TDownloadCommand::TState {
    const TDownloadArguments& Arguments;
    QString OutputDir;
    TCliDisplay& Display;
    std::FILE* Out;
    TDownloadRun Run;
    QEventLoop Loop;
    QElapsedTimer SinceRedraw;
    QVector<TLinkResult> Results;
    int Reported = 0;
    int Saved = 0;
    bool Finished = false;
    bool Cancelled = false;

    TState(const TDownloadArguments& arguments, const QString& outputDir, TCliDisplay& display, std::FILE* out)
        : Arguments(arguments), OutputDir(outputDir), Display(display), Out(out)
    {
    }

    static void Fail(TLinkResult& result, const QString& reason)
    {
        result.Done = true;
        result.Line = QStringLiteral("FAILED  %1: %2").arg(result.Link, reason);
    }

    void Flush()
    {
        for (; Reported < Results.size() && Results[Reported].Done; ++Reported) {
            const TLinkResult& result = Results[Reported];
            Display.Line(result.Line);
            if (!result.Saved)
                continue;
            ++Saved;
            std::fputs(Shown(result.Path).toUtf8().constData(), Out);
            std::fputc('\n', Out);
            std::fflush(Out);
        }
    }

    void RowEnded(int index, bool saved)
    {
        const auto it = std::find_if(Results.begin(), Results.end(), [index](const TLinkResult& r) { return r.Row == index; });
        if (it == Results.end() || it->Done)
            return;
        const TDownloadRow& row = Run.Rows()[index];
        if (saved) {
            it->Done = it->Saved = true;
            it->Path = row.SavedPath;
            it->Line = QStringLiteral("OK      %1 %2 -> %3").arg(row.Link, row.SavedQuality, Shown(row.SavedPath));
        } else {
            Fail(*it, row.Reasons.isEmpty() ? QStringLiteral("failed") : row.Reasons.join(QStringLiteral("; ")));
        }
        Flush();
    }

    void StatusChanged()
    {
        if (!Display.Terminal() || !Run.Running())
            return;
        if (SinceRedraw.isValid() && SinceRedraw.elapsed() < RedrawIntervalMs)
            return;
        SinceRedraw.start();
        const TDownloadStatusBox& box = Run.StatusBox();
        QString label = QStringLiteral("(%1/%2) %3").arg(Run.CurrentURLIndex + 1).arg(Run.TotalURLs).arg(box.CurrentFile);
        if (box.Speed != DownloadIdleText)
            label += QStringLiteral("  ") + box.Speed;
        Display.Progress(box.Progress, label, box.TimeLeft == DownloadIdleText ? QString() : box.TimeLeft);
    }
};

TDownloadCommand::TDownloadCommand(const TDownloadArguments& arguments, const QString& outputDir,
                                   TCliDisplay& display, std::FILE* out)
    : state_(std::make_unique<TState>(arguments, outputDir, display, out))
{
}

TDownloadCommand::~TDownloadCommand()
{
    state_->Run.Shutdown();
}

void TDownloadCommand::Cancel()
{
    TState& s = *state_;
    if (s.Finished)
        return;
    if (!s.Cancelled) {
        s.Cancelled = true;
        s.Run.Cancel();
        return;
    }
    // Asked again while the run winds down: stopped here, its temporary file removed.
    s.Run.Shutdown();
    s.Finished = true;
    s.Loop.quit();
}

int TDownloadCommand::Execute()
{
    TState& s = *state_;
    QStringList accepted;
    for (const QString& link : s.Arguments.Links) {
        TLinkResult result;
        result.Link = link;
        const QString refusal = LinkRefusal(link, accepted);
        if (refusal.isEmpty()) {
            result.Row = int(accepted.size());
            accepted << link;
        } else {
            TState::Fail(result, refusal);
        }
        s.Results << result;
    }
    s.Flush();

    if (!accepted.isEmpty() && !s.Cancelled) {
        TDownloadRun& run = s.Run;
        run.Settings.OutputURLDir = s.OutputDir;
        run.Settings.PreferYouTubeQuality = s.Arguments.PreferQuality;
        run.Settings.Slots = s.Arguments.Slots;
        run.Settings.SlotCount = s.Arguments.SlotCount;
        run.WinHTTPDownload.SetTransferBufferSize(MediaPieceBytes);
        run.OnRowEnded = [&s](QObject*, int row, bool saved) { s.RowEnded(row, saved); };
        run.OnStatusChanged = [&s](QObject*) { s.StatusChanged(); };
        run.OnFinished = [&s](QObject*) {
            s.Finished = true;
            s.Loop.quit();
        };
        run.FillDownloadList(accepted);
        run.StartDownloadRun();
        if (!s.Finished)
            s.Loop.exec();
        s.Display.Clear();
    }
    // Links the run did not reach before the cancel.
    for (TLinkResult& result : s.Results)
        if (!result.Done)
            TState::Fail(result, QStringLiteral("stopped"));
    s.Flush();

    const int total = int(s.Results.size());
    s.Display.Line(QStringLiteral("Downloaded %1 of %2 link(s).").arg(s.Saved).arg(total));
    if (s.Cancelled)
        return InterruptedExitStatus;
    return s.Saved == total ? 0 : 1;
}
