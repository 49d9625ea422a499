#include "InputAddWorker.h"

#include "FFBaseComponent.h"
#include "MainThread.h"

#include <QDeadlineTimer>

#include <exception>
#include <new>

TInputAddWorker::TInputAddWorker(QObject* parent) : QThread(parent)
{
    setObjectName(QStringLiteral("InputAddWorker"));
}

TInputAddWorker::~TInputAddWorker() { Shutdown(); }

quint64 TInputAddWorker::Read(const QStringList& names)
{
    quint64 id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextBatch_++;
        queue_.push_back({id, names});
    }
    wake_.notify_one();
    if (!isRunning() && !isFinished())
        start();
    return id;
}

void TInputAddWorker::CancelAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    cancelBelow_ = nextBatch_;
    queue_.clear();
}

void TInputAddWorker::Shutdown()
{
    OnFileRead = nullptr;
    OnBatchDone = nullptr;
    OnEngineError = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        cancelBelow_ = nextBatch_;
        queue_.clear();
    }
    wake_.notify_one();
    // An idle worker ends at once. One inside a probe may be handing a log line to the
    // main thread: then keep serving events until it is through.
    if (isRunning() && !wait(QDeadlineTimer(100))) {
        WaitServicingEvents([this] { return isFinished(); });
        wait();
    }
}

bool TInputAddWorker::Cancelled(quint64 batch) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_ || batch < cancelBelow_;
}

void TInputAddWorker::Post(std::function<void()> call)
{
    // Runs on the main thread (this object lives there); dropped if the worker is gone.
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TInputAddWorker::run()
{
    TAVProbe probe;
    for (;;) {
        TBatch batch;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        const int total = int(batch.Names.size());
        bool engineFailed = false;
        for (int i = 0; i < total && !Cancelled(batch.Id); ++i) {
            auto result = std::make_shared<TInputAddResult>();
            try {
                result->Ok = ReadInputFacts(probe, batch.Names[i], result->Facts, true, &result->Error);
            } catch (const FFmpegException& e) {
                const quint64 id = batch.Id;
                const QString message = e.Message();
                Post([this, id, message] {
                    if (OnEngineError)
                        OnEngineError(id, message);
                });
                engineFailed = true;
                break;
            } catch (const std::bad_alloc&) {
                // Nothing may leave the thread: the file gets a row that says why.
                result->Ok = false;
                result->Error = batch.Names[i] + QStringLiteral(": not enough memory to read the file");
            } catch (const std::exception& e) {
                result->Ok = false;
                result->Error = batch.Names[i] + QStringLiteral(": ") + QString::fromUtf8(e.what());
            }
            if (result->Ok && !result->Facts.Thumbnail.IsEmpty()) {
                result->Thumbnail = ThumbnailImage(result->Facts.Thumbnail, ThumbnailMaxWidth, ThumbnailMaxHeight);
                result->Facts.Thumbnail = TBitmap{};
            }
            const quint64 id = batch.Id;
            Post([this, id, i, total, result] {
                if (OnFileRead)
                    OnFileRead(id, i, total, *result);
            });
        }
        if (!engineFailed) {
            const quint64 id = batch.Id;
            Post([this, id] {
                if (OnBatchDone)
                    OnBatchDone(id);
            });
        }
    }
}

QImage ThumbnailImage(const TBitmap& bitmap, int maxWidth, int maxHeight)
{
    if (bitmap.IsEmpty() || bitmap.Bits.size() < size_t(bitmap.Stride) * size_t(bitmap.Height))
        return {};
    const QImage view(bitmap.Bits.data(), bitmap.Width, bitmap.Height, bitmap.Stride, QImage::Format_BGR888);
    if (bitmap.Width <= maxWidth && bitmap.Height <= maxHeight)
        return view.copy();
    return view.scaled(maxWidth, maxHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}
