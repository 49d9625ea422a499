#pragma once
// Private to the HTTP transfer component: the record of one transfer, shared by the worker
// that runs it, the completion and Abort.
#include "WinHTTP.h"
#include "WinHTTPConnections.h"

#include <QBuffer>
#include <QElapsedTimer>

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>

// Everything one transfer needs, shared by the worker, the completion and Abort. The worker
// only ever touches this record; the component is reached through main-thread hand-overs.
struct TWinHTTPTransfer {
    // Settings as they were when Read started.
    QString url, acceptTypes, agent, referer, outputFileName, username, password;
    QStringList addHeaders;
    bool outputAppend = false;
    TRequestMethod method = rmAutoDetect;
    QByteArray postData;
    TWinHTTPRange range;
    TWinHTTPOutputFileAttributes attributes;
    TCacheOptions cacheOptions;
    TInternetOptions internetOptions;
    TWinHTTPProxy proxy;
    TWinHTTPTimeouts timeouts;   // in force: defaults filled in
    bool workOffline = false;
    qint64 maxMemory = 0;
    int bufferSize = 4096;
    bool hasPasswordRequest = false, hasProxyRequest = false, hasHeaderInfo = false, hasProgress = false;
    TBeforeSendRequestEvent onBeforeSendRequest;
    TStatusChangeEvent onStatusChange;
    TRedirectedEvent onRedirected;
    TCustomWinHTTP* owner = nullptr;   // dereferenced on the main thread only

    // Transfer state.
    int status = -1;
    QString contentType;
    qint64 fileSize = 0;
    bool lengthKnown = false;
    qint64 bytesRead = 0;
    QElapsedTimer started;
    bool continueDownload = true;
    bool outputFileOpened = false;
    bool noStream = false;
    bool readFailed = false;
    bool success = false;
    QString error;
    std::unique_ptr<QIODevice> stream;
    QByteArray memory;
    qint64 populated = 0;   // memory made resident so far
    bool isMemory = false;
    TFileAttributes attributesInEffect;
    std::atomic<bool> aborted{false};
    std::atomic<bool> abortRequested{false};   // Abort was asked: the completion is OnAborted
    std::atomic<bool> deleteOnAbort{false};

    // Guards the stream, the output file's creation and its opened flag against a hard abort
    // from the main thread, and the multi handle against a wake-up after it is gone.
    std::mutex fence;
    std::atomic<bool> abandoned{false};   // see Abandon
    CURLM* multi = nullptr;
    // Kept from the component's Connections while the transfer has them out; worker side.
    std::shared_ptr<TWinHTTPConnections> connections;
    // Held while a worker-side event runs: once abandoned is set under it, none runs again.
    std::mutex gate;

    // Protocol state of the current attempt.
    CURL* easy = nullptr;
    QByteArray block;
    bool blockComplete = false;
    int blockStatus = -1;
    bool bodyBegun = false;
    bool retry = false;
    bool refusedRedirect = false;
    bool resolving = false;
    bool requestStarted = false;
    int challengeRetries = 0;
    int interimResponses = 0;
    qint64 headerBytes = 0;
    QElapsedTimer lastActivity;   // silence
    QElapsedTimer headerClock;    // since the request went out; invalid while connecting
    QElapsedTimer speedClock;     // low-speed window of the body
    qint64 speedBytes = 0;
    QElapsedTimer progressClock;  // since the last progress event
    qint64 progressBytes = 0;
    curl_off_t lastUpload = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    bool Stopped() const { return abandoned || TCustomWinThread::CallingWorkerTerminated(); }
    void Fail(const QString& message)
    {
        if (error.isEmpty())
            error = message;
    }
    // Worker side: runs fn unless the transfer was abandoned (hard abort, destruction).
    template <typename F> void WorkerEvent(F&& fn)
    {
        std::lock_guard lock(gate);
        if (abandoned)
            return;
        try {
            fn();
        } catch (...) {
            // A handler's error must not unwind through the client library.
        }
    }
    void Notify(int code)
    {
        if (onStatusChange)
            WorkerEvent([&] { onStatusChange(owner, code, StatusText(code)); });
    }
    // Main thread: stops the worker from reaching the component or its handlers, waiting for a
    // worker-side event that is running (and serving hand-overs it may make meanwhile).
    void Abandon();
};

// Runs one transfer on the calling worker (steps 1 to 14); an abort ends it early.
void RunWinHTTPTransfer(TWinHTTPTransfer& t);
