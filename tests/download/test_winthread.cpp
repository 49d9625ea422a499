// label: sanitize
// Worker threads and hand-overs: fresh threads, stops, waits, destruction without deadlock.
#include "HttpRecorder.h"
#include "MainThread.h"
#include "TestServers.h"
#include "WinThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Qt is not built with the thread sanitizer: its own locking (event posting) is invisible, so
// only what it does through intercepted C library calls is left out here.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n";
}
#endif

namespace {

// Kernel thread ids are not reused right away, unlike the library's thread handles.
long CurrentThread() { return static_cast<long>(syscall(SYS_gettid)); }

// Runs until the calling worker is told to stop, at most limitMs.
void RunUntilTerminated(int limitMs)
{
    QElapsedTimer t;
    t.start();
    while (!TCustomWinThread::CallingWorkerTerminated() && t.elapsed() < limitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

} // namespace

TEST(WinThread, EachExecuteRunsOnAFreshThreadWithCompletionOnMain)
{
    TCustomWinThread thread;
    std::mutex m;
    std::vector<long> workers;
    std::atomic<int> handOvers{0};
    int completions = 0;
    thread.SetOnExecute([&](QObject*) {
        {
            std::lock_guard lock(m);
            workers.push_back(CurrentThread());
        }
        for (int i = 0; i < 20; ++i)
            thread.Synchronize([&] {
                EXPECT_TRUE(IsMainThread());
                ++handOvers;
            });
    });
    thread.SetOnTerminate([&](QObject*, const TThreadArgument& argument) {
        EXPECT_TRUE(IsMainThread());
        EXPECT_FALSE(argument);
        ++completions;
    });
    thread.WaitThread = true;
    EXPECT_TRUE(thread.Execute());
    EXPECT_TRUE(thread.Execute());
    ASSERT_EQ(workers.size(), 2u);
    EXPECT_NE(workers[0], workers[1]);
    EXPECT_NE(workers[0], CurrentThread());
    EXPECT_EQ(handOvers, 40);
    EXPECT_EQ(completions, 2);
}

TEST(WinThread, ExecuteAgainAbandonsTheRunningWorker)
{
    TCustomWinThread thread;
    std::atomic<int> started{0}, sawStop{0};
    int completions = 0, handOvers = 0;
    thread.SetOnExecute([&](QObject*) {
        ++started;
        RunUntilTerminated(5000);
        if (TCustomWinThread::CallingWorkerTerminated())
            ++sawStop;
        // Only the second worker's hand-over runs: the abandoned one's is skipped.
        thread.Synchronize([&] { ++handOvers; });
    });
    thread.SetOnTerminate([&](QObject*, const TThreadArgument&) { ++completions; });
    thread.Execute();
    ASSERT_TRUE(WaitServicingEvents([&] { return started == 1; }, 5000));
    thread.Execute();
    ASSERT_TRUE(WaitServicingEvents([&] { return started == 2 && sawStop == 1; }, 5000));
    EXPECT_TRUE(thread.Executing());
    EXPECT_FALSE(thread.Terminated());   // the new worker runs on
    Settle(50);
    EXPECT_EQ(completions, 0);
    thread.Terminate(false);
    // The second worker ends after its stop request; its completion is delivered.
    ASSERT_TRUE(WaitServicingEvents([&] { return completions == 1; }, 5000));
    EXPECT_EQ(sawStop, 2);
    EXPECT_EQ(handOvers, 1);
}

TEST(WinThread, ExceptionsReachOnExceptionOnTheMainThread)
{
    TCustomWinThread thread;
    int exceptions = 0;
    bool completed = false;
    thread.SetOnExecute([](QObject*) { throw std::runtime_error("work failed"); });
    thread.SetOnException([&](QObject*) {
        EXPECT_TRUE(IsMainThread());
        ++exceptions;
    });
    thread.SetOnTerminate([&](QObject*, const TThreadArgument&) {
        completed = true;
        throw std::runtime_error("completion failed");
    });
    thread.WaitThread = true;
    EXPECT_TRUE(thread.Execute());
    EXPECT_TRUE(completed);
    EXPECT_EQ(exceptions, 2);

    // Without handling, the errors stop at the thread's edge: no crash, no report.
    thread.SetHandleExceptions(false);
    exceptions = 0;
    EXPECT_TRUE(thread.Execute());
    EXPECT_EQ(exceptions, 0);
}

TEST(WinThread, DestroyingWhileWorkerWaitsInHandOverDoesNotDeadlock)
{
    auto thread = std::make_unique<TCustomWinThread>();
    std::atomic<bool> aboutToHandOver{false}, workEnded{false};
    std::atomic<bool> handOverRan{false};
    thread->SetOnExecute([&](QObject*) {
        aboutToHandOver = true;
        TCustomWinThread::SynchronizeCalling([&] { handOverRan = true; });
        workEnded = true;
    });
    thread->Execute();
    // Block the main thread without servicing events, so the hand-over is pending.
    while (!aboutToHandOver)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QElapsedTimer t;
    t.start();
    thread.reset();
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_FALSE(handOverRan);
    EXPECT_TRUE(workEnded);
}

TEST(WinThread, DestroyingFromInsideItsOwnHandOverDoesNotDeadlock)
{
    auto* thread = new TCustomWinThread;
    std::atomic<bool> workEnded{false};
    thread->SetOnExecute([&](QObject*) {
        TCustomWinThread::SynchronizeCalling([&] { delete thread; });
        workEnded = true;
    });
    thread->Execute();
    EXPECT_TRUE(WaitServicingEvents([&] { return workEnded.load(); }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));   // let the left-over thread end
}

TEST(WinThread, WaitTimeoutAsksWhetherToStop)
{
    TCustomWinThread thread;
    std::atomic<bool> stopped{false};
    thread.SetOnExecute([&](QObject*) {
        RunUntilTerminated(3000);
        stopped = TCustomWinThread::CallingWorkerTerminated();
    });
    thread.WaitThread = true;
    thread.WaitTimeout = 200;
    int asked = 0;
    thread.OnWaitTimeout = [&](QObject*, bool& terminate) {
        ++asked;
        EXPECT_TRUE(terminate);
    };
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(thread.Execute());
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(WaitServicingEvents([&] { return stopped.load(); }, 3000));

    // Declined: Execute returns true and the worker runs on.
    stopped = false;
    thread.OnWaitTimeout = [&](QObject*, bool& terminate) { terminate = false; };
    EXPECT_TRUE(thread.Execute());
    EXPECT_TRUE(thread.Executing());
    thread.Terminate(false);
    EXPECT_TRUE(WaitServicingEvents([&] { return stopped.load(); }, 3000));
}

TEST(WinThread, WaitCycleRestartsWhileEventsKeepArriving)
{
    TCustomWinThread thread;
    thread.SetOnExecute([](QObject*) { std::this_thread::sleep_for(std::chrono::milliseconds(2500)); });
    thread.WaitThread = true;
    thread.WaitTimeout = 1000;   // ten times the tick: safe on a loaded machine
    bool timedOut = false;
    thread.OnWaitTimeout = [&](QObject*, bool&) { timedOut = true; };
    QTimer ticker;   // the user moving the mouse
    QObject::connect(&ticker, &QTimer::timeout, [] {});
    ticker.start(100);
    EXPECT_TRUE(thread.Execute());
    EXPECT_FALSE(timedOut);
}

TEST(WinThread, PrioritiesMapBothWaysAndApply)
{
    EXPECT_EQ(ThreadPriorityToPlatform(tpIdle), -15);
    EXPECT_EQ(ThreadPriorityToPlatform(tpNormal), 0);
    EXPECT_EQ(ThreadPriorityToPlatform(tpTimeCritical), 15);
    EXPECT_EQ(PlatformToThreadPriority(-2), tpLowest);
    EXPECT_EQ(PlatformToThreadPriority(7), tpNormal);

    TCustomWinThread thread;
    std::atomic<int> nice{-100};
    thread.SetOnExecute([&](QObject*) {
        nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    });
    thread.SetPriority(tpLowest);
    thread.WaitThread = true;
    thread.Execute();
    EXPECT_EQ(thread.Priority(), tpLowest);   // carried over to the fresh worker
    EXPECT_EQ(nice, 10);
}

TEST(WinThread, ResumingACreatedWorkerStartsIt)
{
    TCustomWinThread thread;
    EXPECT_TRUE(thread.Suspended());
    std::atomic<bool> ran{false};
    thread.SetOnExecute([&](QObject*) { ran = true; });
    thread.SetSuspended(false);
    EXPECT_TRUE(WaitServicingEvents([&] { return ran.load(); }, 5000));
}

// The transfer component on top: its events keep to their threads, and it can be destroyed
// while its worker waits in a hand-over.
TEST(WinThreadHTTP, DestroyingTransferWhileWorkerWaitsInHandOver)
{
    THttpTestServer srv;
    // Paced, so that progress (coalesced in time) comes more than once.
    srv.server.Get("/big", [&srv](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [&srv](size_t sent, httplib::DataSink& sink) {
            if (srv.stopping || sent >= 200 * 65536) {
                sink.done();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::string piece(65536, 'b');
            return sink.write(piece.data(), piece.size());
        });
    });
    srv.Start();
    auto http = std::make_unique<TWinHTTP>();
    std::atomic<int> progress{0};
    http->OnProgress = [&](QObject*, const QString&, qint64, qint64, qint64, qint64, quint8, float, QIODevice*) {
        ++progress;
    };
    bool anyOther = false;
    http->OnDone = [&](QObject*, const QString&, qint64, QIODevice*) { anyOther = true; };
    http->OnAnyError = [&](QObject*) { anyOther = true; };
    http->OnAborted = [&](QObject*) { anyOther = true; };
    std::atomic<int> statusOnMain{0};
    http->OnStatusChange = [&](QObject*, int, const QString&) {
        if (IsMainThread())
            ++statusOnMain;
    };
    http->URL = QString::fromStdString(srv.Url("/big"));
    ASSERT_TRUE(http->Read());
    ASSERT_TRUE(WaitServicingEvents([&] { return progress >= 2; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));   // worker now waits in OnProgress
    QElapsedTimer t;
    t.start();
    http.reset();
    EXPECT_LT(t.elapsed(), 5000);
    Settle(100);
    EXPECT_FALSE(anyOther);
    EXPECT_EQ(statusOnMain, 0);
}

TEST(WinThreadHTTP, ParallelComponentsKeepTheirEventsApart)
{
    THttpTestServer srv;
    srv.server.Get("/n", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::string(100000, req.get_param_value("c")[0]), "text/plain");
    });
    srv.Start();
    std::vector<std::unique_ptr<TWinHTTP>> components;
    std::vector<std::unique_ptr<THttpRecorder>> recorders;
    for (int i = 0; i < 4; ++i) {
        components.push_back(std::make_unique<TWinHTTP>());
        recorders.push_back(std::make_unique<THttpRecorder>());
        recorders.back()->Attach(*components.back());
        components.back()->URL = QString::fromStdString(srv.Url("/n?c=" + std::string(1, char('a' + i))));
    }
    for (int round = 0; round < 3; ++round) {
        for (auto& r : recorders)
            r->Reset();
        for (auto& c : components)
            ASSERT_TRUE(c->Read());
        for (auto& c : components)
            ASSERT_TRUE(WaitIdle(*c));
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(recorders[i]->Outcome(), (std::vector<std::string>{"Done"}));
            EXPECT_EQ(recorders[i]->body, QByteArray(100000, char('a' + i)));
            EXPECT_TRUE(recorders[i]->wrongThread.empty());
        }
    }
}
