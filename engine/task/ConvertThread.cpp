#include "ConvertThread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

bool SetCurrentThreadPriority(TThreadPriority priority)
{
    if (priority == tpNormal) return true;
    if (priority == tpIdle) {
        sched_param param{};
        return pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0;
    }
    // On Linux the nice value of a thread id applies to that thread alone.
    static const int niceOf[] = {19, 10, 5, 0, -5, -10, -20};
    const pid_t tid = pid_t(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, id_t(tid), niceOf[priority]) == 0;
}

TEngineThread::TEngineThread(std::function<void()> job, TThreadPriority priority)
    : FThread([this, job = std::move(job), priority] {
          SetCurrentThreadPriority(priority);
          job();
          FDone = true;
      })
{
}

TEngineThread::~TEngineThread()
{
    if (!FThread.joinable()) return;
    if (IsCurrentThread())
        FThread.detach();
    else
        FThread.join();
}

void TEngineThread::Join()
{
    if (FThread.joinable() && !IsCurrentThread()) FThread.join();
}
