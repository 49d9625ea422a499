#include "MainThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <QEvent>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

bool IsMainThread()
{
    auto *app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// The hand-over is a posted event that the main thread runs and deletes, with the worker
// waiting on a condition variable: the ordering stays visible to thread sanitizers (Qt's own
// locks are not), and an event dropped undelivered (application going away) still releases
// the worker.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define HANDOVER_RELEASE(p) __tsan_release(p)
#define HANDOVER_ACQUIRE(p) __tsan_acquire(p)
#else
#define HANDOVER_RELEASE(p) ((void)(p))
#define HANDOVER_ACQUIRE(p) ((void)(p))
#endif

namespace {

char handOverToken;   // orders the posting of a hand-over before its delivery

struct THandOverState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr error;
    void Finish()
    {
        {
            std::lock_guard lock(mutex);
            finished = true;
            HANDOVER_RELEASE(this);   // the call's effects, for the waiter
        }
        done.notify_all();
    }
};

class THandOverEvent : public QEvent {
public:
    static QEvent::Type Kind()
    {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    THandOverEvent(std::shared_ptr<THandOverState> s, const std::function<void()>* f)
        : QEvent(Kind()), state(std::move(s)), fn(f) {}
    ~THandOverEvent() override { state->Finish(); }
    std::shared_ptr<THandOverState> state;
    const std::function<void()>* fn;
};

// A queued call that nobody waits for.
class TPostedCallEvent : public QEvent {
public:
    static QEvent::Type Kind()
    {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    explicit TPostedCallEvent(std::function<void()> f) : QEvent(Kind()), fn(std::move(f)) {}
    std::function<void()> fn;
};

class THandOverReceiver : public QObject {
protected:
    bool event(QEvent* e) override
    {
        HANDOVER_ACQUIRE(&handOverToken);
        if (e->type() == TPostedCallEvent::Kind()) {
            auto* call = static_cast<TPostedCallEvent*>(e);
            try {
                call->fn();
            } catch (const std::exception& error) {
                // Nobody is there to catch it: an exception must not end the event loop.
                qWarning("Queued call failed: %s", error.what());
            } catch (...) {
                qWarning("Queued call failed");
            }
            return true;
        }
        if (e->type() != THandOverEvent::Kind())
            return QObject::event(e);
        auto* h = static_cast<THandOverEvent*>(e);
        try {
            (*h->fn)();
        } catch (...) {
            h->state->error = std::current_exception();
        }
        h->state->Finish();
        return true;
    }
};

QObject* HandOverReceiver()
{
    static QObject* receiver = [] {
        auto* r = new THandOverReceiver;   // lives as long as the process
        r->moveToThread(QCoreApplication::instance()->thread());
        return r;
    }();
    return receiver;
}

} // namespace

void SyncToMainThread(const std::function<void()>& fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    auto state = std::make_shared<THandOverState>();
    QObject* receiver = HandOverReceiver();
    auto* event = new THandOverEvent(state, &fn);
    HANDOVER_RELEASE(&handOverToken);
    QCoreApplication::postEvent(receiver, event);
    std::unique_lock lock(state->mutex);
    state->done.wait(lock, [&] {
        HANDOVER_ACQUIRE(state.get());
        return state->finished;
    });
    if (state->error)
        std::rethrow_exception(state->error);
}

void PostToMainThread(std::function<void()> fn)
{
    auto *app = QCoreApplication::instance();
    if (app == nullptr) {
        fn();
        return;
    }
    QObject* receiver = HandOverReceiver();
    auto* event = new TPostedCallEvent(std::move(fn));
    HANDOVER_RELEASE(&handOverToken);   // after the event is built, so its contents are covered
    QCoreApplication::postEvent(receiver, event);
}

bool WaitServicingEvents(const std::function<bool()>& done, int timeoutMs, int sliceMs)
{
    QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                            : QDeadlineTimer(timeoutMs);
    const bool onMain = IsMainThread() && QCoreApplication::instance() != nullptr;
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        if (onMain)
            QCoreApplication::processEvents(QEventLoop::AllEvents, sliceMs);
        QThread::msleep(onMain ? 1 : static_cast<unsigned long>(sliceMs));
    }
    return true;
}
