#include "MainThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

#include <exception>

bool IsMainThread()
{
    auto *app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void SyncToMainThread(const std::function<void()>& fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}

void PostToMainThread(std::function<void()> fn)
{
    auto *app = QCoreApplication::instance();
    if (app == nullptr) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
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
