#pragma once
// Records the events of a component under test, from whatever thread they
// come, and waits for the final one.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "event_callback.h"
#include "handle.h"
#include "lock.h"

namespace TestKit {

struct Event {
    int32_t code;
    double value;
    std::wstring text;
    DWORD threadId;
};

class EventRecorder {
public:
    // `isFinal` decides which codes end a run (for downloads: 1003, 1004).
    explicit EventRecorder(std::function<bool(int32_t)> isFinal);

    // The callback to hand to the component. `onEvent`, when set, runs inside
    // the callback after the event is recorded (e.g. Start() again on 1005,
    // as the orchestrator does).
    EventCallback Callback();
    void SetOnEvent(std::function<void(const Event&)> onEvent) { onEvent_ = std::move(onEvent); }

    // True once a final event arrived within the timeout.
    bool WaitFinal(DWORD timeoutMs);
    // Forgets the events and the final one, for a second run.
    void Reset();
    // True once at least `count` events arrived within the timeout.
    bool WaitForCount(size_t count, DWORD timeoutMs) const;
    std::vector<Event> Events() const;
    std::vector<int32_t> Codes() const;
    // Codes without the 1002 progress events, which depend on timing.
    std::vector<int32_t> CodesWithoutProgress() const;

private:
    std::function<bool(int32_t)> isFinal_;
    std::function<void(const Event&)> onEvent_;
    mutable Utils::Lock lock_;
    std::vector<Event> events_;
    Utils::UniqueHandle finalEvent_;
};

// Final codes of a download: 1003 success, 1004 failure.
bool IsFinalDownloadCode(int32_t code);

} // namespace TestKit
