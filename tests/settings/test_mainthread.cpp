// Hand-over to the main thread: runs there, waits, rethrows, and never deadlocks a waiter.
#include "MainThread.h"

#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <stdexcept>
#include <thread>

TEST(MainThread, WorkerCallRunsOnMainThreadAndWaits)
{
    std::atomic<bool> finished{false};
    bool ranOnMain = false;
    int value = 0;
    std::thread worker([&] {
        SyncToMainThread([&] { ranOnMain = IsMainThread(); value = 42; });
        EXPECT_EQ(value, 42);  // the call has completed before SyncToMainThread returns
        finished = true;
    });
    EXPECT_TRUE(WaitServicingEvents([&] { return finished.load(); }, 5000));
    worker.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(MainThread, ExceptionReachesTheWorker)
{
    std::atomic<bool> finished{false};
    std::string caught;
    std::thread worker([&] {
        try {
            SyncToMainThread([] { throw std::runtime_error("boom"); });
        } catch (const std::exception& e) {
            caught = e.what();
        }
        finished = true;
    });
    WaitServicingEvents([&] { return finished.load(); }, 5000);
    worker.join();
    EXPECT_EQ(caught, "boom");
}

TEST(MainThread, WaitTimesOutWhenNeverDone)
{
    EXPECT_FALSE(WaitServicingEvents([] { return false; }, 30));
}
