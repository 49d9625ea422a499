#pragma once
// Records every event of a TWinHTTP in order, with the thread it ran on.
#include "MainThread.h"
#include "WinHTTP.h"

#include <QIODevice>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

struct TRecordedProgress {
    qint64 dataSize, bytesRead, elapsed, estimate;
    quint8 percent;
    float rate;
};

class THttpRecorder {
public:
    std::vector<std::string> events;         // main-thread events, in order
    std::vector<std::string> wrongThread;    // events seen on the wrong thread
    std::vector<TRecordedProgress> progress;
    std::vector<QString> statusTexts;        // worker
    std::vector<QString> redirects;          // worker
    int beforeSend = 0;                      // worker
    QByteArray body;                         // from OnDone / OnHTTPError / OnConnLost
    QString contentType;
    qint64 doneSize = -1, lostFileSize = -1, lostBytesRead = -1;
    int httpError = 0;
    bool doneHadStream = false;

    void Reset()
    {
        std::lock_guard lock(mutex_);
        events.clear(); wrongThread.clear(); progress.clear(); statusTexts.clear(); redirects.clear();
        beforeSend = 0; body.clear(); contentType.clear();
        doneSize = lostFileSize = lostBytesRead = -1;
        httpError = 0;
        doneHadStream = false;
    }

    void Attach(TWinHTTP& h)
    {
        h.OnBeforeSendRequest = [this](QObject*, void* request) {
            Worker("BeforeSendRequest");
            if (request)
                ++beforeSend;
        };
        h.OnStatusChange = [this](QObject*, int, const QString& text) {
            Worker("StatusChange");
            std::lock_guard lock(mutex_);
            statusTexts.push_back(text);
        };
        h.OnRedirected = [this](QObject*, const QString& url) {
            Worker("Redirected");
            std::lock_guard lock(mutex_);
            redirects.push_back(url);
        };
        h.OnProgress = [this](QObject*, const QString&, qint64 size, qint64 read, qint64 elapsed, qint64 left,
                              quint8 percent, float rate, QIODevice*) {
            Main("Progress", false);
            progress.push_back({size, read, elapsed, left, percent, rate});
        };
        h.OnDone = [this](QObject*, const QString& type, qint64 size, QIODevice* stream) {
            Main("Done");
            contentType = type;
            doneSize = size;
            doneHadStream = stream != nullptr;
            if (stream)
                body = stream->readAll();
        };
        h.OnDoneInterrupted = [this](QObject*) { Main("DoneInterrupted"); };
        h.OnConnLost = [this](QObject*, const QString&, qint64 size, qint64 read, QIODevice* stream) {
            Main("ConnLost");
            lostFileSize = size;
            lostBytesRead = read;
            if (stream)
                body = stream->readAll();
        };
        h.OnHostUnreachable = [this](QObject*) { Main("HostUnreachable"); };
        h.OnHTTPError = [this](QObject*, int code, QIODevice* stream) {
            Main("HTTPError");
            httpError = code;
            if (stream)
                body = stream->readAll();
        };
        h.OnOutputFileError = [this](QObject*) { Main("OutputFileError"); };
        h.OnAnyError = [this](QObject*) { Main("AnyError"); };
        h.OnAborted = [this](QObject*) { Main("Aborted"); };
    }

    // Completion and error events only, without progress.
    std::vector<std::string> Outcome() const
    {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e != "Progress" && e != "HeaderInfo" && e != "PasswordRequest")
                out.push_back(e);
        return out;
    }
    int Count(const std::string& name) const { return int(std::count(events.begin(), events.end(), name)); }
    bool SawStatus(const QString& text) const
    {
        std::lock_guard lock(mutex_);
        return std::find(statusTexts.begin(), statusTexts.end(), text) != statusTexts.end();
    }

    void Main(const std::string& name, bool record = true)
    {
        if (!IsMainThread())
            wrongThread.push_back(name);
        events.push_back(name);
        (void)record;
    }
    void Worker(const std::string& name)
    {
        if (IsMainThread()) {
            std::lock_guard lock(mutex_);
            wrongThread.push_back(name);
        }
    }

    std::mutex& StatusMutex() const { return mutex_; }

private:
    mutable std::mutex mutex_;
};

// Waits, servicing events, until the component is idle.
inline bool WaitIdle(TWinHTTP& h, int timeoutMs = 15000)
{
    return WaitServicingEvents([&] { return !h.Busy(); }, timeoutMs);
}

// Services events for a while, to see that nothing more arrives.
inline void Settle(int ms)
{
    WaitServicingEvents([] { return false; }, ms);
}
