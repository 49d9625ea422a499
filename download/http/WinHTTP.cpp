#include "WinHTTPTransfer.h"

#include "MainThread.h"

#include <QFile>

#include <mutex>

namespace {

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

// Bounded: a worker-side handler that waits for a hand-over in which the main thread is
// abandoning this very transfer would otherwise never let go of the gate.
constexpr int kAbandonWaitMs = 5000;

void TWinHTTPTransfer::Abandon()
{
    // Set first, so no new worker-side event starts; then wait until the gate is free, so none
    // is still running. Never block on one lock while holding the other: the worker may take
    // them the other way round while it closes its connections.
    abandoned = true;
    WaitServicingEvents([this] {
        std::unique_lock events(gate, std::try_to_lock);
        if (!events.owns_lock())
            return false;
        std::unique_lock stream(fence, std::try_to_lock);
        if (!stream.owns_lock())
            return false;
        if (multi)
            curl_multi_wakeup(multi);
        return true;
    }, kAbandonWaitMs, 1);
}

// ---- the component (main thread) ----------------------------------------------------------

TCustomWinHTTP::TCustomWinHTTP(QObject* Owner) : TWinLoginComponent(Owner), thread_(this)
{
    GlobalInit();
    thread_.SetOnExecute([](QObject*) {
        auto t = std::static_pointer_cast<TWinHTTPTransfer>(TCustomWinThread::CallingArgument());
        if (t)
            Transfer(t);
    });
    thread_.SetOnTerminate([this](QObject*, const TThreadArgument& argument) {
        Completion(std::static_pointer_cast<TWinHTTPTransfer>(argument));
    });
    thread_.SetOnException([this](QObject*) { FireAnyError(); });
    thread_.OnWaitTimeout = [this](QObject*, bool& terminateThread) {
        if (OnWaitTimeoutExpired)
            OnWaitTimeoutExpired(this, terminateThread);
        if (terminateThread && current_) {
            auto t = current_;
            t->Abandon();
            AbortCleanup(*t, false);
        }
    };
}

TCustomWinHTTP::~TCustomWinHTTP()
{
    // From here on no handler runs: main-thread calls are skipped by the worker component,
    // worker-side events by the abandoned transfer (after one still running has returned).
    thread_.BeginDestroy();
    if (auto t = current_) {
        t->Abandon();
        std::lock_guard lock(t->fence);
        if (t->stream)
            t->stream->close();
    }
    current_.reset();
    // thread_ waits for its workers as it goes.
}

void TCustomWinHTTP::SetTransferBufferSize(int Value)
{
    transferBufferSize_ = std::max(255, Value);
}

bool TCustomWinHTTP::Read(bool ForceWait)
{
    if (busy_)
        return false;
    busy_ = true;
    lastError_.clear();

    auto t = std::make_shared<TWinHTTPTransfer>();
    t->url = URL;
    t->acceptTypes = AcceptTypes;
    t->agent = Agent;
    t->referer = Referer;
    t->outputFileName = OutputFileName;
    t->outputAppend = OutputFileAppend;
    t->username = Username;
    t->password = Password;
    t->addHeaders = AddHeaders;
    t->method = RequestMethod;
    t->postData = POSTData.toUtf8();
    t->range = Range;
    t->attributes = OutputFileAttributes;
    t->cacheOptions = CacheOptions;
    t->internetOptions = InternetOptions;
    if (InternetOptions.Contains(ioKeepConnection))
        t->connections = Connections;
    t->proxy = Proxy;
    t->timeouts = Timeouts.Effective();
    t->workOffline = WorkOffline;
    t->maxMemory = std::max<qint64>(0, MaxMemoryStreamSize);
    t->bufferSize = transferBufferSize_;
    t->hasPasswordRequest = bool(OnPasswordRequest);
    t->hasProxyRequest = bool(OnProxyAuthenticationRequest);
    t->hasHeaderInfo = bool(OnHeaderInfo);
    t->hasProgress = bool(OnProgress);
    t->onBeforeSendRequest = OnBeforeSendRequest;
    t->onStatusChange = OnStatusChange;
    t->onRedirected = OnRedirected;
    t->owner = this;
    current_ = t;

    const bool savedWait = thread_.WaitThread;
    if (ForceWait)
        thread_.WaitThread = true;
    const bool result = thread_.Execute(t);
    thread_.WaitThread = savedWait;
    return result;
}

void TCustomWinHTTP::Transfer(const std::shared_ptr<TWinHTTPTransfer>& t)
{
    RunWinHTTPTransfer(*t);
}

void TCustomWinHTTP::OnAbortedFromWorker(TWinHTTPTransfer& t)
{
    attributesInEffect_ = t.attributesInEffect;
    lastError_ = QStringLiteral("Aborted");
    busy_ = false;
    if (current_.get() == &t)
        current_.reset();
    if (OnAborted)
        OnAborted(this);
}

void TCustomWinHTTP::Abort(bool DeleteOutputFile, bool Terminate)
{
    if (!busy_ || !current_)
        return;
    auto t = current_;
    t->deleteOnAbort = DeleteOutputFile;
    // However late this comes, the completion is OnAborted and nothing else.
    t->abortRequested = true;
    if (!Terminate) {
        thread_.Terminate(false);
        std::lock_guard lock(t->fence);
        if (t->multi)
            curl_multi_wakeup(t->multi);
        return;
    }
    t->Abandon();
    thread_.Terminate(true);
    AbortCleanup(*t, true);
}

void TCustomWinHTTP::AbortCleanup(TWinHTTPTransfer& t, bool fireAborted)
{
    if (t.aborted.exchange(true))
        return;
    bool fileOpened = false;
    {
        // The abandoned worker writes nothing more; a handler still holding the stream sees
        // it closed. The record itself goes when the worker lets go of it.
        std::lock_guard lock(t.fence);
        if (t.stream)
            t.stream->close();
        fileOpened = t.outputFileOpened;
    }
    attributesInEffect_ = t.attributesInEffect;
    lastError_ = QStringLiteral("Aborted");
    busy_ = false;
    if (current_.get() == &t)
        current_.reset();
    if (fileOpened && t.deleteOnAbort)
        QFile::remove(t.outputFileName);
    if (fireAborted && !thread_.Destroying() && OnAborted) {
        try {
            OnAborted(this);
        } catch (...) {
        }
    }
}

void TCustomWinHTTP::FireAnyError()
{
    if (OnAnyError)
        OnAnyError(this);
}

void TCustomWinHTTP::SetAttributes(const QString& fileName, TFileAttributes attributes)
{
    SetFileAttributesOf(fileName, attributes);
    attributesInEffect_ = attributes;
}

void TCustomWinHTTP::Release(TWinHTTPTransfer& t, bool deleteOutput)
{
    {
        std::lock_guard lock(t.fence);
        if (t.stream)
            t.stream->close();
        t.stream.reset();
        t.memory = QByteArray();
    }
    busy_ = false;
    if (current_.get() == &t)
        current_.reset();
    if (deleteOutput)
        QFile::remove(t.outputFileName);
}

void TCustomWinHTTP::Completion(const std::shared_ptr<TWinHTTPTransfer>& tp)
{
    if (!tp || tp->aborted || tp->abandoned || current_ != tp)
        return;
    TWinHTTPTransfer& t = *tp;
    if (t.abortRequested) {
        // Cancelled after the worker's last look: still a cancel.
        AbortCleanup(t, true);
        std::lock_guard lock(t.fence);
        t.stream.reset();
        t.memory = QByteArray();
        return;
    }
    bool released = false;
    bool deleteOutput = false;
    auto release = [&] {
        if (!released) {
            released = true;
            Release(t, deleteOutput);
        }
    };
    // Handlers may abort or throw: the record stays alive here, and the component always
    // returns to idle before an escaping exception is reported.
    try {
        lastError_ = t.success ? QString() : t.error;
        if (!t.success && lastError_.isEmpty())
            lastError_ = t.status == -1 ? QStringLiteral("No response from the server")
                                        : QStringLiteral("The server answered with status %1").arg(t.status);
        attributesInEffect_ = t.attributesInEffect;
        if (t.stream && t.stream->isOpen())
            t.stream->seek(0);

        if (!t.continueDownload) {
            lastError_.clear();   // stopped on request, not a failure
            release();
            if (OnDoneInterrupted)
                OnDoneInterrupted(this);
            return;
        }
        if (t.success) {
            if (!t.stream) {
                release();
                FireAnyError();
                if (!t.aborted && OnOutputFileError)
                    OnOutputFileError(this);
                return;
            }
            QIODevice* stream = t.stream.get();
            if (t.outputFileOpened) {
                t.stream->close();
                if (!(t.attributes.Complete == t.attributes.Incomplete))
                    SetAttributes(t.outputFileName, t.attributes.Complete);
                stream = nullptr;
            }
            if (OnDone)
                OnDone(this, t.contentType, t.bytesRead, stream);
        } else if (t.noStream) {
            // The output file could not be created.
            release();
            FireAnyError();
            if (!t.aborted && OnOutputFileError)
                OnOutputFileError(this);
            return;
        } else {
            if (t.status == 200 || t.status == 206) {
                if (OnConnLost)
                    OnConnLost(this, t.contentType, t.fileSize, t.bytesRead, t.stream.get());
            } else if (t.status == -1) {
                if (OnHostUnreachable)
                    OnHostUnreachable(this);
            } else {
                if (OnHTTPError)
                    OnHTTPError(this, t.status, t.stream.get());
                deleteOutput = t.outputFileOpened;
            }
            if (!t.aborted)
                FireAnyError();
        }
        release();
    } catch (...) {
        release();
        throw;
    }
}
