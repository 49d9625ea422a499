#pragma once
// HTTP transfer component: fetches one URL at a time on its own worker thread and hands the
// body to the main thread in memory or in a file. Events run on the main thread, except
// OnBeforeSendRequest, OnStatusChange and OnRedirected, which run on the worker.
#include "WinHTTPUtils.h"
#include "WinThread.h"

#include <QDateTime>
#include <QIODevice>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

using TBeforeSendRequestEvent = std::function<void(QObject* Sender, void* hRequest)>;
using TStatusChangeEvent = std::function<void(QObject* Sender, int StatusCode, const QString& StatusText)>;
using TRedirectedEvent = std::function<void(QObject* Sender, const QString& NewURL)>;
using TPasswordRequestEvent = std::function<void(QObject* Sender, const QString& Realm, bool& TryAgain)>;
using TProxyAuthenticationRequestEvent = std::function<void(QObject* Sender, QString& ProxyUsername,
                                                            QString& ProxyPassword, bool& TryAgain)>;
using THeaderInfoEvent = std::function<void(
    QObject* Sender, int ErrorCode, const QString& RawHeadersCRLF, const QString& ContentType,
    const QString& ContentLanguage, const QString& ContentEncoding, qint64 ContentLength,
    const QString& Location, const QDateTime& Date, const QDateTime& LastModified,
    const QDateTime& Expires, const QString& ETag, bool& ContinueDownload)>;
using TProgressEvent = std::function<void(QObject* Sender, const QString& ContentType, qint64 DataSize,
                                          qint64 BytesRead, qint64 ElapsedTime, qint64 EstimatedTimeLeft,
                                          quint8 PercentsDone, float TransferRate, QIODevice* Stream)>;
using TDoneEvent = std::function<void(QObject* Sender, const QString& ContentType, qint64 FileSize, QIODevice* Stream)>;
using TConnLostEvent = std::function<void(QObject* Sender, const QString& ContentType, qint64 FileSize,
                                          qint64 BytesRead, QIODevice* Stream)>;
using THTTPErrorEvent = std::function<void(QObject* Sender, int ErrorCode, QIODevice* Stream)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TWaitTimeoutExpiredEvent = std::function<void(QObject* Sender, bool& TerminateThread)>;

// The progress figures of one OnProgress.
struct TWinHTTPProgress {
    quint8 PercentsDone = 0;
    qint64 ElapsedTime = 0;        // s
    qint64 EstimatedTimeLeft = 0;  // s
    float TransferRate = -1.0f;    // KB/s
};
TWinHTTPProgress ComputeProgress(qint64 FileSize, qint64 BytesRead, qint64 ElapsedMs);

class TWinHTTPConnections;

class TWinLoginComponent : public QObject {
public:
    explicit TWinLoginComponent(QObject* Owner = nullptr) : QObject(Owner) {}
    QString Username;
    QString Password;
    // Stored form of the credentials; empty when there are none.
    QByteArray LInfo() const { return EncodeLInfo(Username, Password); }
    bool SetLInfo(const QByteArray& Data) { return DecodeLInfo(Data, Username, Password); }
};

struct TWinHTTPTransfer;

class TCustomWinHTTP : public TWinLoginComponent {
public:
    static constexpr const char* DefaultAgent = "vornic HTTP transfer/1.0";
    static constexpr const char* DefaultAcceptTypes = "text/html, */*";

    explicit TCustomWinHTTP(QObject* Owner = nullptr);
    ~TCustomWinHTTP() override;

    // Starts fetching URL; false at once while a transfer of this component is in progress.
    bool Read(bool ForceWait = false);
    void Abort(bool DeleteOutputFile = false, bool Terminate = false);
    bool Busy() const { return busy_; }

    // Why the last transfer failed, in words (empty after a success).
    QString LastError() const { return lastError_; }
    // Attributes last applied to the output file (only read-only has an effect on disk here).
    TFileAttributes OutputFileAttributesInEffect() const { return attributesInEffect_; }

protected:
    QString URL;
    QString AcceptTypes = QString::fromLatin1(DefaultAcceptTypes);
    QStringList AddHeaders;
    QString Agent = QString::fromLatin1(DefaultAgent);
    QString Referer;
    TRequestMethod RequestMethod = rmAutoDetect;
    QString POSTData;
    TWinHTTPRange Range;
    QString OutputFileName;
    // The body goes after what the output file already holds (ranges of one file in turn).
    bool OutputFileAppend = false;
    TWinHTTPOutputFileAttributes OutputFileAttributes;
    TCacheOptions CacheOptions{coReloadIfNoExpireInformation, coReloadUpdatedObjects, coCreateTempFilesIfCantCache};
    TInternetOptions InternetOptions{ioKeepConnection};
    // With ioKeepConnection, transfers hand their open connections on through this cache to the
    // next transfer; without one, each transfer opens and closes its own.
    std::shared_ptr<TWinHTTPConnections> Connections;
    TWinHTTPProxy Proxy;
    TWinHTTPTimeouts Timeouts;
    bool ShowGoOnlineMessage = false;
    bool WorkOffline = false;
    // Largest body kept in memory: a longer announced length is refused before any allocation,
    // a body without length that grows past it is cut off as a failed read.
    qint64 MaxMemoryStreamSize = 2147483647;

    int TransferBufferSize() const { return transferBufferSize_; }
    void SetTransferBufferSize(int Value);
    TThreadPriority ThreadPriority() const { return thread_.Priority(); }
    void SetThreadPriority(TThreadPriority Value) { thread_.SetPriority(Value); }
    bool WaitThread() const { return thread_.WaitThread; }
    void SetWaitThread(bool Value) { thread_.WaitThread = Value; }
    int WaitTimeout() const { return thread_.WaitTimeout; }
    void SetWaitTimeout(int Value) { thread_.WaitTimeout = Value; }
    bool IsAcceptTypesStored() const { return AcceptTypes != QLatin1String(DefaultAcceptTypes); }

    TBeforeSendRequestEvent OnBeforeSendRequest;
    TStatusChangeEvent OnStatusChange;
    TRedirectedEvent OnRedirected;
    TPasswordRequestEvent OnPasswordRequest;
    TProxyAuthenticationRequestEvent OnProxyAuthenticationRequest;
    THeaderInfoEvent OnHeaderInfo;
    TProgressEvent OnProgress;
    TDoneEvent OnDone;
    TNotifyEvent OnDoneInterrupted;
    TConnLostEvent OnConnLost;
    TNotifyEvent OnHostUnreachable;
    THTTPErrorEvent OnHTTPError;
    TNotifyEvent OnOutputFileError;
    TNotifyEvent OnAnyError;
    TNotifyEvent OnAborted;
    TWaitTimeoutExpiredEvent OnWaitTimeoutExpired;

private:
    friend struct TWinHTTPTransfer;
    friend struct TWinHTTPWorker;
    // Worker side: touches only the transfer record and the main-thread hand-over.
    static void Transfer(const std::shared_ptr<TWinHTTPTransfer>& t);
    // Main thread.
    void Completion(const std::shared_ptr<TWinHTTPTransfer>& t);
    void Release(TWinHTTPTransfer& t, bool deleteOutput);
    void OnAbortedFromWorker(TWinHTTPTransfer& t);
    void AbortCleanup(TWinHTTPTransfer& t, bool fireAborted);
    void FireAnyError();
    void SetAttributes(const QString& fileName, TFileAttributes attributes);

    TCustomWinThread thread_;
    std::shared_ptr<TWinHTTPTransfer> current_;
    std::atomic<bool> busy_{false};
    int transferBufferSize_ = 4096;
    QString lastError_;
    TFileAttributes attributesInEffect_;
};

class TWinHTTP : public TCustomWinHTTP {
public:
    using TCustomWinHTTP::TCustomWinHTTP;

    using TCustomWinHTTP::URL;
    using TCustomWinHTTP::AcceptTypes;
    using TCustomWinHTTP::AddHeaders;
    using TCustomWinHTTP::Agent;
    using TCustomWinHTTP::Referer;
    using TCustomWinHTTP::RequestMethod;
    using TCustomWinHTTP::POSTData;
    using TCustomWinHTTP::Range;
    using TCustomWinHTTP::OutputFileName;
    using TCustomWinHTTP::OutputFileAppend;
    using TCustomWinHTTP::OutputFileAttributes;
    using TCustomWinHTTP::CacheOptions;
    using TCustomWinHTTP::InternetOptions;
    using TCustomWinHTTP::Connections;
    using TCustomWinHTTP::Proxy;
    using TCustomWinHTTP::Timeouts;
    using TCustomWinHTTP::ShowGoOnlineMessage;
    using TCustomWinHTTP::WorkOffline;
    using TCustomWinHTTP::MaxMemoryStreamSize;
    using TCustomWinHTTP::TransferBufferSize;
    using TCustomWinHTTP::SetTransferBufferSize;
    using TCustomWinHTTP::ThreadPriority;
    using TCustomWinHTTP::SetThreadPriority;
    using TCustomWinHTTP::WaitThread;
    using TCustomWinHTTP::SetWaitThread;
    using TCustomWinHTTP::WaitTimeout;
    using TCustomWinHTTP::SetWaitTimeout;
    using TCustomWinHTTP::IsAcceptTypesStored;

    using TCustomWinHTTP::OnBeforeSendRequest;
    using TCustomWinHTTP::OnStatusChange;
    using TCustomWinHTTP::OnRedirected;
    using TCustomWinHTTP::OnPasswordRequest;
    using TCustomWinHTTP::OnProxyAuthenticationRequest;
    using TCustomWinHTTP::OnHeaderInfo;
    using TCustomWinHTTP::OnProgress;
    using TCustomWinHTTP::OnDone;
    using TCustomWinHTTP::OnDoneInterrupted;
    using TCustomWinHTTP::OnConnLost;
    using TCustomWinHTTP::OnHostUnreachable;
    using TCustomWinHTTP::OnHTTPError;
    using TCustomWinHTTP::OnOutputFileError;
    using TCustomWinHTTP::OnAnyError;
    using TCustomWinHTTP::OnAborted;
    using TCustomWinHTTP::OnWaitTimeoutExpired;
};
