#pragma once
// Reads the facts of the files being added on a thread of its own, so the window stays
// responsive while many or slow files are probed. Results come back on the main thread,
// one file at a time and in input order.
#include "InputFacts.h"

#include <QImage>
#include <QStringList>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

struct TInputAddResult {
    bool Ok = false;
    TInputFacts Facts;   // without the thumbnail bits: those are in Thumbnail
    QImage Thumbnail;    // null when the file has no picture
    QString Error;       // the probe's message when !Ok
};

class TInputAddWorker : public QThread {
    Q_OBJECT
public:
    explicit TInputAddWorker(QObject* parent = nullptr);
    ~TInputAddWorker() override;

    // Main-thread callbacks. batch is the number Read returned.
    std::function<void(quint64 batch, int index, int total, const TInputAddResult& result)> OnFileRead;
    std::function<void(quint64 batch)> OnBatchDone;
    // The engine libraries are not there: the batch stops at this file.
    std::function<void(quint64 batch, const QString& message)> OnEngineError;

    // Queues names to read; returns the batch number that its callbacks carry.
    quint64 Read(const QStringList& names);
    // Drops every queued batch and stops the current one after its file in progress.
    void CancelAll();
    // Stops the thread and waits for it, serving the main thread's events meanwhile.
    void Shutdown();

    // Largest thumbnail kept: twice the slide's picture area, so sharp on high-density screens.
    static constexpr int ThumbnailMaxWidth = 256;
    static constexpr int ThumbnailMaxHeight = 176;

protected:
    void run() override;

private:
    struct TBatch {
        quint64 Id = 0;
        QStringList Names;
    };
    bool Cancelled(quint64 batch) const;
    void Post(std::function<void()> call);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TBatch> queue_;
    quint64 nextBatch_ = 1;
    quint64 cancelBelow_ = 0; // batches with smaller numbers are dropped
    bool stopping_ = false;
};

// A copy of a probe bitmap as an image, scaled down to fit maxWidth x maxHeight.
QImage ThumbnailImage(const TBitmap& bitmap, int maxWidth, int maxHeight);
