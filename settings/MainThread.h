#pragma once
// The one way a worker hands work to the user-interface thread.
//
// SyncToMainThread blocks the caller until the main thread has run the call; it runs
// inline when called on the main thread or when there is no application object.
// Whoever waits on the main thread for a worker must use WaitServicingEvents, so a worker
// blocked in a hand-over is served and never deadlocks.
#include <functional>

bool IsMainThread();

// Runs fn on the main thread and waits for it. Exceptions thrown by fn are rethrown
// in the caller's thread.
void SyncToMainThread(const std::function<void()>& fn);

// Queues fn to the main thread and returns at once.
void PostToMainThread(std::function<void()> fn);

// Waits until done() is true, servicing the main thread's events in slices when called
// on the main thread. timeoutMs < 0 waits without a limit. Returns done().
bool WaitServicingEvents(const std::function<bool()>& done, int timeoutMs = -1, int sliceMs = 5);
