#pragma once
// Carries events from the chain's worker threads to the main thread, in
// posting order, as the window's message queue does.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "event_callback.h"
#include "handle.h"
#include "lock.h"

namespace Headless {

struct QueuedEvent {
    int32_t code;
    double value;
    std::wstring text;
};

class EventQueue {
public:
    EventQueue() : ready_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // May be called on any thread; only queues the event.
    EventCallback Callback()
    {
        return [this](int32_t code, double value, const std::wstring& text) {
            {
                Utils::LockGuard hold(lock_);
                events_.push_back({code, value, text});
            }
            ::SetEvent(ready_.Get());
        };
    }

    // Waits up to `timeoutMs` for events and takes all that are queued.
    std::vector<QueuedEvent> Take(DWORD timeoutMs)
    {
        ::WaitForSingleObject(ready_.Get(), timeoutMs);
        Utils::LockGuard hold(lock_);
        std::vector<QueuedEvent> out;
        out.swap(events_);
        return out;
    }

private:
    Utils::Lock lock_;
    std::vector<QueuedEvent> events_;
    Utils::UniqueHandle ready_;
};

} // namespace Headless
