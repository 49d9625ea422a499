#include "DownloadRun.h"

#include "CookieStore.h"
#include "StalePartials.h"
#include "UtilFuncs.h"
#include "VideoPage.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// What a file created now would get: the temporary file is made private, the saved one follows
// the user's file-creation mask like any other new file.
QFile::Permissions NewFilePermissions()
{
    unsigned mask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                mask = line.mid(6).trimmed().toUInt(nullptr, 8);
    }
    QFile::Permissions p;
    const std::pair<unsigned, QFile::Permission> bits[] = {
        {0400, QFile::ReadOwner}, {0200, QFile::WriteOwner}, {0040, QFile::ReadGroup},
        {0020, QFile::WriteGroup}, {0004, QFile::ReadOther}, {0002, QFile::WriteOther}};
    for (const auto& [bit, permission] : bits)
        if (!(mask & bit))
            p |= permission;
    return p | QFile::ReadUser | (p & QFile::WriteOwner ? QFile::WriteUser : QFile::Permissions());
}

void SetUp(TWinHTTP& http, const TDownloadRunSettings& settings, const std::shared_ptr<TCookieStore>& cookies)
{
    http.AcceptTypes = QString::fromLatin1(TDownloadRun::AcceptTypes);
    http.Agent = QString::fromLatin1(TDownloadRun::Agent);
    http.InternetOptions = TInternetOptions{ioIgnoreCertificateInvalid, ioKeepConnection};
    http.ShowGoOnlineMessage = true;
    http.Timeouts.ConnectTimeout = settings.ConnectTimeoutMs;
    http.Timeouts.ReceiveTimeout = settings.ReceiveTimeoutMs;
    http.Timeouts.SendTimeout = settings.ReceiveTimeoutMs;
    // Each transfer holds the store until its handle is gone, even past the run.
    http.OnBeforeSendRequest = [cookies](QObject*, void* request) { cookies->Attach(request); };
}

} // namespace

TDownloadRun::TDownloadRun(QObject* owner) : QObject(owner), WinHTTPGetRealURL(this), WinHTTPDownload(this)
{
    ResetStatusBox();
    WinHTTPGetRealURL.OnProgress = [this](QObject*, const QString&, qint64 dataSize, qint64 bytesRead,
                                          qint64 elapsed, qint64, quint8, float, QIODevice*) {
        WinHTTPGetRealURLProgress(dataSize, bytesRead, elapsed);
    };
    WinHTTPGetRealURL.OnDone = [this](QObject*, const QString&, qint64, QIODevice* stream) {
        WinHTTPGetRealURLDone(stream);
    };
    WinHTTPGetRealURL.OnAnyError = [this](QObject*) { WinHTTPGetRealURLAnyError(); };
    WinHTTPGetRealURL.OnAborted = [this](QObject*) { WinHTTPGetRealURLAborted(); };
    // A stop asked of the header hand-over ends the transfer without an error event.
    WinHTTPGetRealURL.OnDoneInterrupted = [this](QObject*) { WinHTTPGetRealURLAnyError(); };

    WinHTTPDownload.OnProgress = [this](QObject*, const QString&, qint64 dataSize, qint64 bytesRead,
                                        qint64 elapsed, qint64 left, quint8 percent, float, QIODevice*) {
        WinHTTPDownloadProgress(dataSize, bytesRead, elapsed, left, percent);
    };
    WinHTTPDownload.OnDone = [this](QObject*, const QString&, qint64, QIODevice*) { WinHTTPDownloadDone(); };
    WinHTTPDownload.OnAnyError = [this](QObject*) { WinHTTPDownloadAnyError(); };
    WinHTTPDownload.OnAborted = [this](QObject*) { WinHTTPDownloadAborted(); };
    WinHTTPDownload.OnDoneInterrupted = [this](QObject*) { WinHTTPDownloadAnyError(); };
    WinHTTPDownload.OnHeaderInfo = [this](QObject*, int status, const QString& raw, const QString&, const QString&,
                                          const QString&, qint64 length, const QString&, const QDateTime&,
                                          const QDateTime&, const QDateTime&, const QString&, bool& goOn) {
        if (extracted_)
            ExtractedHeaderInfo(status, raw, length, goOn);
    };

    Extractor.setParent(this);
    Extractor.OnDone = [this](QObject*, const QByteArray& json) { ExtractorDone(json); };
    Extractor.OnFailed = [this](QObject*, const QString& reason) { ExtractorFailed(reason); };
    Merge.setParent(this);
    Merge.OnProgress = [this](QObject*, int percent) {
        ShowDownloadStatus({}, 0, {}, percent);
    };
    Merge.OnDone = [this](QObject*, bool ok, const QString& why) { MergeDone(ok, why); };
    retryTimer_.setSingleShot(true);
    QObject::connect(&retryTimer_, &QTimer::timeout, this, [this] { RequestRange(); });
}

TDownloadRun::~TDownloadRun() { Shutdown(); }

// ---- Start and end ------------------------------------------------------------------------

void TDownloadRun::FillDownloadList(const QStringList& links)
{
    rows_.clear();
    for (const QString& link : links) {
        TDownloadRow row;
        row.Name = link;
        row.Link = link;
        row.Status = QStringLiteral("Waiting...");
        row.Size = QStringLiteral("0 KB");
        row.Speed = QStringLiteral("0 KB/s");
        row.Progress = QStringLiteral("0%");
        row.URL = DownloadIdleText;
        rows_ << row;
    }
}

void TDownloadRun::StartDownloadRun()
{
    const auto cookies = std::make_shared<TCookieStore>();
    SetUp(WinHTTPGetRealURL, Settings, cookies);
    SetUp(WinHTTPDownload, Settings, cookies);
    WinHTTPGetRealURL.MaxMemoryStreamSize = Settings.MaxPageSize;
    // Media go to a file; only an error reply is kept in memory, and it is no bigger than a page.
    WinHTTPDownload.MaxMemoryStreamSize = Settings.MaxPageSize;
    RemoveStalePartials(Settings.OutputURLDir);
    TotalURLs = rows_.size();
    CurrentURLIndex = 0;
    SucceededURLs = 0;
    QualityIndex = 0;
    DownloadedFiles.clear();
    cancelled_ = false;
    shutdown_ = false;
    extracted_ = false;
    running_ = true;
    PostFetchCurrentPage();
}

void TDownloadRun::Cancel()
{
    if (!running_)
        return;
    cancelled_ = true;
    const bool busy = WinHTTPGetRealURL.Busy() || WinHTTPDownload.Busy();
    // The extractor, a merge and a pause before a range report nothing once stopped.
    Extractor.Cancel();
    Merge.Cancel();
    retryTimer_.stop();
    WinHTTPGetRealURL.Abort(false, false);
    WinHTTPDownload.Abort(false, false);
    // Between two rows nothing will report an abort: end here.
    if (!busy) {
        FinishDownloadRun();
        return;
    }
    // A component inside its completion (a cancel from a display handler) reports no abort: once
    // it has returned, end the run unless its abort did.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (running_ && cancelled_ && !WinHTTPGetRealURL.Busy() && !WinHTTPDownload.Busy())
                FinishDownloadRun();
        },
        Qt::QueuedConnection);
}

void TDownloadRun::Shutdown()
{
    if (shutdown_)
        return;
    shutdown_ = true;
    running_ = false;
    Extractor.Cancel();
    Merge.Cancel();
    retryTimer_.stop();
    WinHTTPGetRealURL.Abort(true, true);
    WinHTTPDownload.Abort(true, true);
    ReleaseConnections();
    DiscardPartial();
}

bool TDownloadRun::CancelRequested()
{
    if (!cancelled_)
        return false;
    FinishDownloadRun();
    return true;
}

void TDownloadRun::FinishDownloadRun()
{
    retryTimer_.stop();
    ReleaseConnections();
    DiscardPartial();
    if (!running_)
        return;
    running_ = false;
    ResetStatusBox();
    if (OnFinished)
        OnFinished(this);
}

void TDownloadRun::GoOn()
{
    ++CurrentURLIndex;
    if (CurrentURLIndex >= rows_.size())
        FinishDownloadRun();
    else
        PostFetchCurrentPage();
}

void TDownloadRun::FailCurrentURL()
{
    ShowDownloadStatus(QStringLiteral("Failed."));
    if (ValidRow() && OnRowEnded)
        OnRowEnded(this, CurrentURLIndex, false);
    GoOn();
}

// ---- Continuations ------------------------------------------------------------------------

void TDownloadRun::PostFetchCurrentPage()
{
    QMetaObject::invokeMethod(this, &TDownloadRun::FetchCurrentPage, Qt::QueuedConnection);
}

void TDownloadRun::PostNextQuality()
{
    QMetaObject::invokeMethod(this, &TDownloadRun::NextQuality, Qt::QueuedConnection);
}

void TDownloadRun::FetchCurrentPage()
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    extracted_ = false;
    status_.CurrentFile = Row().Name;
    if (OnStatusChanged)
        OnStatusChanged(this);
    WinHTTPGetRealURL.URL = Row().Link;
    if (!WinHTTPGetRealURL.Read(false)) {
        Row().Reasons << QStringLiteral("page: the transfer could not start");
        FailCurrentURL();
    }
}

void TDownloadRun::NextQuality()
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    const int old = QualityIndex;
    QualityIndex = old + 1;
    if (QualityIndex > std::clamp(Settings.SlotCount, 1, LastQualityIndex)) {
        FailCurrentURL();
        return;
    }
    SetQualityLabel(QualityIndexTag(old, Settings.Slots) + QStringLiteral(" failed, try next: ") +
                    QualityIndexTag(QualityIndex, Settings.Slots));
    ResetProgress();
    if (extracted_)
        StartExtractedQuality();
    else
        StartMediaTransfer(Row().URL + QualityIndexSuffix(QualityIndex, Settings.Slots));
}

// ---- Page -----------------------------------------------------------------------------------

void TDownloadRun::WinHTTPGetRealURLProgress(qint64 dataSize, qint64 bytesRead, qint64 elapsed)
{
    ShowDownloadStatus(QStringLiteral("Getting real YouTube URLs, please wait..."), dataSize,
                       SpeedText(bytesRead, elapsed));
}

void TDownloadRun::WinHTTPGetRealURLDone(QIODevice* stream)
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    const QString page = PageText(stream ? stream->readAll() : QByteArray());
    if (!HasVideoParameters(page)) {
        ResolveByExtractor(QStringLiteral("the page has no video_id"));
        return;
    }
    Log(QStringLiteral("%1: resolved from the watch page").arg(Row().Link));
    Row().Name = DownloadRowName(GetYouTubeTitle(page));
    Row().URL = GetYouTubeRealURL(page);
    if (OnRowChanged)
        OnRowChanged(this, CurrentURLIndex);
    // The row's Name doubles an "&" for a mnemonic-reading label; the status box shows the title.
    status_.CurrentFile = GetYouTubeTitle(page);
    ShowDownloadStatus(QStringLiteral("Analyzing finished, ready to download..."));
    ResetProgress();
    if (Settings.PreferYouTubeQuality) {
        QualityIndex = 1;
        SetQualityLabel(QualityDescription(QualityIndexTag(1, Settings.Slots)));
        StartMediaTransfer(Row().URL + QualityIndexSuffix(1, Settings.Slots));
    } else {
        QualityIndex = 0;
        SetQualityLabel(DefaultQualityTag);
        StartMediaTransfer(Row().URL);
    }
}

void TDownloadRun::WinHTTPGetRealURLAnyError()
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    // Today's site may refuse the page fetch itself; the extractor knows its ways in.
    Row().Reasons << QStringLiteral("page: ") + WinHTTPGetRealURL.LastError();
    ResolveByExtractor(QStringLiteral("the page cannot be fetched: ") + WinHTTPGetRealURL.LastError());
}

void TDownloadRun::WinHTTPGetRealURLAborted() { FinishDownloadRun(); }

// ---- Media ----------------------------------------------------------------------------------

// The media streams into a hidden temporary file beside its final place, so memory stays
// flat and a half-done file never carries the video's name.
QString TDownloadRun::CreatePartial()
{
    QTemporaryFile temp(WithTrailingBackslash(Settings.OutputURLDir) + QStringLiteral(".vornic-XXXXXX.part"));
    temp.setAutoRemove(false);
    if (temp.open())
        return temp.fileName();
    // The component reports the folder that cannot be written as an output-file error.
    return WithTrailingBackslash(Settings.OutputURLDir) + QStringLiteral(".vornic-download.part");
}

void TDownloadRun::StartMediaTransfer(const QString& url)
{
    DiscardPartial();
    partial_ = CreatePartial();
    UseRequestHeaders({});
    ReleaseConnections();
    WinHTTPDownload.OutputFileAppend = false;
    WinHTTPDownload.Range = {};
    WinHTTPDownload.OutputFileName = partial_;
    WinHTTPDownload.URL = url;
    if (!WinHTTPDownload.Read(false)) {
        Row().Reasons << QualityIndexTag(QualityIndex, Settings.Slots) + QStringLiteral(": the transfer could not start");
        DiscardPartial();
        FailCurrentQuality();
    }
}

// The quality tried failed: the next one (queued, as a component may still be inside its
// completion), or the row fails when no preference is followed.
void TDownloadRun::FailCurrentQuality()
{
    if (Settings.PreferYouTubeQuality)
        PostNextQuality();
    else
        FailCurrentURL();
}

void TDownloadRun::DiscardPartial()
{
    for (const QString& part : std::as_const(parts_))
        QFile::remove(part);
    parts_.clear();
    if (partial_.isEmpty())
        return;
    QFile::remove(partial_);
    partial_.clear();
}

bool TDownloadRun::SaveMedia(QString& path, QString& why)
{
    const QString folder = WithTrailingBackslash(Settings.OutputURLDir);
    const QString extension = extracted_ ? choice_.Extension : QualityIndexExtension(QualityIndex, Settings.Slots);
    const QString fileName = DownloadFileName(Row().Name, extension);
    // The rename never replaces a file: a name taken meanwhile is retried with the next one.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString unique = MakeUniqueFileName(fileName, folder);
        if (unique.isEmpty())
            break;
        path = folder + unique;
        QFile part(partial_);
        if (part.rename(path)) {
            partial_.clear();
            QFile::setPermissions(path, NewFilePermissions());
            return true;
        }
        why = part.errorString();
        if (!QFile::exists(partial_))
            return false;
    }
    if (why.isEmpty())
        why = QStringLiteral("no free file name for \"%1\"").arg(fileName);
    return false;
}

void TDownloadRun::WinHTTPDownloadProgress(qint64 dataSize, qint64 bytesRead, qint64 elapsed, qint64 left,
                                           int percent)
{
    if (extracted_) {
        ExtractedProgress(bytesRead);
        return;
    }
    SetQualityLabel(QualityDescription(QualityIndexTag(QualityIndex, Settings.Slots)));
    ShowDownloadStatus(QStringLiteral("Downloading..."), dataSize, SpeedText(bytesRead, elapsed), percent, {},
                       elapsed, left);
}

void TDownloadRun::WinHTTPDownloadDone()
{
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    if (extracted_) {
        RangeEnded(true);
        return;
    }
    QString path, why;
    if (!SaveMedia(path, why)) {
        Row().Reasons << QualityIndexTag(QualityIndex, Settings.Slots) + QStringLiteral(": cannot save: ") + why;
        DiscardPartial();
        FailCurrentQuality();
        return;
    }
    RowSaved(path);
}

void TDownloadRun::RowSaved(const QString& path)
{
    DownloadedFiles << path;
    Row().SavedPath = path;
    Row().SavedQuality = CurrentTag();
    ShowDownloadStatus(QStringLiteral("Finish."));
    ++SucceededURLs;
    if (OnRowEnded)
        OnRowEnded(this, CurrentURLIndex, true);
    GoOn();
}

void TDownloadRun::WinHTTPDownloadAnyError()
{
    if (extracted_ && running_ && !cancelled_ && ValidRow()) {
        RangeEnded(false);
        return;
    }
    DiscardPartial();
    if (!running_ || CancelRequested() || !ValidRow())
        return;
    Row().Reasons << QualityIndexTag(QualityIndex, Settings.Slots) + QStringLiteral(": ") + WinHTTPDownload.LastError();
    FailCurrentQuality();
}

void TDownloadRun::WinHTTPDownloadAborted() { FinishDownloadRun(); }

QString TDownloadRun::CurrentTag() const { return QualityIndexTag(QualityIndex, Settings.Slots); }

void TDownloadRun::Log(const QString& line)
{
    if (OnLog)
        OnLog(this, line);
}

// The format's own request headers, or the program's own Agent when there are none.
void TDownloadRun::UseRequestHeaders(const QList<QPair<QByteArray, QByteArray>>& headers)
{
    WinHTTPDownload.Agent = QString::fromLatin1(Agent);
    WinHTTPDownload.AcceptTypes = QString::fromLatin1(AcceptTypes);
    WinHTTPDownload.AddHeaders.clear();
    for (const auto& [name, value] : headers) {
        const QString text = QString::fromUtf8(value);
        if (name.compare("User-Agent", Qt::CaseInsensitive) == 0)
            WinHTTPDownload.Agent = text;
        else if (name.compare("Accept", Qt::CaseInsensitive) == 0)
            WinHTTPDownload.AcceptTypes = text;
        else
            WinHTTPDownload.AddHeaders << QString::fromUtf8(name) + QStringLiteral(": ") + text;
    }
}

// ---- Display --------------------------------------------------------------------------------

QString TDownloadRun::SpeedText(qint64 bytesRead, qint64 elapsedSeconds)
{
    // Fractions count: 1.5 KB in the first second is 1.50 KB/s, not 1.00.
    double kb = double(bytesRead) / 1024.0;
    if (elapsedSeconds != 0)
        kb /= double(elapsedSeconds);
    return QString::number(kb, 'f', 2) + QStringLiteral(" KB/s");
}

void TDownloadRun::ShowDownloadStatus(const QString& status, qint64 dataSize, const QString& speed, int percent,
                                      const QString& url, qint64 elapsed, qint64 left)
{
    if (!ValidRow())
        return;
    TDownloadRow& row = Row();
    if (!status.isEmpty()) {
        row.Status = status;
        status_.Status = status;
    }
    if (dataSize != 0)
        row.Size = QString::number(double(dataSize) / 1048576.0, 'f', 2) + QStringLiteral("MB");
    if (!speed.isEmpty()) {
        row.Speed = speed;
        status_.Speed = speed;
    }
    if (percent != 0) {
        row.Progress = QString::number(percent) + QLatin1Char('%');
        status_.Progress = percent;
        status_.ProgressText = row.Progress;
    }
    if (!url.isEmpty())
        row.URL = url;
    if (elapsed != 0)
        status_.ElapsedTime = FormatSecondsLong(int(elapsed));
    if (left != 0)
        status_.TimeLeft = FormatSecondsLong(int(left));
    if (OnRowChanged)
        OnRowChanged(this, CurrentURLIndex);
    if (OnStatusChanged)
        OnStatusChanged(this);
}

void TDownloadRun::SetQualityLabel(const QString& text)
{
    status_.Quality = text;
    if (OnStatusChanged)
        OnStatusChanged(this);
}

void TDownloadRun::ResetProgress()
{
    status_.Progress = 0;
    status_.ProgressText = QStringLiteral("0%");
    if (OnStatusChanged)
        OnStatusChanged(this);
}

void TDownloadRun::ResetStatusBox()
{
    status_ = {};
    if (OnStatusChanged)
        OnStatusChanged(this);
}
