#pragma once
// Lets a runner's owner go away while the child it follows never ends: every
// wait of the worker also ends on this signal, and the worker then returns
// without further events, leaving the child running.
#include <windows.h>

#include <atomic>

#include "handle.h"

namespace Utils {

class WorkerStop {
public:
    WorkerStop() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    WorkerStop(const WorkerStop&) = delete;
    WorkerStop& operator=(const WorkerStop&) = delete;

    void Request()
    {
        requested_ = true;
        ::SetEvent(event_.Get());
    }
    bool Requested() const { return requested_.load(); }
    HANDLE Event() const { return event_.Get(); }

    // Sleeps up to `ms`; true when the stop came first.
    bool SleepFor(DWORD ms) const;
    // Waits for `object` without time limit; true when the stop came first.
    bool WaitFor(HANDLE object) const;

private:
    std::atomic<bool> requested_{false};
    UniqueHandle event_;
};

} // namespace Utils
