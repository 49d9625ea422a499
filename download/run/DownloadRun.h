#pragma once
// The download run: for each link, fetch its page, read title and media address, download the
// media in the preferred quality (falling back through the slots), save it under the title.
// Everything runs on the main thread as a chain of the two transfer components' events and
// two queued continuations. Displays (the wizard's Step6, the command-line downloader) follow
// the rows and the status box through the events.
#include "ExtractedVideo.h"
#include "Extractor.h"
#include "MediaMerge.h"
#include "WinHTTP.h"
#include "YouTubeQuality.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <array>

#include <functional>

struct TDownloadRow {
    QString Name, Status, Size, Speed, Progress, URL;   // the progress list's columns
    QString Link;             // as it came from the link list
    bool ByExtractor = false; // resolved by the extractor instead of the page's parameters
    QString SavedPath;        // when saved
    QString SavedQuality;     // tag of the quality that was saved
    QStringList Reasons;      // one line per failed step: "[HQ18]: The server answered ..."
};

// What every text of the status box shows when idle.
inline const QString DownloadIdleText = QStringLiteral("...");

// The status box; as constructed, the idle box.
struct TDownloadStatusBox {
    QString CurrentFile = DownloadIdleText, Status = DownloadIdleText, Speed = DownloadIdleText,
            ElapsedTime = DownloadIdleText, TimeLeft = DownloadIdleText, Quality = DownloadIdleText;
    int Progress = 0;
    QString ProgressText = QStringLiteral("0%");
};

struct TDownloadRunSettings {
    QString OutputURLDir;
    bool PreferYouTubeQuality = true;
    TPreferenceSlots Slots = DefaultPreferenceOrder;
    int SlotCount = PreferenceSlotCount;   // how many of Slots are tried, from the first
    // Finite, so a server that accepts and then goes silent fails its row in bounded time.
    quint32 ConnectTimeoutMs = 20000;
    quint32 ReceiveTimeoutMs = 30000;
    // The page is kept in memory; media stream to a file.
    qint64 MaxPageSize = 4 * 1024 * 1024;
    // The extractor's bound per link.
    int ExtractorTimeoutMs = TExtractorProcess::DefaultTimeoutMs;
    // Pauses before a range is asked again; their count is the number of new tries.
    std::array<int, 3> RangeRetryDelaysMs{1000, 2000, 4000};
    // Where the merge finds the engine libraries when nobody loaded them yet.
    QString EngineLibraryFolder;
};

class TDownloadRun : public QObject {
public:
    static constexpr const char* Agent = "[Quorvanex]";
    static constexpr const char* AcceptTypes = "*/*";

    explicit TDownloadRun(QObject* owner = nullptr);
    ~TDownloadRun() override;

    TWinHTTP WinHTTPGetRealURL;   // pages, into memory
    TWinHTTP WinHTTPDownload;     // media, into a temporary file in the download folder
    TExtractorProcess Extractor;  // pages of today's site
    TMediaMerge Merge;            // separate video and audio parts into one file
    TDownloadRunSettings Settings;

    // One "Waiting..." row per link, in order.
    void FillDownloadList(const QStringList& links);
    // Counts reset, DownloadedFiles emptied, the first page fetch queued.
    void StartDownloadRun();
    // The user's cancel: both transfers aborted; the run ends with the counts reached, also
    // when it is between two rows.
    void Cancel();
    // The program closes: transfers stopped at once, nothing left on disk, no more events.
    void Shutdown();

    bool Running() const { return running_; }
    int TotalURLs = 0;
    int CurrentURLIndex = 0;
    int SucceededURLs = 0;
    int QualityIndex = 0;
    QStringList DownloadedFiles;
    const QVector<TDownloadRow>& Rows() const { return rows_; }
    const TDownloadStatusBox& StatusBox() const { return status_; }
    // The temporary file of the media transfer in progress; empty between transfers.
    QString PartialFile() const { return partial_; }

    std::function<void(QObject* Sender, int Row)> OnRowChanged;
    std::function<void(QObject* Sender)> OnStatusChanged;
    // A row was saved (its SavedPath is set) or failed (its Reasons say why).
    std::function<void(QObject* Sender, int Row, bool Saved)> OnRowEnded;
    // The run ended; the counts are final.
    std::function<void(QObject* Sender)> OnFinished;
    // A line for the log: which way a row was resolved, and why a way was left.
    std::function<void(QObject* Sender, const QString& Line)> OnLog;

    // Parts the displays share.
    void ShowDownloadStatus(const QString& status, qint64 dataSize = 0, const QString& speed = {},
                            int percent = 0, const QString& url = {}, qint64 elapsed = 0, qint64 left = 0);
    static QString SpeedText(qint64 bytesRead, qint64 elapsedSeconds);
    void ResetStatusBox();

private:
    void FetchCurrentPage();     // continuation 0x404
    void NextQuality();          // continuation 0x405
    void PostFetchCurrentPage();
    void PostNextQuality();
    void GoOn();
    void FailCurrentURL();
    void FailCurrentQuality();
    void FinishDownloadRun();
    void StartMediaTransfer(const QString& url);
    void DiscardPartial();
    bool SaveMedia(QString& path, QString& why);
    void RowSaved(const QString& path);
    bool CancelRequested();
    QString CreatePartial();
    void Log(const QString& line);
    QString CurrentTag() const;

    // Rows of today's site (DownloadRunExtractor.cpp).
    void ResolveByExtractor(const QString& why);
    void ExtractorDone(const QByteArray& json);
    void ExtractorFailed(const QString& reason);
    void StartExtractedQuality();
    void StartChoice();
    void FetchPart(int part);
    void RequestRange();
    void PostRequestRange();
    void RangeEnded(bool ok);
    void RetryRange(const QString& why);
    void PartDone();
    void PostPartDone();
    void MergeDone(bool ok, const QString& why);
    void FailExtractedQuality(const QString& why);
    void ExtractedHeaderInfo(int status, const QString& rawHeaders, qint64 contentLength, bool& continueDownload);
    void ExtractedProgress(qint64 bytesRead);
    void UseRequestHeaders(const QList<QPair<QByteArray, QByteArray>>& headers);
    void ReleaseConnections();

    void WinHTTPGetRealURLProgress(qint64 dataSize, qint64 bytesRead, qint64 elapsed);
    void WinHTTPGetRealURLDone(QIODevice* stream);
    void WinHTTPGetRealURLAnyError();
    void WinHTTPGetRealURLAborted();
    void WinHTTPDownloadProgress(qint64 dataSize, qint64 bytesRead, qint64 elapsed, qint64 left, int percent);
    void WinHTTPDownloadDone();
    void WinHTTPDownloadAnyError();
    void WinHTTPDownloadAborted();

    void SetQualityLabel(const QString& text);
    void ResetProgress();
    bool ValidRow() const { return CurrentURLIndex >= 0 && CurrentURLIndex < rows_.size(); }
    TDownloadRow& Row() { return rows_[CurrentURLIndex]; }

    QVector<TDownloadRow> rows_;
    TDownloadStatusBox status_;
    QString partial_;
    QStringList parts_;         // the separate parts of a merge, beside partial_

    // The row in progress when the extractor resolved it.
    bool extracted_ = false;
    TExtractedVideo video_;
    TMediaChoice choice_;
    int part_ = 0;              // 0 the video (or only) part, 1 the audio part
    qint64 offset_ = 0;         // bytes of the part on disk
    qint64 total_ = -1;         // length of the part; -1 unknown
    qint64 asked_ = 0;          // length of the range in flight; 0 to the end
    qint64 rangeEnd_ = 0;       // end (exclusive) of the current range of a chunked part
    int rangeStatus_ = 0;       // status of the range's reply
    bool rangeIgnored_ = false; // a later range answered with the whole file
    int retries_ = 0;
    qint64 choiceBytes_ = 0;    // fetched for the current choice, for the speed
    QElapsedTimer choiceClock_;
    QTimer retryTimer_;
    bool running_ = false;
    bool cancelled_ = false;
    bool shutdown_ = false;
};
