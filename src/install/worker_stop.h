#pragma once
// Lets a runner's owner go away while the child it follows never ends: the
// worker's waits end on the signal, and its blocking pipe read is cancelled.
#include <windows.h>

#include <atomic>

#include "handle.h"

namespace Utils {

class WorkerStop {
public:
    WorkerStop();
    WorkerStop(const WorkerStop&) = delete;
    WorkerStop& operator=(const WorkerStop&) = delete;

    bool Requested() const { return requested_.load(); }
    // Sleeps up to `ms`; true when the stop came first.
    bool SleepFor(DWORD ms) const;
    // Waits for `object` without time limit; true when the stop came first.
    bool WaitFor(HANDLE object) const;

    // Signals the stop, then keeps cancelling the worker's blocking read until
    // the worker ends (a read started just after one cancel needs the next).
    // Where the system cannot cancel a read (Windows XP), waits for it.
    void StopWorker(HANDLE workerThread);

private:
    std::atomic<bool> requested_{false};
    UniqueHandle event_;
};

} // namespace Utils
