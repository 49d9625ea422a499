// The download run's way for pages of today's site: the extractor describes the video, the
// quality slots (or the extractor's own choice) pick its formats, the media come through our
// own transfer component in ranges, and separate video and audio parts are merged.
#include "DownloadRun.h"

#include "VideoPage.h"
#include "WinHTTPConnections.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// "bytes 0-99/1234": the length after the slash; -1 when it is not given.
qint64 RangeTotal(const QString& rawHeaders)
{
    static const QRegularExpression pattern(QStringLiteral(R"(content-range:\s*bytes\s+\d+-\d+/(\d+))"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(rawHeaders);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

qint64 FileSize(const QString& path) { return QFileInfo(path).size(); }

} // namespace

void TDownloadRun::ResolveByExtractor(const QString& why)
{
    extracted_ = true;
    Row().ByExtractor = true;
    Log(QStringLiteral("%1: resolved by the extractor (%2)").arg(Row().Link, why));
    ShowDownloadStatus(QStringLiteral("Getting real YouTube URLs, please wait..."));
    Extractor.TimeoutMs = Settings.ExtractorTimeoutMs;
    Extractor.Start(Row().Link);
}

void TDownloadRun::ExtractorFailed(const QString& reason)
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    Row().Reasons << QStringLiteral("extractor: ") + reason;
    Log(QStringLiteral("%1: the extractor failed: %2").arg(Row().Link, reason));
    FailCurrentURL();
}

void TDownloadRun::ExtractorDone(const QByteArray& json)
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    QString why;
    if (!ParseExtractedVideo(json, video_, &why)) {
        ExtractorFailed(why);
        return;
    }
    Row().Name = DownloadRowName(video_.Title);
    if (OnRowChanged)
        OnRowChanged(this, CurrentURLIndex);
    status_.CurrentFile = video_.Title;
    ShowDownloadStatus(QStringLiteral("Analyzing finished, ready to download..."));
    ResetProgress();

    // The slots are followed only when at least one of them names a format of this video.
    bool anySlot = false;
    if (Settings.PreferYouTubeQuality) {
        TMediaChoice unused;
        for (int position = 1; position <= std::clamp(Settings.SlotCount, 1, LastQualityIndex) && !anySlot; ++position)
            anySlot = MatchQualitySlot(video_, Settings.Slots[position - 1], unused);
    }
    if (anySlot) {
        QualityIndex = 1;
        SetQualityLabel(QualityDescription(CurrentTag()));
    } else {
        QualityIndex = 0;
        SetQualityLabel(DefaultQualityTag);
        if (Settings.PreferYouTubeQuality)
            Log(QStringLiteral("%1: no preferred quality among the video's formats; the extractor's choice \"%2\" is taken")
                    .arg(Row().Link, video_.ChosenId));
    }
    StartExtractedQuality();
}

// The quality at QualityIndex: its formats, or a failure that moves on as a failed download does.
void TDownloadRun::StartExtractedQuality()
{
    DiscardPartial();
    QString why;
    const bool found = QualityIndex == 0 ? ExtractorChoice(video_, choice_, &why)
                                         : MatchQualitySlot(video_, Settings.Slots[QualityIndex - 1], choice_);
    if (!found) {
        if (why.isEmpty())
            why = QStringLiteral("not among the video's formats");
        Row().Reasons << CurrentTag() + QStringLiteral(": ") + why;
        if (QualityIndex == 0)
            FailCurrentURL();
        else
            FailCurrentQuality();
        return;
    }
    StartChoice();
}

void TDownloadRun::StartChoice()
{
    Log(QStringLiteral("%1: %2 as format %3%4 into %5")
            .arg(Row().Link, CurrentTag(), choice_.Video.Id,
                 choice_.Merge ? QStringLiteral("+") + choice_.Audio.Id : QString(), choice_.Extension));
    partial_ = CreatePartial();
    if (choice_.Merge)
        parts_ << CreatePartial() << CreatePartial();
    choiceBytes_ = 0;
    choiceClock_.start();
    FetchPart(0);
}

void TDownloadRun::FetchPart(int part)
{
    part_ = part;
    offset_ = 0;
    total_ = -1;
    rangeEnd_ = 0;
    const TExtractedFormat& f = part == 0 ? choice_.Video : choice_.Audio;
    retries_ = 0;
    Row().URL = f.Url;
    if (OnRowChanged)
        OnRowChanged(this, CurrentURLIndex);
    UseRequestHeaders(f.Headers);
    // The ranges of one part share a connection, as long as the server keeps it open.
    ReleaseConnections();
    WinHTTPDownload.Connections = std::make_shared<TWinHTTPConnections>();
    PostRequestRange();
}

// Queued: the component that reported the last range is still inside its completion.
void TDownloadRun::PostRequestRange()
{
    QMetaObject::invokeMethod(this, &TDownloadRun::RequestRange, Qt::QueuedConnection);
}

// The next range of the part, or the rest of the current one from where it stopped.
void TDownloadRun::RequestRange()
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    const TExtractedFormat& f = part_ == 0 ? choice_.Video : choice_.Audio;
    const QString file = choice_.Merge ? parts_.value(part_) : partial_;
    offset_ = FileSize(file);
    asked_ = 0;
    TWinHTTPRange range;
    if (f.ChunkSize > 0) {
        if (offset_ >= rangeEnd_) {
            // A new range: its own three tries.
            rangeEnd_ = offset_ + f.ChunkSize;
            if (total_ > 0)
                rangeEnd_ = std::min(rangeEnd_, total_);
            retries_ = 0;
        }
        asked_ = rangeEnd_ - offset_;
        range.StartRange = quint64(offset_);
        range.EndRange = quint64(rangeEnd_ - 1);
    } else if (offset_ > 0) {
        range.StartRange = quint64(offset_);
    }
    rangeStatus_ = 0;
    rangeIgnored_ = false;
    WinHTTPDownload.URL = f.Url;
    WinHTTPDownload.OutputFileName = file;
    WinHTTPDownload.OutputFileAppend = true;
    WinHTTPDownload.Range = range;
    if (!WinHTTPDownload.Read(false))
        FailExtractedQuality(QStringLiteral("the transfer could not start"));
}

// Main thread, before any byte of the body is stored.
void TDownloadRun::ExtractedHeaderInfo(int status, const QString& rawHeaders, qint64 contentLength, bool& goOn)
{
    rangeStatus_ = status;
    if (status == 206) {
        const qint64 total = RangeTotal(rawHeaders);
        if (total >= 0)
            total_ = total;
    } else if (status == 200) {
        // The whole file: right for the first request, wrong after part of it is on disk.
        if (offset_ > 0) {
            rangeIgnored_ = true;
            goOn = false;
        } else if (contentLength > 0) {
            total_ = contentLength;
        }
    }
}

void TDownloadRun::ExtractedProgress(qint64 bytesRead)
{
    const qint64 have = offset_ + bytesRead;
    const qint64 elapsed = choiceClock_.isValid() ? choiceClock_.elapsed() / 1000 : 0;
    const qint64 fetched = choiceBytes_ + bytesRead;
    int percent = 0;
    qint64 left = 0;
    if (total_ > 0) {
        percent = int(std::clamp<qint64>(100 * have / total_, 0, 100));
        const double rate = elapsed > 0 ? double(fetched) / double(elapsed) : 0;
        left = rate > 0 ? qint64(double(total_ - have) / rate) : 0;
    }
    SetQualityLabel(QualityIndex == 0 ? DefaultQualityTag : QualityDescription(CurrentTag()));
    ShowDownloadStatus(QStringLiteral("Downloading..."), total_ > 0 ? total_ : have, SpeedText(fetched, elapsed),
                       percent, {}, elapsed, left);
}

void TDownloadRun::RangeEnded(bool ok)
{
    const QString file = choice_.Merge ? parts_.value(part_) : partial_;
    const qint64 size = FileSize(file);
    const qint64 gained = std::max<qint64>(0, size - offset_);
    choiceBytes_ += gained;
    if (rangeIgnored_) {
        FailExtractedQuality(QStringLiteral("the server sent the whole file for a byte range"));
        return;
    }
    if (!ok) {
        // Past the end: the last range ended exactly on the length we did not know.
        if (rangeStatus_ == 416 && total_ < 0 && size > 0) {
            PostPartDone();
            return;
        }
        const bool lasting = rangeStatus_ >= 400 && rangeStatus_ < 500 && rangeStatus_ != 408 && rangeStatus_ != 429;
        const QString why = WinHTTPDownload.LastError();
        if (lasting)
            FailExtractedQuality(why);
        else
            RetryRange(why);
        return;
    }
    const bool whole = rangeStatus_ == 200;
    if (whole || (total_ >= 0 && size >= total_) || (total_ < 0 && asked_ > 0 && gained < asked_) || asked_ == 0) {
        if (total_ >= 0 && size < total_) {
            RetryRange(QStringLiteral("the reply came short (%1 of %2 bytes)").arg(size).arg(total_));
            return;
        }
        PostPartDone();
        return;
    }
    if (gained < asked_) {
        RetryRange(QStringLiteral("the range came short (%1 of %2 bytes)").arg(gained).arg(asked_));
        return;
    }
    PostRequestRange();
}

void TDownloadRun::RetryRange(const QString& why)
{
    if (retries_ >= int(Settings.RangeRetryDelaysMs.size())) {
        FailExtractedQuality(why);
        return;
    }
    const int delay = Settings.RangeRetryDelaysMs[size_t(retries_)];
    ++retries_;
    Log(QStringLiteral("%1: %2; asked again from byte %3 in %4 ms (try %5)")
            .arg(Row().Link, why)
            .arg(FileSize(choice_.Merge ? parts_.value(part_) : partial_))
            .arg(delay)
            .arg(retries_));
    retryTimer_.start(delay);
}

// Queued as well: the next part, the merge and the save start with the component idle, so a
// cancel from any display handler meets nothing half-started.
void TDownloadRun::PostPartDone()
{
    QMetaObject::invokeMethod(this, &TDownloadRun::PartDone, Qt::QueuedConnection);
}

void TDownloadRun::PartDone()
{
    ReleaseConnections();
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    if (FileSize(choice_.Merge ? parts_.value(part_) : partial_) == 0) {
        FailExtractedQuality(QStringLiteral("the server sent no data"));
        return;
    }
    if (choice_.Merge && part_ == 0) {
        FetchPart(1);
        return;
    }
    if (choice_.Merge) {
        Merge.LibraryFolder = Settings.EngineLibraryFolder.isEmpty()
                                  ? QCoreApplication::applicationDirPath() + QStringLiteral("/lib")
                                  : Settings.EngineLibraryFolder;
        QString why;
        if (!Merge.Start(parts_.value(0), parts_.value(1), partial_, choice_.Extension, &why)) {
            FailExtractedQuality(QStringLiteral("cannot merge: ") + why);
            return;
        }
        // Shown once it runs, so a cancel from the display stops a merge that exists.
        ShowDownloadStatus(QStringLiteral("Merging video and audio..."));
        ResetProgress();
        return;
    }
    MergeDone(true, {});
}

void TDownloadRun::MergeDone(bool ok, const QString& why)
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    if (!ok) {
        FailExtractedQuality(QStringLiteral("cannot merge: ") + why);
        return;
    }
    // The parts are not needed once the one file is written.
    for (const QString& part : std::as_const(parts_))
        QFile::remove(part);
    parts_.clear();
    QString path, saveWhy;
    if (!SaveMedia(path, saveWhy)) {
        FailExtractedQuality(QStringLiteral("cannot save: ") + saveWhy);
        return;
    }
    RowSaved(path);
}

void TDownloadRun::FailExtractedQuality(const QString& why)
{
    ReleaseConnections();
    Row().Reasons << CurrentTag() + QStringLiteral(": ") + why;
    DiscardPartial();
    // The extractor's own choice is the last resort: nothing follows it.
    if (QualityIndex == 0)
        FailCurrentURL();
    else
        FailCurrentQuality();
}

void TDownloadRun::ReleaseConnections()
{
    if (!WinHTTPDownload.Connections)
        return;
    // A transfer that still has them out closes them when it ends.
    WinHTTPDownload.Connections->Close();
    WinHTTPDownload.Connections.reset();
}
